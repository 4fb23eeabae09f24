// Every failable system call of the module failed in turn. Each import of
// the DLL is either failed here or listed with the reason its failure cannot
// matter. For each scenario a host or a user drives, on the module loaded
// afresh, the module's calls to each failed import are counted once; then the
// scenario runs again for every import and every N with the Nth call failing
// as the system fails it, and again for each call that only such a failure
// brought about. After each run the tool must have left no paint, capture,
// box, window, open device, sounding note or freed-block touch behind, its
// settings block must read back whole, its boxes must be the host's, the
// host must go on, and the module, unloaded, must have given back every
// object it made or loaded.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>
#include <string>
#include <tuple>

#include "tests/wine/harness.h"

#include <commctrl.h>

namespace {

// X(dll, calling convention, result, name, failure value, last error, parameters, arguments)
#define FALLIBLE_IMPORTS(X)                                                                       \
    X("kernel32.dll", WINAPI, LPVOID, HeapAlloc, nullptr, ERROR_NOT_ENOUGH_MEMORY,                \
      (HANDLE h, DWORD f, SIZE_T n), (h, f, n))                                                   \
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
    X("user32.dll", WINAPI, LONG_PTR, SetWindowLongPtrA, 0, ERROR_ACCESS_DENIED,                  \
      (HWND w, int i, LONG_PTR v), (w, i, v))                                                     \
    X("user32.dll", WINAPI, BOOL, GetClientRect, FALSE, ERROR_INVALID_WINDOW_HANDLE,              \
      (HWND w, LPRECT r), (w, r))                                                                 \
    X("user32.dll", WINAPI, BOOL, SetDlgItemInt, FALSE, ERROR_NOT_ENOUGH_MEMORY,                  \
      (HWND d, int id, UINT v, BOOL s), (d, id, v, s))                                            \
    X("user32.dll", WINAPI, LRESULT, SendDlgItemMessageA, FailedItemAnswer(m),                    \
      ERROR_NOT_ENOUGH_MEMORY, (HWND d, int id, UINT m, WPARAM w, LPARAM l), (d, id, m, w, l))    \
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

// What the system answers a dialog item message it could not carry out.
LRESULT FailedItemAnswer(UINT msg)
{
    if (msg == CB_ADDSTRING) {
        return CB_ERRSPACE;
    }
    return msg >= CB_GETEDITSEL && msg < CB_MSGMAX ? CB_ERR : 0;
}

enum Import {
#define AS_ENUM(dll, conv, result, name, ...) I_##name,
    FALLIBLE_IMPORTS(AS_ENUM)
#undef AS_ENUM
        kImports
};

// The name an import has in the DLL: on the 32-bit system some are macros
// for others (SetWindowLongPtrA is SetWindowLongA).
#define SPELLED(name) #name
#define IMPORT_NAME(name) SPELLED(name)
const char* const kImportNames[] = {
#define AS_NAME(dll, conv, result, name, ...) IMPORT_NAME(name),
    FALLIBLE_IMPORTS(AS_NAME)
#undef AS_NAME
};

// The DLL's other imports, each with the reason its failure cannot matter.
struct Unfailed {
    const char* reason;
    const char* names;  // separated by spaces
};
const Unfailed kUnfailed[] = {
    {"the C runtime's own start-up, exit and output; the module allocates from the process heap",
     "vfprintf "
     "DeleteCriticalSection EnterCriticalSection InitializeCriticalSection LeaveCriticalSection "
     "TlsGetValue Sleep VirtualProtect VirtualQuery IsDBCSLeadByteEx MultiByteToWideChar "
     "WideCharToMultiByte GetLastError SetUnhandledExceptionFilter "
     "___lc_codepage_func ___mb_cur_max_func __iob_func _amsg_exit _errno _initterm _lock "
     "_unlock abort calloc fputc free fwrite localeconv malloc realloc strerror wcslen "
     "__dllonexit _onexit __set_app_type _iob __mb_cur_max atoi setlocale strchr "
     "GetModuleHandleA GetModuleHandleW GetProcAddress LoadLibraryA FreeLibrary"},
    {"cannot fail: memory and string work, the process heap, a debug line, a signal beep",
     "memcpy memmove memset strlen strncmp GetProcessHeap OutputDebugStringA Beep"},
    {"a release the system refuses only for a handle that is not the caller's; the ledger "
     "counts any refused one",
     "HeapFree DeleteObject DeleteDC ReleaseDC DestroyMenu EndPaint ReleaseCapture"},
    {"changes pixels only: the next paint draws them again",
     "DrawEdge RoundRect MoveToEx LineTo InvalidateRect SetDlgItemTextA GetStockObject"},
    {"fails only for a window that is gone, which every caller checks first or after",
     "IsWindow GetParent GetWindowLongPtrA GetWindowLongA GetUpdateRect ClientToScreen "
     "SetWindowPos EndDialog ValidateRect DestroyWindow"},
    {"reads a field of the page's own template, which fails only for text that is no number; "
     "apply takes that as zero by design",
     "GetDlgItemInt"},
    {"hands a message on: the receiver's answer is the result, and none is a failure",
     "DefWindowProcA SendMessageA"},
    {"the MIDI layer's input and long-message calls, which the tool never makes "
     "(wine.MidiLayer fails them)",
     "midiInAddBuffer midiInClose midiInGetDevCapsA midiInGetErrorTextA midiInOpen "
     "midiInPrepareHeader midiInReset midiInUnprepareHeader midiOutPrepareHeader midiOutReset "
     "midiOutUnprepareHeader"},
};

const char* UnfailedReason(const std::string& name)
{
    for (const Unfailed& u : kUnfailed) {
        if ((" " + std::string(u.names) + " ").find(" " + name + " ") != std::string::npos) {
            return u.reason;
        }
    }
    return nullptr;
}

// The names the DLL imports, from its import table.
std::vector<std::string> ImportsOf(HMODULE dll)
{
    std::vector<std::string> names;
    auto base = reinterpret_cast<const BYTE*>(dll);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; desc->Name; ++desc) {
        auto thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        for (; thunk->u1.AddressOfData; ++thunk) {
            if (!IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal)) {
                names.emplace_back(reinterpret_cast<const char*>(
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData)
                        ->Name));
            }
        }
    }
    return names;
}

