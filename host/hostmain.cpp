// morvahost.exe: loads the Morva module, shows its panel type and a panel of
// its tools, and keeps the tools' settings between runs.
#include "host/host.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/options.h"

HostState host;
const char kHostWindowClass[] = "MorvaHostWindow";

namespace {

const int kHeaderHeight = 44;  // the strip above the panel that shows the type
const char kCaption[] = "Morva Host";

std::string ModuleFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return FolderOf(std::string(path, n < sizeof path ? n : 0));
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
    host.module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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

std::string TypeText(const char* field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

void PaintTypeHeader(HWND hwnd, HDC hdc)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    rc.bottom = kHeaderHeight;
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    const PanelTypeInfo* info = host.type.info;
    if (!info) {
        return;
    }
    if (info->image) {
        HDC mem = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(mem, info->image);
        BitBlt(hdc, 14, 14, 16, 16, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    LOGFONTA lf = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectA(&lf);
    HGDIOBJ oldFont = SelectObject(hdc, bold);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    std::string name = TypeText(info->name, sizeof info->name);
    TextOutA(hdc, 40, 6, name.c_str(), static_cast<int>(name.size()));
    SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    std::string description = TypeText(info->description, sizeof info->description);
    TextOutA(hdc, 40, 23, description.c_str(), static_cast<int>(description.size()));
    char count[40];
    snprintf(count, sizeof count, "%u tool%s", static_cast<unsigned>(host.tools.size()),
             host.tools.size() == 1 ? "" : "s");
    RECT right = {rc.right - 120, 0, rc.right - 12, kHeaderHeight};
    DrawTextA(hdc, count, -1, &right, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(hdc, oldFont);
    DeleteObject(bold);
    RECT line = {0, kHeaderHeight - 2, rc.right, kHeaderHeight};
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

LRESULT OnMainSize(int width, int height)
{
    if (host.panel) {
        MoveWindow(host.panel, 0, kHeaderHeight, width,
                   height > kHeaderHeight ? height - kHeaderHeight : 0, TRUE);
    }
    return 0;
}

LRESULT OnMainMinMax(HWND hwnd, MINMAXINFO* mmi)
{
    SIZE panel = PanelMinimumSize();
    RECT rc = {0, 0, panel.cx, panel.cy + kHeaderHeight};
    AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE)));
    mmi->ptMinTrackSize.x = std::max<LONG>(rc.right - rc.left, 240);
    mmi->ptMinTrackSize.y = std::max<LONG>(rc.bottom - rc.top, 140);
    return 0;
}

void ShowAboutHost()
{
    const PanelTypeInfo* info = host.type.info;
    std::string text =
        "Morva Host shows the tools of a panel-tool module.\n\nModule: " + host.modulePath +
        "\nPanel type: " + TypeText(info->name, sizeof info->name) + "\n" +
        TypeText(info->description, sizeof info->description) +
        "\n\nSettings: " + host.settingsPath;
    HostMessage(text, MB_ICONINFORMATION);
}

// Quitting saves first: the page goes before its tool, the tools before the
// window that holds them.
LRESULT OnMainClose(HWND hwnd)
{
    ClosePropertySheet();
    if (!SaveHostSettings() && !host.demo) {
        if (MessageBoxA(hwnd, "The settings could not be saved. Quit all the same?", kCaption,
                        MB_YESNO | MB_ICONWARNING) != IDYES) {
            return 0;
        }
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
        if (SaveHostSettings()) {
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
        return OnMainSize(LOWORD(lParam), HIWORD(lParam));
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

bool CreateMainWindow(const PanelLayout& layout)
{
    if (!RegisterHostClass(kHostWindowClass, MainWndProc, GetSysColorBrush(COLOR_BTNFACE)) ||
        !RegisterPanelClass() || !RegisterSheetClass()) {
        return false;
    }
    std::string title =
        std::string(kCaption) + " - " + TypeText(host.type.info->name, sizeof host.type.info->name);
    host.mainWindow =
        CreateWindowExA(0, kHostWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                        40, 40, 560, 360, nullptr, MakeMenu(), host.instance, nullptr);
    if (!host.mainWindow) {
        return false;
    }
    host.panel =
        CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                        kHeaderHeight, 0, 0, host.mainWindow, nullptr, host.instance, nullptr);
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
    }
    wp.showCmd = (layout.flags & LAYOUT_MAXIMIZED) && !host.demo ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    SetWindowPlacement(host.mainWindow, &wp);
    UpdateWindow(host.mainWindow);
    return true;
}

std::vector<std::string> Arguments()
{
    std::vector<std::string> args;
    for (int i = 1; i < __argc; i++) {
        args.push_back(__argv[i]);
    }
    return args;
}

int RunMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (SheetDialogMessage(&msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

void HostLog(const std::string& line)
{
    host.log.push_back(line);
}

void HostMessage(const std::string& text, UINT icon)
{
    if (host.demo) {
        HostLog("host message: " + text);
        return;
    }
    MessageBoxA(host.mainWindow, text.c_str(), kCaption, MB_OK | icon);
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    host.instance = instance;
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(Arguments(), &options, &error)) {
        HostMessage(error + "\n\n" + kHostUsage, MB_ICONERROR);
        return HOST_EXIT_USAGE;
    }
    if (options.help) {
        HostMessage(kHostUsage, MB_ICONINFORMATION);
        return HOST_EXIT_OK;
    }
    host.demo = !options.demoDir.empty();
    if (host.demo) {
        CreateDirectoryA(options.demoDir.c_str(), nullptr);
        StartAnsweringMessageBoxes();
    }
    host.settingsPath = !options.settingsPath.empty() ? options.settingsPath
                        : host.demo                   ? options.demoDir + "\\morvahost.settings"
                                                      : ModuleFolder() + "morvahost.settings";

    // Property pages use up-down controls: their class must exist before
    // the first page is asked for.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);

    std::string modulePath =
        options.dllPath.empty() ? ModuleFolder() + "morva.dll" : options.dllPath;
    int code = LoadPanelModule(modulePath);
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
    if (!CreateMainWindow(settings.layout)) {
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

    int result = HOST_EXIT_OK;
    if (host.demo) {
        result = RunDemo(options.demoDir, options.device, options.voice, !options.mouseMessages);
        if (host.mainWindow) {
            PostMessageA(host.mainWindow, WM_CLOSE, 0, 0);
        }
    }
    RunMessageLoop();
    host.type.cleanup(0);
    FreeLibrary(host.module);
    if (host.demo && !WriteDemoLog(options.demoDir)) {
        result = HOST_EXIT_DEMO_FAILED;
    }
    return result;
}

bool RegisterHostClass(const char* name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = host.instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}
