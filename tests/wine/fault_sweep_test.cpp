// Every failable system call of the module failed in turn. For each scenario a
// host or a user drives, the module's calls to each import that can fail are
// counted once; then the scenario runs again for every import and every N
// with the Nth call failing as the system fails it, and after each run the
// tool must have left no object, window, note or freed-block touch behind,
// its settings block must read back whole, and the host must go on.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "tests/wine/harness.h"

#include <commctrl.h>

namespace {

// X(dll, calling convention, result, name, failure value, last error, parameters, arguments)
#define FALLIBLE_IMPORTS(X)                                                                       \
    X("kernel32.dll", WINAPI, LPVOID, HeapAlloc, nullptr, ERROR_NOT_ENOUGH_MEMORY,                \
      (HANDLE h, DWORD f, SIZE_T n), (h, f, n))                                                   \
    X("msvcrt.dll", __cdecl, void*, malloc, nullptr, ERROR_NOT_ENOUGH_MEMORY, (size_t n), (n))    \
    X("gdi32.dll", WINAPI, HBITMAP, CreateCompatibleBitmap, nullptr, ERROR_NOT_ENOUGH_MEMORY,     \
      (HDC h, int w, int y), (h, w, y))                                                           \
    X("gdi32.dll", WINAPI, HDC, CreateCompatibleDC, nullptr, ERROR_NOT_ENOUGH_MEMORY, (HDC h),    \
      (h))                                                                                        \
    X("gdi32.dll", WINAPI, HPEN, CreatePen, nullptr, ERROR_NOT_ENOUGH_MEMORY,                     \
      (int s, int w, COLORREF c), (s, w, c))                                                      \
    X("gdi32.dll", WINAPI, HBRUSH, CreateSolidBrush, nullptr, ERROR_NOT_ENOUGH_MEMORY,            \
      (COLORREF c), (c))                                                                          \
    X("gdi32.dll", WINAPI, HGDIOBJ, SelectObject, nullptr, ERROR_INVALID_PARAMETER,               \
      (HDC h, HGDIOBJ o), (h, o))                                                                 \
    X("gdi32.dll", WINAPI, BOOL, BitBlt, FALSE, ERROR_INVALID_PARAMETER,                          \
      (HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, DWORD r),                        \
      (d, x, y, w, h, s, sx, sy, r))                                                              \
    X("user32.dll", WINAPI, HDC, GetDC, nullptr, ERROR_NOT_ENOUGH_MEMORY, (HWND w), (w))          \
    X("user32.dll", WINAPI, HDC, BeginPaint, nullptr, ERROR_NOT_ENOUGH_MEMORY,                    \
      (HWND w, PAINTSTRUCT * p), (w, p))                                                          \
    X("user32.dll", WINAPI, int, LoadStringA, 0, ERROR_RESOURCE_NAME_NOT_FOUND,                   \
      (HINSTANCE i, UINT id, LPSTR b, int n), (i, id, b, n))                                      \
    X("user32.dll", WINAPI, HBITMAP, LoadBitmapA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND,         \
      (HINSTANCE i, LPCSTR n), (i, n))                                                            \
    X("user32.dll", WINAPI, HCURSOR, LoadCursorA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND,         \
      (HINSTANCE i, LPCSTR n), (i, n))                                                            \
    X("user32.dll", WINAPI, ATOM, RegisterClassA, 0, ERROR_NOT_ENOUGH_MEMORY,                     \
      (const WNDCLASSA* c), (c))                                                                  \
    X("user32.dll", WINAPI, HWND, CreateWindowExA, nullptr, ERROR_NOT_ENOUGH_MEMORY,              \
      (DWORD e, LPCSTR c, LPCSTR t, DWORD s, int x, int y, int w, int h, HWND p, HMENU m,         \
       HINSTANCE i, LPVOID l),                                                                    \
      (e, c, t, s, x, y, w, h, p, m, i, l))                                                       \
    X("user32.dll", WINAPI, HWND, CreateDialogParamA, nullptr, ERROR_NOT_ENOUGH_MEMORY,           \
      (HINSTANCE i, LPCSTR t, HWND o, DLGPROC d, LPARAM l), (i, t, o, d, l))                      \
    X("user32.dll", WINAPI, INT_PTR, DialogBoxParamA, -1, ERROR_NOT_ENOUGH_MEMORY,                \
      (HINSTANCE i, LPCSTR t, HWND o, DLGPROC d, LPARAM l), (i, t, o, d, l))                      \
    X("user32.dll", WINAPI, int, MessageBoxA, 0, ERROR_NOT_ENOUGH_MEMORY,                         \
      (HWND o, LPCSTR t, LPCSTR c, UINT s), (o, t, c, s))                                         \
    X("user32.dll", WINAPI, HMENU, CreatePopupMenu, nullptr, ERROR_NOT_ENOUGH_MEMORY, (), ())     \
    X("user32.dll", WINAPI, BOOL, AppendMenuA, FALSE, ERROR_NOT_ENOUGH_MEMORY,                    \
      (HMENU m, UINT f, UINT_PTR id, LPCSTR t), (m, f, id, t))                                    \
    X("user32.dll", WINAPI, BOOL, TrackPopupMenu, FALSE, ERROR_POPUP_ALREADY_ACTIVE,              \
      (HMENU m, UINT f, int x, int y, int r, HWND w, const RECT* rc), (m, f, x, y, r, w, rc))     \
    X("user32.dll", WINAPI, HWND, SetCapture, nullptr, ERROR_ACCESS_DENIED, (HWND w), (w))        \
    X("winmm.dll", WINAPI, UINT, midiInGetNumDevs, 0, 0, (), ())                                  \
    X("winmm.dll", WINAPI, UINT, midiOutGetNumDevs, 0, 0, (), ())                                 \
    X("winmm.dll", WINAPI, MMRESULT, midiOutGetDevCapsA, MMSYSERR_NODRIVER, 0,                    \
      (UINT_PTR d, LPMIDIOUTCAPSA c, UINT n), (d, c, n))                                          \
    X("winmm.dll", WINAPI, MMRESULT, midiOutOpen, MMSYSERR_ALLOCATED, 0,                          \
      (LPHMIDIOUT h, UINT d, DWORD_PTR c, DWORD_PTR i, DWORD f), (h, d, c, i, f))                 \
    X("winmm.dll", WINAPI, MMRESULT, midiOutClose, MIDIERR_STILLPLAYING, 0, (HMIDIOUT h), (h))    \
    X("winmm.dll", WINAPI, MMRESULT, midiOutShortMsg, MIDIERR_NOTREADY, 0, (HMIDIOUT h, DWORD m), \
      (h, m))                                                                                     \
    X("winmm.dll", WINAPI, MMRESULT, midiOutSetVolume, MMSYSERR_NOTSUPPORTED, 0,                  \
      (HMIDIOUT h, DWORD v), (h, v))                                                              \
    X("winmm.dll", WINAPI, MMRESULT, midiOutGetErrorTextA, MMSYSERR_BADERRNUM, 0,                 \
      (MMRESULT r, LPSTR t, UINT n), (r, t, n))

enum Import {
#define AS_ENUM(dll, conv, result, name, ...) I_##name,
    FALLIBLE_IMPORTS(AS_ENUM)
#undef AS_ENUM
        kImports
};

int calls[kImports];     // calls of each import since the run was armed
int failing = kImports;  // the import whose call fails, kImports for none
int failingCall;         // which of its calls fails, from 1
bool armed;

// What the module opened, and tried to send or close, in order.
enum StepKind { kOpened, kSend, kClose };
struct DeviceStep {
    HMIDIOUT handle;
    StepKind kind;
    DWORD message;
    bool delivered;
};
std::vector<DeviceStep> deviceSteps;

bool FailsNow(int import)
{
    return armed && ++calls[import] == failingCall && import == failing;
}

// Sends and closes are noted with their outcome; other calls are not.
template <typename R, typename Args>
void NoteStep(int, R, const Args&)
{
}
void NoteStep(int import, MMRESULT result, const std::tuple<HMIDIOUT, DWORD>& args)
{
    if (import == I_midiOutShortMsg) {
        deviceSteps.push_back({std::get<0>(args), kSend, std::get<1>(args), result == 0});
    }
}
void NoteStep(int import, MMRESULT, const std::tuple<HMIDIOUT>& args)
{
    if (import == I_midiOutClose) {
        deviceSteps.push_back({std::get<0>(args), kClose, 0, false});
    }
}
void NoteStep(int, MMRESULT result,
              const std::tuple<LPHMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD>& args)
{
    if (result == MMSYSERR_NOERROR) {
        deviceSteps.push_back({*std::get<0>(args), kOpened, 0, true});
    }
}

#define AS_WRAPPER(dll, conv, result, name, failure, error, params, args) \
    decltype(&name) real_##name;                                          \
    result conv Failing_##name params                                     \
    {                                                                     \
        result done = static_cast<result>(failure);                       \
        if (FailsNow(I_##name)) {                                         \
            SetLastError(error);                                          \
        } else {                                                          \
            done = real_##name args;                                      \
        }                                                                 \
        NoteStep(I_##name, done, std::make_tuple args);                   \
        return done;                                                      \
    }
FALLIBLE_IMPORTS(AS_WRAPPER)
#undef AS_WRAPPER

const char* const kImportNames[] = {
#define AS_NAME(dll, conv, result, name, ...) #name,
    FALLIBLE_IMPORTS(AS_NAME)
#undef AS_NAME
};

// What a scenario works on; the host and the sheet outlive every run.
struct Stage {
    const MorvaModule* morva;
    HWND host;
    HWND sheet;
    HWND tool;
    HWND page;
};

ToolStateBlock StartBlock()
{
    ToolStateBlock block = {};
    SetDefaultState(&block);
    block.octaves = 1;
    block.deviceNumber = 0;
    block.voice = 10;
    block.volume = 80;
    return block;
}

HWND NewTool(Stage& s)
{
    ToolStateBlock block = StartBlock();
    RECT rc = {0, 0, 96, 20};
    HWND tool = s.morva->create(s.host, &rc, &block, 0, 0);
    if (tool) {
        // The host places the tool after creating it, which lays its keys out.
        MoveWindow(tool, 0, 0, 100, 60, TRUE);
        UpdateWindow(tool);
    }
    return tool;
}

void Press(HWND tool)
{
    SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 40));
}
void OpenPage(Stage& s)
{
    s.page = OpenPropertyPage(s.tool, s.sheet, 5, 10);
}
void ChangePage(Stage& s)
{
    OpenPage(s);
    SetDlgItemInt(s.page, IDC_OCTAVES, 2, FALSE);
    SetDlgItemInt(s.page, IDC_VOLUME, 60, FALSE);
    SendDlgItemMessageA(s.page, IDC_DEVICE, CB_SETCURSEL, 1, 0);
    SendDlgItemMessageA(s.page, IDC_VOICE, CB_SETCURSEL, 40, 0);
}
LRESULT Send(HWND tool, UINT msg, const void* data)
{
    return SendMessageA(tool, msg, 0, reinterpret_cast<LPARAM>(data));
}

// Each scenario plays on a tool made beforehand (but the first two), after
// its unarmed preparation; only its act runs with a call failing.
struct Scenario {
    const char* name;
    void (*prepare)(Stage&);
    void (*act)(Stage&);
};
const Scenario kScenarios[] = {
    {"type set-up", nullptr,
     [](Stage& s) {
         PanelTypeInfo* info = nullptr;
         s.morva->init(&info, 0);
     }},
    {"create and size", nullptr, [](Stage& s) { s.tool = NewTool(s); }},
    {"paint", [](Stage&) {},
     [](Stage& s) {
         InvalidateRect(s.tool, nullptr, TRUE);
         UpdateWindow(s.tool);
     }},
    {"press, slide and release", [](Stage&) {},
     [](Stage& s) {
         Press(s.tool);
         SendMessageA(s.tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 40));
         SendMessageA(s.tool, WM_LBUTTONUP, 0, MAKELPARAM(20, 40));
     }},
    // Every note fails at the device, so each shows a box with the error's text.
    {"press and release on a failing device",
     [](Stage&) { FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY); },
     [](Stage& s) {
         Press(s.tool);
         SendMessageA(s.tool, WM_LBUTTONUP, 0, MAKELPARAM(5, 40));
     }},
    {"capture loss", [](Stage& s) { Press(s.tool); },
     [](Stage& s) {
         SetCapture(s.host);
         ReleaseCapture();
     }},
    // The menu's loop reads the keys: down to About, then Enter; the About
    // box is answered by the dialog catcher.
    {"context menu and About box", [](Stage&) {},
     [](Stage& s) {
         PostMessageA(s.tool, WM_KEYDOWN, VK_DOWN, 0);
         PostMessageA(s.tool, WM_KEYDOWN, VK_RETURN, 0);
         SendMessageA(s.tool, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
         PumpMessages();
     }},
    {"property page created", [](Stage&) {}, OpenPage},
    {"property page changed and applied", ChangePage, [](Stage& s) { ApplyPropertyPage(s.page); }},
    {"property page changed and cancelled", ChangePage,
     [](Stage& s) {
         DestroyWindow(s.page);
         s.page = nullptr;
     }},
    {"PNM_SETSTATE", [](Stage&) {},
     [](Stage& s) {
         ToolStateBlock block = StartBlock();
         block.octaves = 2;
         Send(s.tool, PNM_SETSTATE, &block);
     }},
    {"PNM_GETSTATE", [](Stage&) {},
     [](Stage& s) {
         void* lent = nullptr;
         Send(s.tool, PNM_GETSTATE, &lent);
     }},
    {"PNM_REFRESH", [](Stage&) {}, [](Stage& s) { Send(s.tool, PNM_REFRESH, nullptr); }},
    {"size fit", [](Stage&) {},
     [](Stage& s) {
         SizeFitRequest request = {0, 0, 400, 100, 1, 60};
         Send(s.tool, PNM_FITSIZE, &request);
         Send(s.tool, PNM_GETIDEALSIZE, nullptr);
     }},
    {"destroy", [](Stage& s) { Press(s.tool); },
     [](Stage& s) {
         DestroyWindow(s.tool);
         s.tool = nullptr;
     }},
    {"cleanup", [](Stage&) {}, [](Stage& s) { s.morva->cleanup(0); }},
};

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The host's children (tools, sheet, pages) and every dialog of the thread.
int LiveWindows(HWND host)
{
    int count = 0;
    EnumChildWindows(host, CountWindow, reinterpret_cast<LPARAM>(&count));
    return count + (FindShownDialog() ? 1 : 0);
}