int calls[kImports];  // calls of each import since the run was armed
struct Failure {
    int import;
    int call;  // from 1
};
std::vector<Failure> failures;  // the calls that fail in this run
bool armed;

// A paint that fails for want of resources fails again at once.
bool FailsNow(int import)
{
    if (!armed) {
        return false;
    }
    const int call = ++calls[import];
    for (const Failure& f : failures) {
        if (f.import == import && (call == f.call || (import == I_BeginPaint && call > f.call))) {
            return true;
        }
    }
    return false;
}

// What the module opened, and tried to send or close, in order.
enum StepKind { kSend, kClose };
struct DeviceStep {
    HMIDIOUT handle;
    StepKind kind;
    DWORD message;
    bool done;  // the device took it
};
std::vector<DeviceStep> deviceSteps;
std::set<HDC> painting;  // paints begun and not ended
int badPaintEnds;        // EndPaint given a structure no BeginPaint filled

// Outputs as a failed call leaves them, and what a call did, noted.
template <typename R, typename Args>
void NoteStep(int, bool, R, const Args&)
{
}
void NoteStep(int import, bool, MMRESULT result, const std::tuple<HMIDIOUT, DWORD>& args)
{
    if (import == I_midiOutShortMsg) {
        deviceSteps.push_back({std::get<0>(args), kSend, std::get<1>(args), result == 0});
    }
}
void NoteStep(int import, bool, MMRESULT result, const std::tuple<HMIDIOUT>& args)
{
    if (import == I_midiOutClose) {
        deviceSteps.push_back({std::get<0>(args), kClose, 0, result == 0});
    }
}
// A failed BeginPaint leaves the structure unusable.
void NoteStep(int, bool failed, HDC hdc, const std::tuple<HWND, PAINTSTRUCT*>& args)
{
    if (failed) {
        memset(std::get<1>(args), 0xA5, sizeof(PAINTSTRUCT));
    } else if (hdc) {
        painting.insert(hdc);
    }
}

