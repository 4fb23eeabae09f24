// The property sheet: a window around the page a tool provides, with OK,
// Cancel and Apply. One sheet at a time.
#include <algorithm>

#include "host/host.h"
#include "resources/resource.h"

const char kSheetClass[] = "MorvaHostSheet";

namespace {

const char kContainerClass[] = "MorvaHostPageFrame";
const int kPad = 8;
const int kPageInset = 6;  // the page's place inside the container
const int kButtonWidth = 80;
const int kButtonHeight = 24;

HWND MakeButton(HWND parent, const char* text, UINT id, DWORD extra)
{
    HWND b =
        CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra, 0, 0,
                        kButtonWidth, kButtonHeight, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), host.instance, nullptr);
    SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return b;
}

// Fits the sheet around the page and puts it beside the host window.
void ArrangeSheet(HWND sheet, HWND container, HWND page)
{
    RECT pr;
    GetWindowRect(page, &pr);
    int pageWidth = std::max<int>(pr.right - pr.left, 3 * kButtonWidth + 2 * kPad);
    int pageHeight = pr.bottom - pr.top;
    int containerWidth = pageWidth + 2 * kPageInset;
    int containerHeight = pageHeight + 2 * kPageInset;
    MoveWindow(container, kPad, kPad, containerWidth, containerHeight, FALSE);
    int clientWidth = containerWidth + 2 * kPad;
    int buttonsTop = kPad + containerHeight + kPad;
    const UINT ids[] = {IDOK, IDCANCEL, IDC_SHEET_APPLY};
    for (int i = 0; i < 3; i++) {
        int x = clientWidth - kPad - (3 - i) * kButtonWidth - (2 - i) * 6;
        MoveWindow(GetDlgItem(sheet, ids[i]), x, buttonsTop, kButtonWidth, kButtonHeight, FALSE);
    }
    RECT rc = {0, 0, clientWidth, buttonsTop + kButtonHeight + kPad};
    AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrA(sheet, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(sheet, GWL_EXSTYLE)));
    RECT owner;
    GetWindowRect(host.mainWindow, &owner);
    int width = rc.right - rc.left;
    int height = rc.bottom - rc.top;
    int x = owner.right + 8;
    if (x + width > GetSystemMetrics(SM_CXSCREEN)) {
        x = std::max<int>(owner.left + 40, 0);
    }
    SetWindowPos(sheet, nullptr, x, owner.top + 40, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT OnSheetCommand(UINT id)
{
    switch (id) {
    case IDOK:
        ApplyPropertySheet();
        ClosePropertySheet();
        break;
    case IDCANCEL:
        ClosePropertySheet();
        break;
    case IDC_SHEET_APPLY:
        ApplyPropertySheet();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CALLBACK SheetWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        return OnSheetCommand(LOWORD(wParam));
    case WM_CLOSE:
        ClosePropertySheet();
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

bool RegisterSheetClass()
{
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    return RegisterHostClass(kSheetClass, SheetWndProc, face) &&
           RegisterHostClass(kContainerClass, DefWindowProcA, face);
}

void OpenPropertySheet(HWND tool)
{
    if (host.sheet && host.sheetTool == tool) {
        SetForegroundWindow(host.sheet);
        return;
    }
    ClosePropertySheet();
    std::string caption = "Morva Properties - Tool " + std::to_string(ToolNumber(tool));
    HWND sheet = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kSheetClass,
                                 caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 400,
                                 300, host.mainWindow, nullptr, host.instance, nullptr);
    if (!sheet) {
        HostMessage("Morva Host could not open the property sheet.", MB_ICONERROR);
        return;
    }
    HWND container = CreateWindowExA(
        WS_EX_CONTROLPARENT, kContainerClass, "", WS_CHILD | WS_VISIBLE, kPad, kPad, 400, 200,
        sheet, reinterpret_cast<HMENU>(IDC_SHEET_CONTAINER), host.instance, nullptr);
    MakeButton(sheet, "OK", IDOK, BS_DEFPUSHBUTTON);
    MakeButton(sheet, "Cancel", IDCANCEL, BS_PUSHBUTTON);
    MakeButton(sheet, "&Apply", IDC_SHEET_APPLY, BS_PUSHBUTTON);
    HWND page = reinterpret_cast<HWND>(SendMessageA(tool, PNM_CREATEPROPPAGE,
                                                    reinterpret_cast<WPARAM>(container),
                                                    MAKELPARAM(kPageInset, kPageInset)));
    if (!page || !IsWindow(page)) {
        DestroyWindow(sheet);
        HostMessage("The tool did not provide a property page.", MB_ICONWARNING);
        return;
    }
    host.sheet = sheet;
    host.sheetTool = tool;
    host.page = page;
    // Tab and the arrow keys move through the page's controls as well.
    SetWindowLongPtrA(page, GWL_EXSTYLE,
                      GetWindowLongPtrA(page, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    ArrangeSheet(sheet, container, page);
    ShowWindow(sheet, SW_SHOW);
    HostLog("property sheet opened for tool " + std::to_string(ToolNumber(tool)));
}

// The page writes its edits into the tool; the tool is then redrawn and the
// panel fitted again, since the octave count sets the tool's proportion.
void ApplyPropertySheet()
{
    if (!host.page || !host.sheetTool) {
        return;
    }
    SendMessageA(host.page, WM_COMMAND, MAKEWPARAM(ID_PAGE_APPLY, 0), 0);
    LayoutPanel();
    SendMessageA(host.sheetTool, PNM_REFRESH, 0, 0);
    HostLog("property page applied to tool " + std::to_string(ToolNumber(host.sheetTool)));
}

void ClosePropertySheet()
{
    HWND sheet = host.sheet;
    HWND page = host.page;
    host.sheet = nullptr;
    host.sheetTool = nullptr;
    host.page = nullptr;
    if (page && IsWindow(page)) {
        DestroyWindow(page);
    }
    if (sheet) {
        DestroyWindow(sheet);
        if (host.mainWindow) {
            SetForegroundWindow(host.mainWindow);
        }
    }
}

bool SheetDialogMessage(MSG* msg)
{
    return host.sheet && IsDialogMessageA(host.sheet, msg);
}