// Every note-on the device took was followed by its note-off before the
// device was asked to close, and every device opened was asked to close.
std::string DeviceFault()
{
    std::map<HMIDIOUT, std::set<DWORD>> sounding;
    std::set<HMIDIOUT> open;
    for (const DeviceStep& step : deviceSteps) {
        std::set<DWORD>& notes = sounding[step.handle];
        const DWORD key = step.message & 0xFFFF;
        if (step.kind == kOpened) {
            open.insert(step.handle);
        } else if (step.kind == kClose && !notes.empty()) {
            return "device closed with a note sounding";
        } else if (step.kind == kClose) {
            open.erase(step.handle);
        } else if ((step.message & 0xF0) == 0x90 && (step.message >> 16) && step.delivered) {
            notes.insert(key);
        } else if ((step.message & 0xF0) == 0x90 && !(step.message >> 16)) {
            notes.erase(key);
        }
    }
    return open.empty() ? "" : "a device left open without a close";
}

// The block a tool lends, whole; a fresh tool given it lends the same bytes.
std::string BlockFault(Stage& s, const ToolStateBlock& before, const ToolStateBlock& clean)
{
    void* lent = nullptr;
    if (SendMessageA(s.tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent)) != TOOL_STATE_SIZE ||
        !lent) {
        return "no block";
    }
    ToolStateBlock block;
    memcpy(&block, lent, sizeof block);
    auto either = [](int32_t v, int32_t a, int32_t b) { return v == a || v == b; };
    if (!either(block.octaves, before.octaves, clean.octaves) ||
        !either(block.deviceNumber, before.deviceNumber, clean.deviceNumber) ||
        !either(block.voice, before.voice, clean.voice) ||
        !either(block.volume, before.volume, clean.volume)) {
        return "settings changed to neither their old nor their new values";
    }
    RECT rc = {0, 0, 100, 60};
    HWND copy = s.morva->create(s.host, &rc, &block, 0, 0);
    void* copied = nullptr;
    SendMessageA(copy, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&copied));
    const bool same = copied && memcmp(copied, &block, sizeof block) == 0;
    DestroyWindow(copy);
    return same ? "" : "the block does not read back";
}

