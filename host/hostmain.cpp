// The host: loads the Morva module, shows its panel type and a panel of its
// tools, and keeps the tools' settings between runs.
#include "host/host.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/options.h"

HostState host;
const char kHostWindowClass[] = "MorvaHostWindow";

namespace {

const int kHeaderHeight = 44;  // the strip above the panel that shows the type, at 96 dpi
const char kCaption[] = "Morva Host";

int HeaderHeight(HWND hwnd)
{
    return Scaled(kHeaderHeight, WindowDpi(hwnd));
}

// A user32 function of newer Windows versions, or null where it is missing.
template <typename T>
T NewerUser32(const char* name)
{
    return reinterpret_cast<T>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT SystemDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// Names come back from the module; they are cut to their buffers whatever
// it wrote.
void TerminateNames(PanelType* t)
{
    t->initName[sizeof t->initName - 1] = '\0';
    t->createName[sizeof t->createName - 1] = '\0';
    t->cleanupName[sizeof t->cleanupName - 1] = '\0';
}

FARPROC ResolveEntryPoint(const char* name, int* exitCode)
{
    FARPROC p = GetProcAddress(host.module, name);
    if (!p) {
        HostMessage("The module\n" + host.modulePath + "\nreports the entry point \"" + name +
                        "\" but does not export it.\n\nMorva Host cannot use this module.",
                    MB_ICONERROR);
        *exitCode = HOST_EXIT_NO_EXPORT;
    }
    return p;
}

int LoadPanelModule(const std::string& path)
{
    host.modulePath = path;
    // The module's own folder is searched for what it imports.
    host.module = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!host.module) {
        DWORD error = GetLastError();
        HostMessage(
            "Morva Host could not load the module\n" + path + "\n\n" + SystemErrorText(error),
            MB_ICONERROR);
        return HOST_EXIT_NO_MODULE;
    }
    auto enumerate = reinterpret_cast<EnumeratePanelTypesProc>(
        reinterpret_cast<void*>(GetProcAddress(host.module, "EnumeratePanelTypes")));
    if (!enumerate) {
        HostMessage("The module\n" + path +
                        "\ndoes not export EnumeratePanelTypes, so it is not a panel-tool "
                        "module.\n\nMorva Host cannot use it.",
                    MB_ICONERROR);
        return HOST_EXIT_NO_EXPORT;
    }
    // Types are asked for until the module has none left; the panel holds
    // tools of the first. The bound only guards against a module that never
    // says it is done.
    int count = 0;
    for (int i = 0; i < 64; i++) {
        PanelType t = {};
        if (!enumerate(t.initName, t.createName, t.cleanupName, host.instance, 0)) {
            break;
        }
        TerminateNames(&t);
        if (count++ == 0) {
            host.type = t;
        }
    }
    if (count == 0) {
        HostMessage("The module\n" + path + "\noffers no panel type.", MB_ICONERROR);
        return HOST_EXIT_NO_TYPE;
    }
    int code = HOST_EXIT_OK;
    PanelType& t = host.type;
    t.init = reinterpret_cast<InitToolTypeProc>(
        reinterpret_cast<void*>(ResolveEntryPoint(t.initName, &code)));
    if (code == HOST_EXIT_OK) {
        t.create = reinterpret_cast<ToolCreateProc>(
            reinterpret_cast<void*>(ResolveEntryPoint(t.createName, &code)));
    }
    if (code == HOST_EXIT_OK) {
        t.cleanup = reinterpret_cast<ToolCleanupProc>(
            reinterpret_cast<void*>(ResolveEntryPoint(t.cleanupName, &code)));
    }
    return code;
}

int InitPanelType()
{
    PanelTypeInfo* info = nullptr;
    if (host.type.init(&info, 0) != &info || !info) {
        HostMessage("The module\n" + host.modulePath + "\ndid not describe its panel type.",
                    MB_ICONERROR);
        return HOST_EXIT_NO_TYPE;
    }
    host.type.info = info;
    return HOST_EXIT_OK;
}

// The module's texts are in the system's code page.
std::string TypeText(const char* field, size_t size)
{
    int n = static_cast<int>(strnlen(field, size));
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (n > 0) {
        wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, field, n, &wide[0], n)));
    }
    return Utf8(wide);
}

