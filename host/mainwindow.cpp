// The main window: a strip that shows the panel type, the panel, the menu.
#include "host/host.h"

#include <algorithm>
#include <cstring>

#include "host/options.h"

namespace {

const char kHostWindowClass[] = "MorvaHostWindow";
const int kHeaderHeight = 44;  // the strip above the panel that shows the type, at 96 dpi

int HeaderHeight(HWND hwnd)
{
    return Scaled(kHeaderHeight, WindowDpi(hwnd));
}

void DrawHostText(HDC hdc, int x, int y, const std::string& text)
{
    std::wstring wide = Wide(text);
    TextOutW(hdc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

LRESULT OnMainPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    UINT dpi = WindowDpi(hwnd);
    int height = HeaderHeight(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    rc.bottom = height;
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    const PanelTypeInfo* info = host.type.info;  // described before the window is made
    if (info->image) {
        HDC mem = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(mem, info->image);
        SetStretchBltMode(hdc, COLORONCOLOR);
        StretchBlt(hdc, Scaled(14, dpi), Scaled(14, dpi), Scaled(16, dpi), Scaled(16, dpi), mem, 0,
                   0, 16, 16, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    HFONT bold = CreateHostFont(dpi, FW_BOLD), normal = CreateHostFont(dpi, FW_NORMAL);
    HGDIOBJ oldFont = SelectObject(hdc, bold);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    DrawHostText(hdc, Scaled(40, dpi), Scaled(6, dpi), ModuleText(info->name, sizeof info->name));
    SelectObject(hdc, normal);
    DrawHostText(hdc, Scaled(40, dpi), Scaled(23, dpi),
                 ModuleText(info->description, sizeof info->description));
    std::string count =
        std::to_string(host.tools.size()) + (host.tools.size() == 1 ? " tool" : " tools");
    RECT right = {rc.right - Scaled(120, dpi), 0, rc.right - Scaled(12, dpi), height};
    DrawTextA(hdc, count.c_str(), -1, &right, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(hdc, oldFont);
    DeleteObject(bold);
    DeleteObject(normal);
    RECT line = {0, height - 2, rc.right, height};
    DrawEdge(hdc, &line, EDGE_ETCHED, BF_TOP);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnMainSize(HWND hwnd, int width, int height)
{
    int header = HeaderHeight(hwnd);
    if (host.panel) {
        MoveWindow(host.panel, 0, header, width, height > header ? height - header : 0, TRUE);
    }
    return 0;
}

LRESULT OnMainMinMax(HWND hwnd, MINMAXINFO* mmi)
{
    UINT dpi = WindowDpi(hwnd);
    SIZE panel = PanelMinimumSize();
    RECT rc = {0, 0, panel.cx, panel.cy + HeaderHeight(hwnd)};
    AdjustWindowRectForDpi(&rc, hwnd, TRUE, dpi);
    mmi->ptMinTrackSize.x = std::max<LONG>(rc.right - rc.left, Scaled(240, dpi));
    mmi->ptMinTrackSize.y = std::max<LONG>(rc.bottom - rc.top, Scaled(140, dpi));
    return 0;
}

// Moved to a screen of other dots per inch: the suggested place, laid out anew.
LRESULT OnMainDpiChanged(HWND hwnd, const RECT* suggested)
{
    SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rc;
    GetClientRect(hwnd, &rc);
    OnMainSize(hwnd, rc.right, rc.bottom);
    LayoutPanel();
    InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
}

void ShowAboutHost()
{
    const PanelTypeInfo* info = host.type.info;
    std::string text = "Morva Host shows the tools of a panel-tool module.\n\n" +
                       std::string(kHostVersionText) + "\nModule: " + host.modulePath +
                       "\nPanel type: " + ModuleText(info->name, sizeof info->name) + "\n" +
                       ModuleText(info->description, sizeof info->description) + "\n\n" +
                       SettingsText();
    HostMessage(text, MB_ICONINFORMATION);
}

// Quitting saves first; a user who will not quit unsaved keeps it all, the
// page's edits too. The page goes before its tool, the tools before the window.
LRESULT OnMainClose(HWND hwnd)
{
    if (SaveHostPanel(SAVE_BY_USER) == SAVE_FAILED &&
        !hostHooks.confirm("The settings could not be saved. Quit all the same?")) {
        return 0;
    }
    ClosePropertySheet();
    std::vector<HWND> tools = host.tools;
    host.tools.clear();
    for (HWND tool : tools) {
        DestroyWindow(tool);
    }
    DestroyWindow(hwnd);
    return 0;
}

LRESULT OnMainCommand(HWND hwnd, UINT id)
{
    switch (id) {
    case IDM_HOST_SAVE:
        if (!host.settingsKept.empty()) {
            HostMessage(
                "The settings were not saved to\n" + host.settingsPath + "\n\n" + host.settingsKept,
                MB_ICONINFORMATION);
        } else if (SaveHostPanel(SAVE_BY_USER) == SAVE_DONE) {
            HostLog("settings saved to " + host.settingsPath);
        }
        break;
    case IDM_HOST_EXIT:
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    case IDM_HOST_ADD_TOOL:
        AddTool(nullptr);
        break;
    case IDM_HOST_REMOVE_TOOL:
        RemoveLastTool();
        break;
    case IDM_HOST_ABOUT:
        ShowAboutHost();
        break;
    }
    return 0;
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        return OnMainPaint(hwnd);
    case WM_SIZE:
        return OnMainSize(hwnd, LOWORD(lParam), HIWORD(lParam));
    case WM_DPICHANGED:
        return OnMainDpiChanged(hwnd, reinterpret_cast<const RECT*>(lParam));
    case WM_GETMINMAXINFO:
        return OnMainMinMax(hwnd, reinterpret_cast<MINMAXINFO*>(lParam));
    case WM_COMMAND:
        return OnMainCommand(hwnd, LOWORD(wParam));
    case PNM_SHOWPROPERTIES:  // handed on by the panel
        OpenPropertySheet(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_CLOSE:
        return OnMainClose(hwnd);
    case WM_ENDSESSION:
        // Windows may end the process once this returns, the windows still
        // open: saved here, nothing asked; a failure is told at the next start.
        if (wParam) {
            SaveHostPanel(SAVE_AT_SESSION_END);
        }
        return 0;
    case WM_DESTROY:
        host.mainWindow = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

HMENU MakeMenu()
{
    HMENU file = CreatePopupMenu(), tools = CreatePopupMenu(), help = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, IDM_HOST_SAVE, "&Save Settings");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, IDM_HOST_EXIT, "E&xit");
    AppendMenuA(tools, MF_STRING, IDM_HOST_ADD_TOOL, "&Add Tool");
    AppendMenuA(tools, MF_STRING, IDM_HOST_REMOVE_TOOL, "&Remove Last Tool");
    AppendMenuA(help, MF_STRING, IDM_HOST_ABOUT, "&About Morva Host...");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), "&Tools");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
}

}  // namespace

bool CreateMainWindow(const PanelLayout& layout, bool mayMaximize)
{
    if (!RegisterHostClass(kHostWindowClass, MainWndProc, GetSysColorBrush(COLOR_BTNFACE)) ||
        !RegisterPanelClass() || !RegisterSheetClass()) {
        return false;
    }
    std::wstring title = Wide(std::string(kHostCaption) + " - " +
                              ModuleText(host.type.info->name, sizeof host.type.info->name));
    host.mainWindow = CreateWindowExW(0, Wide(kHostWindowClass).c_str(), title.c_str(),
                                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 560, 360,
                                      nullptr, MakeMenu(), host.instance, nullptr);
    if (!host.mainWindow) {
        return false;
    }
    host.panel = CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                 HeaderHeight(host.mainWindow), 0, 0, host.mainWindow, nullptr,
                                 host.instance, nullptr);
    if (!host.panel) {
        return false;
    }
    // A saved placement is used only while some of it is on a screen. It is in
    // workspace coordinates, from the main screen's work area (past a taskbar).
    RECT saved = {layout.left, layout.top, layout.left + layout.width, layout.top + layout.height};
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT onScreen = saved;
    OffsetRect(&onScreen, work.left, work.top);
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    GetWindowPlacement(host.mainWindow, &wp);
    if (layout.width > 0 && layout.height > 0 &&
        MonitorFromRect(&onScreen, MONITOR_DEFAULTTONULL)) {
        wp.rcNormalPosition = saved;
    } else {
        // The first size is given for 96 dots per inch, like the rest.
        UINT dpi = WindowDpi(host.mainWindow);
        RECT& r = wp.rcNormalPosition;
        r.right = r.left + Scaled(r.right - r.left, dpi);
        r.bottom = r.top + Scaled(r.bottom - r.top, dpi);
    }
    wp.showCmd =
        (layout.flags & LAYOUT_MAXIMIZED) && mayMaximize ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    SetWindowPlacement(host.mainWindow, &wp);
    UpdateWindow(host.mainWindow);
    return true;
}

SaveOutcome SaveHostPanel(SaveOccasion occasion)
{
    HostSettings settings = {};
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    if (host.mainWindow && GetWindowPlacement(host.mainWindow, &wp)) {
        const RECT& r = wp.rcNormalPosition;
        settings.layout = {
            r.left, r.top, r.right - r.left, r.bottom - r.top,
            wp.showCmd == SW_SHOWMAXIMIZED ? static_cast<uint32_t>(LAYOUT_MAXIMIZED) : 0u};
    }
    // A tool's block is copied while the tool lives; it only lends its address.
    for (HWND tool : host.tools) {
        SavedTool saved = {};
        const void* block = nullptr;
        LRESULT size = SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&block));
        if (size == TOOL_STATE_SIZE && block) {
            memcpy(saved.block, block, TOOL_STATE_SIZE);
        } else {
            SetDefaultState(reinterpret_cast<ToolStateBlock*>(saved.block));
            HostLog("tool " + std::to_string(ToolNumber(tool)) +
                    " gave no settings; it is saved with defaults");
        }
        settings.tools.push_back(saved);
    }
    return SaveHostSettings(settings, occasion);
}

std::string SettingsText()
{
    std::string place = host.settingsPlace.empty() ? "" : "\n(" + host.settingsPlace + ")";
    std::string kept = host.settingsKept.empty() ? "" : "\n" + host.settingsKept;
    return "Settings: " + host.settingsPath + place + kept;
}
