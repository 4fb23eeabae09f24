// The property sheet: a window around a tool's page, with OK, Cancel, Apply.
#include <algorithm>

#include "host/host.h"

namespace {

const char kSheetClass[] = "MorvaHostSheet";
const char kContainerClass[] = "MorvaHostPageFrame";
// At 96 dpi, scaled by the sheet's as the system scales the page, a dialog.
const int kPad = 8;
const int kPageInset = 6;  // the page's place inside the container
const int kButtonWidth = 80;
const int kButtonHeight = 24;

const UINT kButtonIds[] = {IDOK, IDCANCEL, IDC_SHEET_APPLY};

HWND MakeButton(HWND parent, const char* text, UINT id, DWORD extra)
{
    return CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra, 0, 0,
                           kButtonWidth, kButtonHeight, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), host.instance,
                           nullptr);
}

// Fits the sheet around the page, with the buttons' font for its dots per
// inch, beside the host window or where the system suggests on a new screen.
void ArrangeSheet(HWND sheet, HWND container, HWND page, const RECT* suggested)
{
    UINT dpi = WindowDpi(sheet);
    HFONT old = host.sheetFont;
    host.sheetFont = CreateHostFont(dpi, FW_NORMAL);
    for (UINT id : kButtonIds) {
        SendMessageA(GetDlgItem(sheet, id), WM_SETFONT, reinterpret_cast<WPARAM>(host.sheetFont),
                     TRUE);
    }
    if (old) {
        DeleteObject(old);
    }
    int pad = Scaled(kPad, dpi), inset = Scaled(kPageInset, dpi);
    int buttonWidth = Scaled(kButtonWidth, dpi), buttonHeight = Scaled(kButtonHeight, dpi);
    RECT pr;
    GetWindowRect(page, &pr);
    int containerWidth = std::max<int>(pr.right - pr.left, 3 * buttonWidth + 2 * pad) + 2 * inset;
    int containerHeight = pr.bottom - pr.top + 2 * inset;
    MoveWindow(container, pad, pad, containerWidth, containerHeight, FALSE);
    int clientWidth = containerWidth + 2 * pad;
    int buttonsTop = pad + containerHeight + pad;
    for (int i = 0; i < 3; i++) {
        int x = clientWidth - pad - (3 - i) * buttonWidth - (2 - i) * Scaled(6, dpi);
        MoveWindow(GetDlgItem(sheet, kButtonIds[i]), x, buttonsTop, buttonWidth, buttonHeight,
                   FALSE);
    }
    RECT rc = {0, 0, clientWidth, buttonsTop + buttonHeight + pad};
    AdjustWindowRectForDpi(&rc, sheet, FALSE, dpi);
    int width = rc.right - rc.left;
    RECT owner;
    GetWindowRect(host.mainWindow, &owner);
    POINT at = {owner.right + Scaled(8, dpi), owner.top + Scaled(40, dpi)};
    if (suggested) {
        at = {suggested->left, suggested->top};
    } else if (at.x + width > GetSystemMetrics(SM_CXSCREEN)) {
        at.x = std::max<int>(owner.left + Scaled(40, dpi), 0);
    }
    SetWindowPos(sheet, nullptr, at.x, at.y, width, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(sheet, nullptr, TRUE);
}

LRESULT OnSheetDpiChanged(HWND sheet, const RECT* suggested)
{
    if (host.page && IsWindow(host.page)) {
        ArrangeSheet(sheet, GetDlgItem(sheet, IDC_SHEET_CONTAINER), host.page, suggested);
    }
    return 0;
}

LRESULT OnSheetCommand(UINT id)
{
    // The page writes its edits into the tool, which is then redrawn and the
    // panel fitted again: the octave count sets the tool's proportion.
    if ((id == IDOK || id == IDC_SHEET_APPLY) && host.page && host.sheetTool) {
        SendMessageA(host.page, WM_COMMAND, MAKEWPARAM(ID_PAGE_APPLY, 0), 0);
        LayoutPanel();
        SendMessageA(host.sheetTool, PNM_REFRESH, 0, 0);
        HostLog("property page applied to tool " + std::to_string(ToolNumber(host.sheetTool)));
    }
    if (id == IDOK || id == IDCANCEL) {
        ClosePropertySheet();
    }
    return 0;
}

LRESULT CALLBACK SheetWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        return OnSheetCommand(LOWORD(wParam));
    case WM_CLOSE:
        return OnSheetCommand(IDCANCEL);
    case WM_DPICHANGED:
        return OnSheetDpiChanged(hwnd, reinterpret_cast<const RECT*>(lParam));
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
    if (ToolNumber(tool) == 0) {
        return;  // not one of the panel's tools
    }
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
    int inset = Scaled(kPageInset, WindowDpi(sheet));
    HWND page = reinterpret_cast<HWND>(SendMessageA(
        tool, PNM_CREATEPROPPAGE, reinterpret_cast<WPARAM>(container), MAKELPARAM(inset, inset)));
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
    ArrangeSheet(sheet, container, page, nullptr);
    ShowWindow(sheet, SW_SHOW);
    HostLog("property sheet opened for tool " + std::to_string(ToolNumber(tool)));
}

void ClosePropertySheet()
{
    HWND sheet = host.sheet, page = host.page;
    host.sheet = host.sheetTool = host.page = nullptr;
    if (page && IsWindow(page)) {
        DestroyWindow(page);
    }
    if (sheet) {
        DestroyWindow(sheet);
        if (host.mainWindow) {
            SetForegroundWindow(host.mainWindow);
        }
    }
    if (host.sheetFont) {
        DeleteObject(host.sheetFont);
        host.sheetFont = nullptr;
    }
}

bool SheetDialogMessage(MSG* msg)
{
    return host.sheet && IsDialogMessageA(host.sheet, msg);
}