#define AS_WRAPPER(dll, conv, result, name, failure, error, params, args) \
    decltype(&name) real_##name;                                          \
    result conv Failing_##name params                                     \
    {                                                                     \
        result done = static_cast<result>(failure);                       \
        const bool failed = FailsNow(I_##name);                           \
        if (failed) {                                                     \
            SetLastError(error);                                          \
        } else {                                                          \
            done = real_##name args;                                      \
        }                                                                 \
        NoteStep(I_##name, failed, done, std::make_tuple args);           \
        return done;                                                      \
    }
FALLIBLE_IMPORTS(AS_WRAPPER)
#undef AS_WRAPPER

decltype(&EndPaint) realEndPaint;
BOOL WINAPI PairedEndPaint(HWND hwnd, const PAINTSTRUCT* ps)
{
    if (!painting.erase(ps->hdc)) {
        badPaintEnds++;
    }
    return realEndPaint(hwnd, ps);
}

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
// The voice is picked by its name, as a user picks it.
void ChangePage(Stage& s)
{
    OpenPage(s);
    SetDlgItemInt(s.page, IDC_OCTAVES, 2, FALSE);
    SetDlgItemInt(s.page, IDC_VOLUME, 60, FALSE);
    SendDlgItemMessageA(s.page, IDC_DEVICE, CB_SETCURSEL, 1, 0);
    SendDlgItemMessageA(s.page, IDC_VOICE, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>("40)"));
}
LRESULT Send(HWND tool, UINT msg, const void* data)
{
    return SendMessageA(tool, msg, 0, reinterpret_cast<LPARAM>(data));
}

// Each scenario starts on the module loaded afresh, with its type set up and
// a tool made and prepared beforehand as it says; only its act, and the
// messages that follow it, run with calls failing.
enum Start { kFreshModule, kTypeSetUp, kTool };
struct Scenario {
    const char* name;
    Start start;
    void (*prepare)(Stage&);
    void (*act)(Stage&);
};
void Nothing(Stage&) {}
const Scenario kScenarios[] = {
    {"type set-up", kFreshModule, Nothing,
     [](Stage& s) {
         PanelTypeInfo* info = nullptr;
         s.morva->init(&info, 0);
     }},
    {"create and size", kTypeSetUp, Nothing, [](Stage& s) { s.tool = NewTool(s); }},
    {"paint", kTool, Nothing,
     [](Stage& s) {
         InvalidateRect(s.tool, nullptr, TRUE);
         UpdateWindow(s.tool);
     }},
    {"press, slide and release", kTool, Nothing,
     [](Stage& s) {
         Press(s.tool);
         SendMessageA(s.tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 40));
         SendMessageA(s.tool, WM_LBUTTONUP, 0, MAKELPARAM(20, 40));
     }},
    // Every note fails at the device, so each shows a box with the error's text.
    {"press and release on a failing device", kTool,
     [](Stage&) { FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY); },
     [](Stage& s) {
         Press(s.tool);
         SendMessageA(s.tool, WM_LBUTTONUP, 0, MAKELPARAM(5, 40));
     }},
    {"capture loss", kTool, [](Stage& s) { Press(s.tool); },
     [](Stage& s) {
         SetCapture(s.host);
         ReleaseCapture();
     }},
    // The menu's loop reads the keys: down to About, then Enter; the About
    // box is answered by the dialog catcher.
    {"context menu and About box", kTool, Nothing,
     [](Stage& s) {
         PostMessageA(s.tool, WM_KEYDOWN, VK_DOWN, 0);
         PostMessageA(s.tool, WM_KEYDOWN, VK_RETURN, 0);
         SendMessageA(s.tool, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
         PumpMessages();
     }},
    {"property page created and applied unchanged", kTool, Nothing,
     [](Stage& s) {
         OpenPage(s);
         ApplyPropertyPage(s.page);
     }},
    {"property page changed and applied", kTool, Nothing,
     [](Stage& s) {
         ChangePage(s);
         ApplyPropertyPage(s.page);
     }},
    {"property page changed and cancelled", kTool, ChangePage,
     [](Stage& s) {
         DestroyWindow(s.page);
         s.page = nullptr;
     }},
    {"PNM_SETSTATE", kTool, Nothing,
     [](Stage& s) {
         ToolStateBlock block = StartBlock();
         block.octaves = 2;
         Send(s.tool, PNM_SETSTATE, &block);
     }},
    {"PNM_GETSTATE", kTool, Nothing,
     [](Stage& s) {
         void* lent = nullptr;
         Send(s.tool, PNM_GETSTATE, &lent);
     }},
    {"PNM_REFRESH", kTool, Nothing, [](Stage& s) { Send(s.tool, PNM_REFRESH, nullptr); }},
    {"size fit", kTool, Nothing,
     [](Stage& s) {
         SizeFitRequest request = {0, 0, 400, 100, 1, 60};
         Send(s.tool, PNM_FITSIZE, &request);
         Send(s.tool, PNM_GETIDEALSIZE, nullptr);
     }},
    {"destroy", kTool, [](Stage& s) { Press(s.tool); },
     [](Stage& s) {
         DestroyWindow(s.tool);
         s.tool = nullptr;
     }},
    {"cleanup", kTool, Nothing, [](Stage& s) { s.morva->cleanup(0); }},
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

// Messages until the queue is empty; false when they never stop coming, as
// WM_PAINT does for a window whose update region is never validated.
bool PumpUntilQuiet()
{
    MSG msg;
    for (int n = 0; n < 10000; n++) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return false;
}

// Every note-on the device took was ended by a note-off it took before the
// device was asked to close; the double counts the opens and closes.
std::string DeviceFault()
{
    std::map<HMIDIOUT, std::set<DWORD>> sounding;
    for (const DeviceStep& step : deviceSteps) {
        std::set<DWORD>& notes = sounding[step.handle];
        const DWORD key = step.message & 0xFFFF;
        if (step.kind == kClose && !notes.empty()) {
            return "device closed with a note sounding";
        } else if (step.kind == kSend && (step.message & 0xF0) == 0x90 && step.done) {
            if (step.message >> 16) {
                notes.insert(key);
            } else {
                notes.erase(key);
            }
        }
    }
    for (const auto& device : sounding) {
        if (!device.second.empty()) {
            return "a note left sounding";
        }
    }
    return Winmm()->opened == Winmm()->closed ? "" : "a device left open";
}

// The settings block a tool lends, each part as it was before the act or
// as the act left it in a clean run. The current key may also be any key.
std::string BlockFault(HWND tool, const ToolStateBlock& before, const ToolStateBlock& clean)
{
    void* lent = nullptr;
    if (SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent)) != TOOL_STATE_SIZE ||
        !lent) {
        return "no block";
    }
    ToolStateBlock block;
    memcpy(&block, lent, sizeof block);
    if (block.currentKey >= -1 && block.currentKey < block.lastKey) {
        block.currentKey = clean.currentKey;
    }
    const struct {
        const char* name;
        size_t offset;
        size_t size;
    } parts[] = {
        {"reserved0", offsetof(ToolStateBlock, reserved0), 4},
        {"octaves", offsetof(ToolStateBlock, octaves), 4},
        {"last key", offsetof(ToolStateBlock, lastKey), 4},
        {"current key", offsetof(ToolStateBlock, currentKey), 4},
        {"voice", offsetof(ToolStateBlock, voice), 4},
        {"reserved20", offsetof(ToolStateBlock, reserved20), 8},
        {"device", offsetof(ToolStateBlock, deviceNumber), 4},
        {"volume", offsetof(ToolStateBlock, volume), 2},
        {"reserved34", offsetof(ToolStateBlock, reserved34), 2},
        {"key table", offsetof(ToolStateBlock, keys), sizeof block.keys},
    };
    auto bytes = [](const ToolStateBlock& b) { return reinterpret_cast<const char*>(&b); };
    for (const auto& part : parts) {
        const char* at = bytes(block) + part.offset;
        if (memcmp(at, bytes(before) + part.offset, part.size) != 0 &&
            memcmp(at, bytes(clean) + part.offset, part.size) != 0) {
            return std::string("the block's ") + part.name + " is neither old nor new";
        }
    }
    return "";
}