bool PaintedWithoutContext()
{
    for (const HostRecord& r : HostMessages(PNM_PAINTNOTIFY)) {
        if (!r.notice.hdc) {
            return true;
        }
    }
    return false;
}

class FaultSweep : public MorvaTest {
protected:
    void SetUp() override
    {
        morva = &LoadMorva();
        ASSERT_NE(morva->dll, nullptr);
        StartObjectLedger(morva->dll);
        GuardModuleHeap(morva->dll);
#define AS_HOOK(from, conv, result, name, ...)             \
    real_##name = reinterpret_cast<decltype(real_##name)>( \
        HookImport(morva->dll, from, #name, reinterpret_cast<void*>(&Failing_##name)));
        FALLIBLE_IMPORTS(AS_HOOK)
#undef AS_HOOK
        MorvaTest::SetUp();
        stage = {morva, host, CreatePageContainer(host, 150, 100, 460, 220), nullptr, nullptr};
    }

    // One run of a scenario, failing call `n` of `import` (none when n is 0).
    // Returns the first fault seen, or "".
    std::string Run(const Scenario& sc, int import, int n, ToolStateBlock* lentAfter)
    {
        ResetWinmm(0, 2);
        deviceSteps.clear();
        CaughtDialogs().clear();
        HostMessages().clear();
        const ObjectLedger ledger = Ledger();
        const int windows = LiveWindows(host);
        const int touches = FreedBlockTouches();
        const size_t blocks = GuardedBlocksInUse();
        stage.tool = nullptr;
        if (sc.prepare) {
            stage.tool = NewTool(stage);
            sc.prepare(stage);
        }
        ToolStateBlock before = StartBlock();
        memset(calls, 0, sizeof calls);
        failing = import;
        failingCall = n;
        armed = true;
        sc.act(stage);
        armed = false;
        PumpMessages();
        std::string fault;
        if (IsWindow(stage.tool) && lentAfter) {
            *lentAfter = *LentBlock(stage.tool);
        } else if (IsWindow(stage.tool)) {
            fault = BlockFault(stage, before, clean);
        }
        if (stage.page) {
            DestroyWindow(stage.page);
            stage.page = nullptr;
        }
        if (stage.tool) {
            DestroyWindow(stage.tool);
            stage.tool = nullptr;
        }
        PumpMessages();
        const ObjectLedger after = Ledger();
        if (!fault.empty()) {
        } else if (after.gdiObjects != ledger.gdiObjects || after.memoryDcs != ledger.memoryDcs ||
                   after.windowDcs != ledger.windowDcs || after.menus != ledger.menus) {
            fault = "drawing objects or menus left behind";
        } else if (LiveWindows(host) != windows) {
            fault = "windows left behind";
        } else if (PaintedWithoutContext()) {
            fault = "the host was told of a paint without a device context";
        } else if (FreedBlockTouches() != touches) {
            fault = "a freed record was touched";
        } else if (GuardedBlocksInUse() != blocks) {
            fault = "a record left allocated";
        } else if (!(fault = DeviceFault()).empty()) {
        } else if (!SendMessageTimeoutA(host, WM_NULL, 0, 0, SMTO_NORMAL, 1000, nullptr)) {
            fault = "the host does not answer";
        } else {
            HWND fresh = NewTool(stage);
            fault = fresh ? "" : "no new tool can be made";
            DestroyWindow(fresh);
        }
        return fault;
    }

    Stage stage = {};
    ToolStateBlock clean = {};  // the block after the scenario's clean run
};

TEST_F(FaultSweep, EveryFailingCallOfEveryScenarioIsSurvived)
{
    // The emulated 32-bit system is many times slower: there each import's
    // first and last call in every scenario fail, not every call.
    const bool firstAndLast = SoakCount(2) < 2;
    int scenarios = 0;
    int runs = 0;
    int failed = 0;
    std::set<int> importsFailed;
    for (const Scenario& sc : kScenarios) {
        clean = StartBlock();
        EXPECT_EQ(Run(sc, kImports, 0, &clean), "") << sc.name << ", nothing failing";
        int counted[kImports];
        memcpy(counted, calls, sizeof counted);
        scenarios++;
        printf("%s:", sc.name);
        for (int import = 0; import < kImports; import++) {
            if (counted[import]) {
                printf(" %s %d", kImportNames[import], counted[import]);
            }
        }
        printf("\n");
        for (int import = 0; import < kImports; import++) {
            for (int n = 1; n <= counted[import]; n++) {
                if (firstAndLast && n != 1 && n != counted[import]) {
                    continue;
                }
                std::string fault = Run(sc, import, n, nullptr);
                runs++;
                importsFailed.insert(import);
                if (!fault.empty()) {
                    failed++;
                    ADD_FAILURE() << sc.name << ", " << kImportNames[import] << " call " << n
                                  << " of " << counted[import] << " failing: " << fault;
                }
            }
        }
    }
    printf("fault sweep: %d scenarios, %d imports, %d injected runs, %d failed%s\n", scenarios,
           static_cast<int>(importsFailed.size()), runs, failed,
           firstAndLast ? " (first and last call of each)" : "");
}

}  // namespace
