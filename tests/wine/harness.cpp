// Test harness for the module under Wine.
#include "tests/wine/harness.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace {

const char kHostClass[] = "MorvaTestHost";

MorvaModule module;
HHOOK cbtHook;
std::vector<CaughtDialog> dialogs;
std::vector<int> answers;
DialogInspector inspector;
std::vector<std::string> debugLines;
std::vector<HostRecord> hostMessages;
void StopDialogWatch();  // with the dialog watch, at the end of the file

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};
std::vector<MessageBoxCall> pendingBoxes;
decltype(&MessageBoxA) realMessageBoxA;

BOOL CALLBACK EndDialogOfThread(HWND hwnd, LPARAM)
{
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0) {
        EndDialog(hwnd, IDCANCEL);
    }
    return TRUE;
}

// A box the catcher never answered would hold the test until ctest ends it.
void CALLBACK MessageBoxOverdue(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    ADD_FAILURE() << "the message box \""
                  << (pendingBoxes.empty() ? "" : pendingBoxes.back().caption)
                  << "\" was not answered within " << Patience(kDialogWaitMs) / 1000 << " s";
    EnumThreadWindows(GetCurrentThreadId(), EndDialogOfThread, 0);
}

int WINAPI RecordingMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    pendingBoxes.push_back({owner, text ? text : "", caption ? caption : "", style});
    UINT_PTR overdue = SetTimer(nullptr, 0, Patience(kDialogWaitMs), MessageBoxOverdue);
    int answer = realMessageBoxA(owner, text, caption, style);
    KillTimer(nullptr, overdue);
    return answer;
}

std::string IconName(HWND dialog)
{
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, 0x0440, STM_GETICON, 0, 0));
    if (!icon) {
        return "";
    }
    struct {
        LPCSTR id;
        const char* name;
    } const known[] = {{IDI_HAND, "error"},
                       {IDI_QUESTION, "question"},
                       {IDI_EXCLAMATION, "warning"},
                       {IDI_ASTERISK, "information"}};
    for (const auto& k : known) {
        if (LoadIconA(nullptr, k.id) == icon) {
            return k.name;
        }
    }
    return "other";
}

std::string WindowText(HWND hwnd)
{
    char text[1024] = "";
    if (hwnd) {
        GetWindowTextA(hwnd, text, sizeof text);
    }
    return text;
}

// Text, buttons and icon of a caught box. The buttons are not visible yet
// while the box is being activated, so their own style bit is what counts.
void ReadContents(CaughtDialog& d)
{
    d.text = WindowText(GetDlgItem(d.hwnd, 0xFFFF));
    d.buttons.clear();
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = GetDlgItem(d.hwnd, id);
        if (button && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE)) {
            d.buttons.push_back(id);
        }
    }
    d.icon = IconName(d.hwnd);
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_DESTROYWND) {
        // A task-modal box without an owner is activated before it is filled
        // in; read it again as it was on the screen.
        for (CaughtDialog& d : dialogs) {
            if (d.hwnd == reinterpret_cast<HWND>(wParam) && d.text.empty()) {
                ReadContents(d);
            }
        }
    }
    if (code == HCBT_ACTIVATE) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        char cls[32] = "";
        GetClassNameA(hwnd, cls, sizeof cls);
        bool known = false;
        for (const CaughtDialog& d : dialogs) {
            known = known || d.hwnd == hwnd;
        }
        if (strcmp(cls, "#32770") == 0 && !known) {
            // As a box may on Windows, it takes the mouse capture from the
            // window that held it; Wine's boxes leave it where it was.
            SetCapture(hwnd);
            CaughtDialog d{};
            d.hwnd = hwnd;
            d.owner = GetWindow(hwnd, GW_OWNER);
            d.caption = WindowText(hwnd);
            ReadContents(d);
            d.style = ~0u;
            if (!pendingBoxes.empty() && pendingBoxes.back().caption == d.caption) {
                d.style = pendingBoxes.back().style;
                d.ownerArg = pendingBoxes.back().owner;
                pendingBoxes.pop_back();
            }
            if (inspector) {
                d.answer = 0;
                dialogs.push_back(d);
                inspector(hwnd);
            } else {
                d.answer = IDOK;
                if (!answers.empty()) {
                    d.answer = answers.front();
                    answers.erase(answers.begin());
                }
                dialogs.push_back(d);
                PostMessageA(hwnd, WM_COMMAND, d.answer, 0);
            }
        }
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