DWORD WINAPI AskHost(LPVOID host)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(static_cast<HWND>(host), WM_NULL, 0, 0, SMTO_NORMAL, Patience(5000),
                               &answer) &&
                   IsWindowEnabled(static_cast<HWND>(host))
               ? 1
               : 0;
}

// The host's window answers a message from another thread while this one
// waits in a message loop, and takes input again: no box left it disabled.
bool HostAnswers(HWND host)
{
    HANDLE asker = CreateThread(nullptr, 0, AskHost, host, 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &asker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        PumpMessages();
    }
    DWORD answered = 0;
    GetExitCodeThread(asker, &answered);
    CloseHandle(asker);
    return answered == 1;
}

// What a clean run of a scenario leaves, for the failing runs to be held to.
struct CleanRun {
    ToolStateBlock block;
    PanelTypeInfo type;
    size_t boxes;
};

// Boxes have text and belong to the host's window (but the one that tells
// of no devices at all, which has no owner), and are no more than two for
// each failed call beyond those of a clean run.
std::string WindowFault(HWND host, const CleanRun& clean, size_t failing)
{
    for (const CaughtDialog& box : CaughtDialogs()) {
        const bool messageBox = box.style != ~0u;
        if (messageBox && box.text.empty()) {
            return "a message box without text";
        } else if ((!messageBox || box.ownerArg) ? box.owner != host : box.caption != "MidiInit") {
            return "a box the host's window does not own";
        }
    }
    if (CaughtDialogs().size() > clean.boxes + 2 * failing) {
        return "more boxes than the failures explain";
    }
    return GetCapture() ? "the mouse capture is still held" : "";
}