void DrawHostText(HDC hdc, int x, int y, const std::string& text)
{
    std::wstring wide = Wide(text);
    TextOutW(hdc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

void PaintTypeHeader(HWND hwnd, HDC hdc)
{
    UINT dpi = WindowDpi(hwnd);
    int height = HeaderHeight(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    rc.bottom = height;
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    const PanelTypeInfo* info = host.type.info;
    if (!info) {
        return;
    }
    if (info->image) {
        HDC mem = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(mem, info->image);
        SetStretchBltMode(hdc, COLORONCOLOR);
        StretchBlt(hdc, Scaled(14, dpi), Scaled(14, dpi), Scaled(16, dpi), Scaled(16, dpi), mem, 0,
                   0, 16, 16, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    HFONT bold = CreateHostFont(dpi, FW_BOLD);
    HFONT normal = CreateHostFont(dpi, FW_NORMAL);
    HGDIOBJ oldFont = SelectObject(hdc, bold);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    DrawHostText(hdc, Scaled(40, dpi), Scaled(6, dpi), TypeText(info->name, sizeof info->name));
    SelectObject(hdc, normal);
    DrawHostText(hdc, Scaled(40, dpi), Scaled(23, dpi),
                 TypeText(info->description, sizeof info->description));
    char count[40];
    snprintf(count, sizeof count, "%u tool%s", static_cast<unsigned>(host.tools.size()),
             host.tools.size() == 1 ? "" : "s");
    RECT right = {rc.right - Scaled(120, dpi), 0, rc.right - Scaled(12, dpi), height};
    DrawTextA(hdc, count, -1, &right, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(hdc, oldFont);
    DeleteObject(bold);
    DeleteObject(normal);
    RECT line = {0, height - 2, rc.right, height};
    DrawEdge(hdc, &line, EDGE_ETCHED, BF_TOP);
}

LRESULT OnMainPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    PaintTypeHeader(hwnd, hdc);
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

// Moved to a screen of other dots per inch: the system's suggested place,
// then the header and the panel drawn and laid out anew.
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

}  // namespace

// Where the settings are kept, why there, and whether this session's
// changes go there; the About box and --help tell the user.
std::string SettingsText()
{
    std::string text = "Settings: " + host.settingsPath;
    if (!host.settingsPlace.empty()) {
        text += "\n(" + host.settingsPlace + ")";
    }
    if (!host.settingsKept.empty()) {
        text += "\n" + host.settingsKept;
    }
    return text;
}

namespace {

void ShowAboutHost()
{
    const PanelTypeInfo* info = host.type.info;
    std::string text = "Morva Host shows the tools of a panel-tool module.\n\n" +
                       std::string(kHostVersionText) + "\nModule: " + host.modulePath +
                       "\nPanel type: " + TypeText(info->name, sizeof info->name) + "\n" +
                       TypeText(info->description, sizeof info->description) + "\n\n" +
                       SettingsText();
    HostMessage(text, MB_ICONINFORMATION);
}

// Quitting saves first: the page goes before its tool, the tools before the
// window that holds them.
LRESULT OnMainClose(HWND hwnd)
{
    ClosePropertySheet();
    if (host.settingsKept.empty() && !SaveHostSettings() &&
        !hostHooks.confirm("The settings could not be saved. Quit all the same?")) {
        return 0;
    }
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
        } else if (SaveHostSettings()) {
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
        if (!host.tools.empty()) {
            RemoveTool(host.tools.back());
        }
        break;
    case IDM_HOST_ABOUT:
        ShowAboutHost();
        break;
    default:
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
    case WM_CLOSE:
        return OnMainClose(hwnd);
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
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, IDM_HOST_SAVE, "&Save Settings");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, IDM_HOST_EXIT, "E&xit");
    HMENU tools = CreatePopupMenu();
    AppendMenuA(tools, MF_STRING, IDM_HOST_ADD_TOOL, "&Add Tool");
    AppendMenuA(tools, MF_STRING, IDM_HOST_REMOVE_TOOL, "&Remove Last Tool");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, IDM_HOST_ABOUT, "&About Morva Host...");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), "&Tools");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
}

bool CreateMainWindow(const PanelLayout& layout, bool mayMaximize)
{
    if (!RegisterHostClass(kHostWindowClass, MainWndProc, GetSysColorBrush(COLOR_BTNFACE)) ||
        !RegisterPanelClass() || !RegisterSheetClass()) {
        return false;
    }
    std::wstring title = Wide(std::string(kCaption) + " - " +
                              TypeText(host.type.info->name, sizeof host.type.info->name));
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
    // A saved placement is used only while some of it is still on a screen.
    RECT saved = {layout.left, layout.top, layout.left + layout.width, layout.top + layout.height};
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                   GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                   GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RECT visible;
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    GetWindowPlacement(host.mainWindow, &wp);
    if (layout.width > 0 && layout.height > 0 && IntersectRect(&visible, &saved, &screen)) {
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

void TellByMessageBox(const std::string& text, UINT icon)
{
    MessageBoxW(host.mainWindow, Wide(text).c_str(), Wide(kCaption).c_str(), MB_OK | icon);
}

bool ConfirmByMessageBox(const std::string& question)
{
    return MessageBoxW(host.mainWindow, Wide(question).c_str(), Wide(kCaption).c_str(),
                       MB_YESNO | MB_ICONWARNING) == IDYES;
}

void NoteNowhere(const std::string&) {}

void IgnorePaintNotice(const PaintNotice*) {}

}  // namespace

HostHooks hostHooks = {TellByMessageBox, ConfirmByMessageBox, NoteNowhere, IgnorePaintNotice};

void HostLog(const std::string& line)
{
    hostHooks.note(line);
}

void HostMessage(const std::string& text, UINT icon)
{
    hostHooks.tell(text, icon);
}

// The command line as the system keeps it, in UTF-16, so that no path is
// squeezed through the system's code page.
std::vector<std::string> Arguments()
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; i++) {
        args.push_back(Utf8(argv[i]));
    }
    LocalFree(argv);
    return args;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) {
            return std::string();
        }
        if (n < path.size()) {
            path.resize(n);
            return FolderOf(Utf8(path));
        }
        path.resize(path.size() * 2);  // a long path, beyond MAX_PATH
    }
}