LONG CALLBACK DebugOutputHandler(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* rec = info->ExceptionRecord;
    if (rec->ExceptionCode == DBG_PRINTEXCEPTION_C && rec->NumberParameters >= 2) {
        debugLines.emplace_back(reinterpret_cast<const char*>(rec->ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case PNM_SHOWPROPERTIES:
        hostMessages.push_back({msg, wParam, {}});
        return 0;
    case PNM_PAINTNOTIFY:
        hostMessages.push_back({msg, wParam, *reinterpret_cast<PaintNotice*>(lParam)});
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

void* HookImport(HMODULE dll, const char* from, const char* function, void* replacement)
{
    auto base = reinterpret_cast<BYTE*>(dll);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + desc->Name), from) != 0) {
            continue;
        }
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) {
                continue;
            }
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return original;
        }
    }
    return nullptr;
}

// Exports are looked up by name, as the host does, and taken as the type
// the caller knows them by.
template <typename T>
T ProcAddress(HMODULE module, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const MorvaModule& LoadMorva()
{
    if (!module.dll) {
        CatchDebugOutput();
        module.dll = LoadLibraryA("morva.dll");
        if (module.dll) {
            module.enumerate =
                ProcAddress<EnumeratePanelTypesProc>(module.dll, "EnumeratePanelTypes");
            module.init = ProcAddress<InitToolTypeProc>(module.dll, "InitMorvaToolType");
            module.create = ProcAddress<ToolCreateProc>(module.dll, "MorvaToolCreate");
            module.cleanup = ProcAddress<ToolCleanupProc>(module.dll, "MorvaToolCleanup");
            RecordMessageBoxStylesOf(module.dll);
        }
    }
    return module;
}

void UnloadMorva(HINSTANCE hostInstance)
{
    if (module.dll) {
        UnregisterClassA("MorvaTool", hostInstance);
        FreeLibrary(module.dll);
        module = MorvaModule{};
    }
}

const MorvaModule& ReloadMorva(HINSTANCE hostInstance)
{
    UnloadMorva(hostInstance);
    return LoadMorva();
}

WinmmDoubleState* Winmm()
{
    HMODULE winmm = LoadLibraryA("winmm.dll");
    auto control =
        winmm ? ProcAddress<WinmmDoubleControlProc>(winmm, "WinmmDoubleControl") : nullptr;
    if (!control) {
        ADD_FAILURE() << "the winmm double is not loaded";
        static WinmmDoubleState dummy;
        return &dummy;
    }
    return control();
}

void ResetWinmm(UINT inDevs, UINT outDevs)
{
    WinmmDoubleState* s = Winmm();
    s->inDevs = inDevs;
    s->outDevs = outDevs;
    memset(s->failures, 0, sizeof s->failures);
    s->logCount = 0;
    s->opened = 0;
    s->closed = 0;
}

void FailWinmm(int call, MMRESULT code, int times, int device)
{
    Winmm()->failures[call] = {code, times, device};
}

std::vector<WinmmRecord> WinmmLog()
{
    const WinmmDoubleState* s = Winmm();
    const UINT kept = WINMM_LOG_SIZE;
    UINT n = s->logCount < kept ? s->logCount : kept;
    return std::vector<WinmmRecord>(s->log, s->log + n);
}

std::vector<WinmmRecord> WinmmCalls(int call)
{
    std::vector<WinmmRecord> result;
    for (const WinmmRecord& r : WinmmLog()) {
        if (r.call == call) {
            result.push_back(r);
        }
    }
    return result;
}

std::vector<DWORD> ShortMessages()
{
    std::vector<DWORD> words;
    for (const WinmmRecord& r : WinmmCalls(W_midiOutShortMsg)) {
        words.push_back(r.arg);
    }
    return words;
}

void StartCatchingDialogs()
{
    dialogs.clear();
    answers.clear();
    pendingBoxes.clear();
    inspector = nullptr;
    if (!cbtHook) {
        cbtHook = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
    }
}

void StopCatchingDialogs()
{
    StopDialogWatch();
    if (cbtHook) {
        UnhookWindowsHookEx(cbtHook);
        cbtHook = nullptr;
    }
}

std::vector<CaughtDialog>& CaughtDialogs()
{
    return dialogs;
}
void QueueDialogAnswer(int id)
{
    answers.push_back(id);
}
void SetDialogInspector(DialogInspector fn)
{
    inspector = fn;
}

namespace {
HWND doomedWindow;
int boxesBeforeDoom;  // boxes answered before the one whose loop destroys the window

void DestroyTheWindowInItsBox(HWND box)
{
    if (boxesBeforeDoom-- == 0) {
        DestroyWindow(doomedWindow ? doomedWindow : dialogs.back().ownerArg);
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}
}  // namespace

void DestroyInBox(HWND window, int box)
{
    doomedWindow = window;
    boxesBeforeDoom = box;
    inspector = DestroyTheWindowInItsBox;
}
std::vector<std::string>& DebugLines()
{
    return debugLines;
}
std::vector<HostRecord>& HostMessages()
{
    return hostMessages;
}

std::vector<HostRecord> HostMessages(UINT msg)
{
    std::vector<HostRecord> result;
    for (const HostRecord& r : hostMessages) {
        if (r.msg == msg) {
            result.push_back(r);
        }
    }
    return result;
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void MorvaTest::SetUp()
{
    morva = &LoadMorva();
    ASSERT_NE(morva->dll, nullptr) << "morva.dll did not load";
    ResetWinmm(0, 1);
    debugLines.clear();
    hostMessages.clear();
    StartCatchingDialogs();

    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = kHostClass;
    RegisterClassA(&wc);
    host = CreateWindowExA(0, kHostClass, "Morva test host",
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 640, 480,
                           nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(host, nullptr);
    PumpMessages();

    char init[32], create[32], cleanup[32];
    morva->enumerate(init, create, cleanup, GetModuleHandleA(nullptr), 0);
    PanelTypeInfo* out = nullptr;
    morva->init(&out, 0);
    typeInfo = out;
}

void MorvaTest::TearDown()
{
    if (host) {
        DestroyWindow(host);
        host = nullptr;
    }
    PumpMessages();
    StopCatchingDialogs();
}

HWND MorvaTest::CreateTool(int left, int top, int right, int bottom, const ToolStateBlock* saved)
{
    RECT rc = {left, top, right, bottom};
    HWND tool = morva->create(host, &rc, saved, 0, 0);
    PumpMessages();
    return tool;
}

ToolStateBlock MorvaTest::DefaultBlock()
{
    ToolStateBlock block;
    memset(&block, 0, sizeof block);
    SetDefaultState(&block);
    return block;
}

HWND MorvaTest::PlayableTool(int left, int top, int right, int bottom, int octaves, int device)
{
    ToolStateBlock block = DefaultBlock();
    block.octaves = octaves;
    block.deviceNumber = device;
    HWND tool = CreateTool(left, top, right, bottom, &block);
    SendMessageA(tool, WM_MOVE, 0, 0);
    InvalidateRect(tool, nullptr, FALSE);
    UpdateWindow(tool);
    return tool;
}

ToolStateBlock* LentBlock(HWND tool)
{
    ToolStateBlock* lent = nullptr;
    LRESULT size = SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent));
    EXPECT_EQ(size, TOOL_STATE_SIZE);
    return lent;
}

namespace {

Pixels FromBgra(const std::vector<DWORD>& bgra, int width, int height)
{
    Pixels p;
    p.width = width;
    p.height = height;
    p.colours.reserve(bgra.size());
    for (DWORD v : bgra) {
        p.colours.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    }
    return p;
}

BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

}  // namespace

Pixels CaptureClient(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (rc.right <= 0 || rc.bottom <= 0) {
        return Pixels{};
    }
    BITMAPINFO bi = TopDown32(rc.right, rc.bottom);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, dib);
    HDC window = GetDC(hwnd);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    GdiFlush();
    auto first = static_cast<const DWORD*>(bits);
    std::vector<DWORD> bgra(first, first + static_cast<size_t>(rc.right) * rc.bottom);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    return FromBgra(bgra, rc.right, rc.bottom);
}

Pixels CaptureBitmap(HBITMAP bitmap)
{
    BITMAP bm;
    if (!bitmap || GetObjectA(bitmap, sizeof bm, &bm) != static_cast<int>(sizeof bm)) {
        return Pixels{};
    }
    BITMAPINFO bi = TopDown32(bm.bmWidth, bm.bmHeight);
    std::vector<DWORD> bgra(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, bm.bmHeight, bgra.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return FromBgra(bgra, bm.bmWidth, bm.bmHeight);
}

void RecordMessageBoxStylesOf(HMODULE target)
{
    void* recorder = reinterpret_cast<void*>(&RecordingMessageBoxA);
    void* original = HookImport(target, "user32.dll", "MessageBoxA", recorder);
    if (original && original != recorder && !realMessageBoxA) {
        realMessageBoxA = reinterpret_cast<decltype(&MessageBoxA)>(original);
    }
}

// A fault the program does not handle (a touch of a guarded freed block)
// ends it at once with the address, rather than in a debugger's prompt.
static LONG CALLBACK ReportCrash(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* rec = info->ExceptionRecord;
    fprintf(stderr, "crash: exception %08lx at %p", static_cast<unsigned long>(rec->ExceptionCode),
            rec->ExceptionAddress);
    if (rec->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && rec->NumberParameters >= 2) {
        fprintf(stderr, " %s %p", rec->ExceptionInformation[0] ? "writing" : "reading",
                reinterpret_cast<void*>(rec->ExceptionInformation[1]));
    }
    fprintf(stderr, "\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

void CatchDebugOutput()
{
    static bool installed = false;
    if (!installed) {
        AddVectoredExceptionHandler(1, DebugOutputHandler);
        SetUnhandledExceptionFilter(ReportCrash);
        installed = true;
    }
}

namespace {

ObjectLedger ledger;
decltype(&CreateSolidBrush) ledgerCreateSolidBrush;
decltype(&CreatePen) ledgerCreatePen;
decltype(&CreateCompatibleBitmap) ledgerCreateCompatibleBitmap;
decltype(&LoadBitmapA) ledgerLoadBitmapA;
decltype(&CreateCompatibleDC) ledgerCreateCompatibleDC;
decltype(&DeleteObject) ledgerDeleteObject;
decltype(&DeleteDC) ledgerDeleteDC;
decltype(&GetDC) ledgerGetDC;
decltype(&ReleaseDC) ledgerReleaseDC;
decltype(&CreatePopupMenu) ledgerCreatePopupMenu;
decltype(&DestroyMenu) ledgerDestroyMenu;
decltype(&CreateFontIndirectW) ledgerCreateFontIndirectW;
decltype(&SelectObject) ledgerSelectObject;
std::map<HGDIOBJ, HDC> selectedInto;  // the device context each object went into last

template <typename T>
T Counted(T made, long* live)
{
    if (made) {
        ++*live;
    }
    return made;
}

HBRUSH WINAPI LedgerCreateSolidBrush(COLORREF c)
{
    return Counted(ledgerCreateSolidBrush(c), &ledger.gdiObjects);
}
HPEN WINAPI LedgerCreatePen(int style, int width, COLORREF c)
{
    return Counted(ledgerCreatePen(style, width, c), &ledger.gdiObjects);
}
HBITMAP WINAPI LedgerCreateCompatibleBitmap(HDC hdc, int w, int h)
{
    return Counted(ledgerCreateCompatibleBitmap(hdc, w, h), &ledger.gdiObjects);
}
HBITMAP WINAPI LedgerLoadBitmapA(HINSTANCE module, LPCSTR name)
{
    return Counted(ledgerLoadBitmapA(module, name), &ledger.gdiObjects);
}
HDC WINAPI LedgerCreateCompatibleDC(HDC hdc)
{
    return Counted(ledgerCreateCompatibleDC(hdc), &ledger.memoryDcs);
}
HFONT WINAPI LedgerCreateFontIndirectW(const LOGFONTW* font)
{
    return Counted(ledgerCreateFontIndirectW(font), &ledger.gdiObjects);
}
HGDIOBJ WINAPI LedgerSelectObject(HDC hdc, HGDIOBJ obj)
{
    selectedInto[obj] = hdc;
    return ledgerSelectObject(hdc, obj);
}
BOOL WINAPI LedgerDeleteObject(HGDIOBJ obj)
{
    // A null object (one whose making failed) is selected nowhere.
    auto in = selectedInto.find(obj);
    ledger.selectedDeletes +=
        obj && in != selectedInto.end() && GetCurrentObject(in->second, GetObjectType(obj)) == obj;
    BOOL ok = ledgerDeleteObject(obj);
    ok ? --ledger.gdiObjects : ledger.failedDeletes += obj ? 1 : 0;
    return ok;
}
BOOL WINAPI LedgerDeleteDC(HDC hdc)
{
    BOOL ok = ledgerDeleteDC(hdc);
    ok ? --ledger.memoryDcs : ledger.failedDeletes += hdc ? 1 : 0;
    return ok;
}
HDC WINAPI LedgerGetDC(HWND hwnd)
{
    return Counted(ledgerGetDC(hwnd), &ledger.windowDcs);
}
int WINAPI LedgerReleaseDC(HWND hwnd, HDC hdc)
{
    int released = ledgerReleaseDC(hwnd, hdc);
    released ? --ledger.windowDcs : ledger.failedDeletes += hdc ? 1 : 0;
    return released;
}
HMENU WINAPI LedgerCreatePopupMenu()
{
    return Counted(ledgerCreatePopupMenu(), &ledger.menus);
}
BOOL WINAPI LedgerDestroyMenu(HMENU menu)
{
    BOOL ok = ledgerDestroyMenu(menu);
    ok ? --ledger.menus : ledger.failedDeletes += menu ? 1 : 0;
    return ok;
}

}  // namespace

void StartObjectLedger(HMODULE module)
{
    ledger = ObjectLedger{};
    Watch(module, "gdi32.dll", "CreateSolidBrush", &ledgerCreateSolidBrush,
          &LedgerCreateSolidBrush);
    Watch(module, "gdi32.dll", "CreatePen", &ledgerCreatePen, &LedgerCreatePen);
    Watch(module, "gdi32.dll", "CreateCompatibleBitmap", &ledgerCreateCompatibleBitmap,
          &LedgerCreateCompatibleBitmap);
    Watch(module, "user32.dll", "LoadBitmapA", &ledgerLoadBitmapA, &LedgerLoadBitmapA);
    Watch(module, "gdi32.dll", "CreateCompatibleDC", &ledgerCreateCompatibleDC,
          &LedgerCreateCompatibleDC);
    Watch(module, "gdi32.dll", "DeleteObject", &ledgerDeleteObject, &LedgerDeleteObject);
    Watch(module, "gdi32.dll", "DeleteDC", &ledgerDeleteDC, &LedgerDeleteDC);
    Watch(module, "user32.dll", "GetDC", &ledgerGetDC, &LedgerGetDC);
    Watch(module, "user32.dll", "ReleaseDC", &ledgerReleaseDC, &LedgerReleaseDC);
    Watch(module, "user32.dll", "CreatePopupMenu", &ledgerCreatePopupMenu, &LedgerCreatePopupMenu);
    Watch(module, "user32.dll", "DestroyMenu", &ledgerDestroyMenu, &LedgerDestroyMenu);
    Watch(module, "gdi32.dll", "CreateFontIndirectW", &ledgerCreateFontIndirectW,
          &LedgerCreateFontIndirectW);
    Watch(module, "gdi32.dll", "SelectObject", &ledgerSelectObject, &LedgerSelectObject);
}

ObjectLedger Ledger()
{
    return ledger;
}

namespace {

decltype(&HeapAlloc) guardedHeapAlloc;
decltype(&HeapFree) guardedHeapFree;
FreedBlockWatcher freedBlockWatcher;
std::set<void*> guardedBlocks;                      // given out by the guard, not yet freed
std::vector<std::pair<char*, SIZE_T>> freedBlocks;  // freed by the module, inaccessible
int freedBlockTouches;

// The system may swallow a fault inside a window procedure, so it is caught
// at first sight: a touch of a freed block is counted and the block opened
// again, so that the module goes on as it would have without the guard.
LONG CALLBACK CatchFreedBlockTouch(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* rec = info->ExceptionRecord;
    if (rec->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || rec->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    auto address = reinterpret_cast<char*>(rec->ExceptionInformation[1]);
    for (const auto& block : freedBlocks) {
        if (address >= block.first && address < block.first + block.second) {
            freedBlockTouches++;
            DWORD old;
            VirtualProtect(block.first, block.second, PAGE_READWRITE, &old);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LPVOID WINAPI GuardedHeapAlloc(HANDLE, DWORD, SIZE_T bytes)
{
    // Fresh pages are zeroed, as HEAP_ZERO_MEMORY asks.
    void* block =
        VirtualAlloc(nullptr, bytes ? bytes : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block) {
        guardedBlocks.insert(block);
    }
    return block;
}

BOOL WINAPI GuardedHeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    if (!guardedBlocks.erase(block)) {
        return guardedHeapFree(heap, flags, block);
    }
    if (freedBlockWatcher) {
        freedBlockWatcher(block);
    }
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(block, &info, sizeof info);
    DWORD old;
    VirtualProtect(block, info.RegionSize, PAGE_NOACCESS, &old);
    freedBlocks.emplace_back(static_cast<char*>(block), info.RegionSize);
    return TRUE;
}

}  // namespace

int FreedBlockTouches()
{
    return freedBlockTouches;
}

size_t GuardedBlocksInUse()
{
    return guardedBlocks.size();
}

void GuardModuleHeap(HMODULE module, FreedBlockWatcher freed)
{
    static PVOID handler = AddVectoredExceptionHandler(1, CatchFreedBlockTouch);
    (void)handler;
    freedBlockWatcher = freed;
    Watch(module, "kernel32.dll", "HeapAlloc", &guardedHeapAlloc, &GuardedHeapAlloc);
    Watch(module, "kernel32.dll", "HeapFree", &guardedHeapFree, &GuardedHeapFree);
}

// A whole number from the environment, 1 when it is missing or below 1.
static int EnvironmentFactor(const char* name)
{
    const char* value = getenv(name);
    const int factor = value != nullptr ? atoi(value) : 1;
    return factor > 1 ? factor : 1;
}

int SoakCount(int full)
{
    return full / EnvironmentFactor("MORVA_SOAK_DIVISOR");
}

DWORD Patience(DWORD ms)
{
    return ms * static_cast<DWORD>(EnvironmentFactor("MORVA_WAIT_SCALE"));
}

double SecondsNow()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

ProcessFigures CurrentProcessFigures()
{
    ProcessFigures f{};
    f.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    f.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                             sizeof pmc)) {
        f.privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    }
    return f;
}

HWND CreatePageContainer(HWND host, int x, int y, int width, int height)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = "MorvaTestSheet";
    RegisterClassA(&wc);
    return CreateWindowExA(WS_EX_CONTROLPARENT, wc.lpszClassName, "",
                           WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width, height, host,
                           nullptr, wc.hInstance, nullptr);
}

HWND OpenPropertyPage(HWND tool, HWND container, int x, int y)
{
    HWND page = reinterpret_cast<HWND>(SendMessageA(
        tool, PNM_CREATEPROPPAGE, reinterpret_cast<WPARAM>(container), MAKELPARAM(x, y)));
    PumpMessages();
    return page;
}

void ApplyPropertyPage(HWND page)
{
    SendMessageA(page, WM_COMMAND, ID_PAGE_APPLY, 0);
}

namespace {

struct ShownWindow {
    const char* cls;
    HWND found;
};

BOOL CALLBACK RememberShownWindow(HWND hwnd, LPARAM out)
{
    auto* shown = reinterpret_cast<ShownWindow*>(out);
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, shown->cls) == 0 && IsWindowVisible(hwnd)) {
        shown->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindShownWindow(const char* cls)
{
    ShownWindow shown = {cls, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), RememberShownWindow, reinterpret_cast<LPARAM>(&shown));
    return shown.found;
}

HWND FindShownDialog()
{
    return FindShownWindow("#32770");
}

namespace {

// The dialog a test waits for from a timer.
struct DialogWatch {
    const char* what;
    ShownDialogHandler seen;
    DWORD start;
    UINT_PTR timer;
};
DialogWatch dialogWatch;

void StopDialogWatch()
{
    if (dialogWatch.timer) {
        KillTimer(nullptr, dialogWatch.timer);
    }
    dialogWatch = DialogWatch{};
}

void CALLBACK DialogWatchTick(HWND, UINT, UINT_PTR, DWORD)
{
    DialogWatch watch = dialogWatch;
    HWND dialog = FindShownDialog();
    if (dialog) {
        StopDialogWatch();
        watch.seen(dialog);
        return;
    }
    if (GetTickCount() - watch.start < Patience(kDialogWaitMs)) {
        return;
    }
    StopDialogWatch();
    ADD_FAILURE() << watch.what << " did not show within " << Patience(kDialogWaitMs) / 1000
                  << " s";
    EndMenu();
    EnumThreadWindows(GetCurrentThreadId(), EndDialogOfThread, 0);
}

}  // namespace

void WatchForShownDialog(const char* what, ShownDialogHandler seen)
{
    StopDialogWatch();
    // A dialog loop shows its dialog once the thread's queue is empty; ticks
    // far apart leave it empty between them even on a slow machine.
    dialogWatch = {what, seen, GetTickCount(), SetTimer(nullptr, 0, 50, DialogWatchTick)};
}