// A set-up after a failed one describes the type as a clean one does.
std::string TypeFault(PanelTypeInfo** got, PanelTypeInfo* info, const PanelTypeInfo& clean)
{
    if (!got || !info || !info->image || !info->monoImage ||
        memcmp(info, &clean, offsetof(PanelTypeInfo, image)) != 0) {
        return "the type is described otherwise after a failed set-up";
    }
    return "";
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
        MorvaTest::SetUp();
        stage = {morva, host, CreatePageContainer(host, 150, 100, 460, 220), nullptr, nullptr};
    }

    // The module loaded afresh, every import it fails or watches hooked.
    // Returns the failed imports the DLL does not import.
    std::string FreshModule()
    {
        morva = stage.morva = &ReloadMorva(GetModuleHandleA(nullptr));
        StartObjectLedger(morva->dll);
        GuardModuleHeap(morva->dll);
        std::string missing;
#define AS_HOOK(from, conv, result, name, ...)                                           \
    real_##name = reinterpret_cast<decltype(real_##name)>(HookImport(                    \
        morva->dll, from, IMPORT_NAME(name), reinterpret_cast<void*>(&Failing_##name))); \
    missing += real_##name ? "" : " " IMPORT_NAME(name);
        FALLIBLE_IMPORTS(AS_HOOK)
#undef AS_HOOK
        realEndPaint = reinterpret_cast<decltype(realEndPaint)>(HookImport(
            morva->dll, "user32.dll", "EndPaint", reinterpret_cast<void*>(&PairedEndPaint)));
        char init[32], create[32], cleanup[32];
        morva->enumerate(init, create, cleanup, GetModuleHandleA(nullptr), 0);
        return missing;
    }

    // One run of a scenario with the given calls failing; with none, the
    // clean run, which keeps what it leaves. Returns the first fault seen,
    // or "".
    std::string Run(const Scenario& sc, const std::vector<Failure>& failing, CleanRun& clean)
    {
        FreshModule();
        ResetWinmm(0, 2);
        deviceSteps.clear();
        painting.clear();
        badPaintEnds = 0;
        CaughtDialogs().clear();
        HostMessages().clear();
        const ObjectLedger ledger = Ledger();
        const int windows = LiveWindows(host);
        const int touches = FreedBlockTouches();
        const size_t blocks = GuardedBlocksInUse();
        PanelTypeInfo* info = nullptr;
        if (sc.start != kFreshModule) {
            morva->init(&info, 0);
        }
        ToolStateBlock before = StartBlock();
        if (sc.start == kTool) {
            stage.tool = NewTool(stage);
            sc.prepare(stage);
            before = *LentBlock(stage.tool);
        }
        memset(calls, 0, sizeof calls);
        failures = failing;
        armed = true;
        sc.act(stage);
        const bool quiet = PumpUntilQuiet();
        armed = false;
        std::string fault = quiet ? "" : "messages never stop coming";
        if (fault.empty() && !HostAnswers(host)) {
            fault = "the host does not answer";
        } else if (fault.empty() && IsWindow(stage.tool) && failing.empty()) {
            clean.block = *LentBlock(stage.tool);
            clean.boxes = CaughtDialogs().size();
        } else if (fault.empty() && IsWindow(stage.tool)) {
            fault = BlockFault(stage.tool, before, clean.block);
        }
        if (fault.empty()) {
            fault = WindowFault(host, clean, failing.size());
        }
        // The tool goes first: a page it leaves open must edit nothing more.
        if (stage.tool) {
            DestroyWindow(stage.tool);
            stage.tool = nullptr;
        }
        if (stage.page) {
            ApplyPropertyPage(stage.page);
            DestroyWindow(stage.page);
            stage.page = nullptr;
        }
        PumpMessages();
        if (!fault.empty()) {
        } else if (LiveWindows(host) != windows) {
            fault = "windows or boxes left behind";
        } else if (!painting.empty() || badPaintEnds) {
            fault = "a paint not ended, or ended with a structure no BeginPaint filled";
        } else if (PaintedWithoutContext()) {
            fault = "the host was told of a paint without a device context";
        } else if (FreedBlockTouches() != touches) {
            fault = "a freed record was touched";
        } else if (GuardedBlocksInUse() != blocks) {
            fault = "a record left allocated";
        } else if (!(fault = DeviceFault()).empty()) {
        } else {
            // A host asks for the type again after a set-up that failed.
            PanelTypeInfo** got = morva->init(&info, 0);
            if (failing.empty() && info) {
                clean.type = *info;
            }
            fault = TypeFault(got, info, clean.type);
            HWND fresh = NewTool(stage);
            if (fault.empty() && !fresh) {
                fault = "no new tool can be made";
            }
            DestroyWindow(fresh);
        }
        // Unloaded, the module has given back every object it made or loaded.
        UnloadMorva(GetModuleHandleA(nullptr));
        const ObjectLedger after = Ledger();
        if (fault.empty() && memcmp(&after, &ledger, sizeof ledger) != 0) {
            fault = "drawing objects or menus left behind, or deleted twice";
        }
        return fault;
    }

    Stage stage = {};
};