std::wstring Wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    }
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], n, nullptr, nullptr);
    }
    return utf8;
}

// The monitor's dots per inch where the system keeps them per window
// (Windows 10 1607 and later), the system's elsewhere.
UINT WindowDpi(HWND hwnd)
{
    static const auto forWindow = NewerUser32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    UINT dpi = forWindow && hwnd ? forWindow(hwnd) : 0;
    return dpi ? dpi : SystemDpi();
}

int Scaled(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

// The stock dialog font is made for the system's dots per inch.
HFONT CreateHostFont(UINT dpi, LONG weight)
{
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    lf.lfWidth = 0;
    lf.lfWeight = weight;
    return CreateFontIndirectW(&lf);
}

void AdjustWindowRectForDpi(RECT* rc, HWND hwnd, BOOL menu, UINT dpi)
{
    static const auto forDpi =
        NewerUser32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
    if (!forDpi || !forDpi(rc, style, menu, exStyle, dpi)) {
        AdjustWindowRectEx(rc, style, menu, exStyle);
    }
}

int OpenHost(const std::string& modulePath, bool mayMaximize)
{
    // Property pages use up-down controls: their class must exist before
    // the first page is asked for.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);

    int code = LoadPanelModule(modulePath.empty() ? ProgramFolder() + "morva.dll" : modulePath);
    if (code == HOST_EXIT_OK) {
        code = InitPanelType();
    }
    if (code != HOST_EXIT_OK) {
        if (host.module) {
            FreeLibrary(host.module);
        }
        return code;
    }

    bool fromFile = false;
    std::string problem;
    HostSettings settings = LoadHostSettings(&fromFile, &problem);
    if (!CreateMainWindow(settings.layout, mayMaximize)) {
        HostMessage("Morva Host could not create its window.", MB_ICONERROR);
        return HOST_EXIT_NO_WINDOW;
    }
    if (fromFile) {
        for (const SavedTool& saved : settings.tools) {
            AddTool(saved.block);
        }
    } else {
        AddTool(nullptr);
    }
    if (!problem.empty()) {
        HostMessage(problem, MB_ICONWARNING);
    }
    return HOST_EXIT_OK;
}

void RunHost()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (SheetDialogMessage(&msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    host.type.cleanup(0);
    FreeLibrary(host.module);
}

bool RegisterHostClass(const char* name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = host.instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(host.instance, MAKEINTRESOURCEA(IDI_MORVAHOST));
    wc.hIconSm = static_cast<HICON>(LoadImageA(host.instance, MAKEINTRESOURCEA(IDI_MORVAHOST),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) != 0;
}