TEST_F(FaultSweep, EveryFailingCallOfEveryScenarioIsSurvived)
{
    // The emulated 32-bit system is many times slower: there each import's
    // first and last call in every scenario fail, not every call.
    const bool firstAndLast = sizeof(void*) == 4;
    const std::vector<std::string> imports = ImportsOf(LoadMorva().dll);
    int listed = 0;
    for (const std::string& name : imports) {
        bool failed = false;
        for (const char* f : kImportNames) {
            failed = failed || name == f;
        }
        listed += failed ? 0 : 1;
        EXPECT_TRUE(failed || UnfailedReason(name)) << name << " is neither failed nor listed";
    }
    EXPECT_EQ(FreshModule(), "") << ": failed here but not imported";
    int scenarios = 0;
    int runs = 0;
    int failed = 0;
    int reached[kImports] = {};
    for (const Scenario& sc : kScenarios) {
        CleanRun clean = {StartBlock(), {}, 0};
        EXPECT_EQ(Run(sc, {}, clean), "") << sc.name << ", nothing failing";
        int counted[kImports];
        memcpy(counted, calls, sizeof counted);
        scenarios++;
        printf("%s:", sc.name);
        for (int import = 0; import < kImports; import++) {
            reached[import] += counted[import];
            if (counted[import]) {
                printf(" %s %d", kImportNames[import], counted[import]);
            }
        }
        printf("\n");
        auto sweep = [&](const std::vector<Failure>& failing, int of) {
            const Failure& f = failing.back();
            std::string fault = Run(sc, failing, clean);
            runs++;
            if (!fault.empty()) {
                failed++;
                ADD_FAILURE() << sc.name << ", " << kImportNames[f.import] << " call " << f.call
                              << " of " << of << " failing"
                              << (failing.size() > 1 ? " after the failing " : "")
                              << (failing.size() > 1 ? kImportNames[failing[0].import] : "") << ": "
                              << fault;
            }
        };
        auto chosen = [&](int n, int first, int last) {
            return !firstAndLast || n == first || n == last;
        };
        for (int import = 0; import < kImports; import++) {
            for (int n = 1; n <= counted[import]; n++) {
                if (!chosen(n, 1, counted[import])) {
                    continue;
                }
                sweep({{import, n}}, counted[import]);
                // The calls only this failure brought about, each failed too,
                // but for the failing import's own retries.
                int seen[kImports];
                memcpy(seen, calls, sizeof seen);
                for (int extra = 0; extra < kImports; extra++) {
                    if (extra == import) {
                        continue;
                    }
                    for (int m = counted[extra] + 1; m <= seen[extra]; m++) {
                        if (chosen(m, counted[extra] + 1, seen[extra])) {
                            sweep({{import, n}, {extra, m}}, seen[extra]);
                        }
                    }
                }
            }
        }
    }
    for (int import = 0; import < kImports; import++) {
        EXPECT_GT(reached[import], 0) << kImportNames[import] << " is never called";
    }
    printf(
        "fault sweep: %d imports of the DLL, %d failed, %d listed with a reason; %d scenarios, "
        "%d injected runs, %d failed%s\n",
        static_cast<int>(imports.size()), static_cast<int>(kImports), listed, scenarios, runs,
        failed, firstAndLast ? " (first and last call of each)" : "");
}

}  // namespace
