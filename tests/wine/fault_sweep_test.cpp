// Every failable system call of the module failed in turn. Each import of
// the DLL is either failed here or listed with the reason its failure cannot
// matter. For each scenario a host or a user drives, on the module loaded
// afresh, the module's calls to each failed import, through the tool's
// destruction, are counted once; then the scenario runs again for every
// import and every N with the Nth call failing as the system fails it, and
// again for each call that only such a failure brought about. After each run
// the tool must show the keys it has laid out and have left no paint,
// capture, box, window, open device, sounding note or freed-block touch
// behind; its settings block must read back whole, its boxes must be the
// host's, and the module, unloaded, must have given back every object.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
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
    X("user32.dll", WINAPI, ATOM, RegisterClassA, 0, ERROR_NOT_ENOUGH_MEMORY,                     \
      (const WNDCLASSA* c), (c))                                                                  \
    X("user32.dll", WINAPI, HWND, CreateWindowExA, nullptr, ERROR_NOT_ENOUGH_MEMORY,              \
      (DWORD e, LPCSTR c, LPCSTR t, DWORD s, int x, int y, int w, int h, HWND p, HMENU m,         \
       HINSTANCE i, LPVOID l),                                                                    \
      (e, c, t, s, x, y, w, h, p, m, i, l))                                                       \
    X("user32.dll", WINAPI, BOOL, DestroyWindow, FALSE, 0, (HWND w), (w))                         \
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
    X("user32.dll", WINAPI, HWND, GetCapture, nullptr, 0, (), ())                                 \
    X("user32.dll", WINAPI, LONG_PTR, SetWindowLongPtrA, 0, ERROR_ACCESS_DENIED,                  \
      (HWND w, int i, LONG_PTR v), (w, i, v))                                                     \
    X("user32.dll", WINAPI, BOOL, GetClientRect, FALSE, ERROR_INVALID_WINDOW_HANDLE,              \
      (HWND w, LPRECT r), (w, r))                                                                 \
    X("user32.dll", WINAPI, BOOL, InvalidateRect, FALSE, ERROR_NOT_ENOUGH_MEMORY,                 \
      (HWND w, const RECT* r, BOOL e), (w, r, e))                                                 \
    X("user32.dll", WINAPI, BOOL, SetDlgItemInt, FALSE, ERROR_NOT_ENOUGH_MEMORY,                  \
      (HWND d, int id, UINT v, BOOL s), (d, id, v, s))                                            \
    X("user32.dll", WINAPI, LRESULT, SendDlgItemMessageA, FailedItemAnswer(m),                    \
      ERROR_NOT_ENOUGH_MEMORY, (HWND d, int id, UINT m, WPARAM w, LPARAM l), (d, id, m, w, l))    \
    X("winmm.dll", WINAPI, UINT, midiOutGetNumDevs, 0, 0, (), ())                                 \
    X("winmm.dll", WINAPI, MMRESULT, midiOutGetDevCapsA, MMSYSERR_NODRIVER, 0,                    \
      (UINT_PTR d, LPMIDIOUTCAPSA c, UINT n), (d, c, n))                                          \
    X("winmm.dll", WINAPI, MMRESULT, midiOutOpen, MMSYSERR_ALLOCATED, 0,                          \
      (LPHMIDIOUT h, UINT d, DWORD_PTR c, DWORD_PTR i, DWORD f), (h, d, c, i, f))                 \
    X("winmm.dll", WINAPI, MMRESULT, midiOutClose, MIDIERR_STILLPLAYING, 0, (HMIDIOUT h), (h))    \
    X("winmm.dll", WINAPI, MMRESULT, midiOutShortMsg, MIDIERR_NOTREADY, 0, (HMIDIOUT h, DWORD m), \
      (h, m))                                                                                     \
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
// A name only one build imports carries that build's width ("32:atoi"), and
// the other build must not import it.
struct Unfailed {
    const char* reason;
    const char* names;  // separated by spaces
};
const Unfailed kUnfailed[] = {
    {"the C runtime's own start-up, exit and output; the module allocates from the process heap",
     "vfprintf DeleteCriticalSection EnterCriticalSection InitializeCriticalSection "
     "LeaveCriticalSection TlsGetValue Sleep VirtualProtect VirtualQuery IsDBCSLeadByteEx "
     "MultiByteToWideChar WideCharToMultiByte GetLastError 64:___lc_codepage_func "
     "64:___mb_cur_max_func 64:__iob_func _amsg_exit _errno _initterm _lock _unlock abort calloc "
     "fputc free fwrite localeconv malloc realloc strerror wcslen 32:_iob 32:__mb_cur_max 32:atoi "
     "32:setlocale 32:strchr 32:GetModuleHandleA 32:GetModuleHandleW 32:GetProcAddress "
     "32:LoadLibraryA 32:FreeLibrary"},
    {"cannot fail: memory and string work, the process heap, a debug line",
     "memcpy memmove memset strlen strncmp GetProcessHeap OutputDebugStringA"},
    {"heard or seen only, and no answer is read: a beep, a volume a device without one refuses, "
     "the class's arrow cursor; a refusal leaves the sound or the pointer as it was",
     "Beep midiOutSetVolume LoadCursorA"},
    {"a release the system refuses only for a handle that is not the caller's; the ledger "
     "counts any refused one",
     "HeapFree DeleteObject DeleteDC ReleaseDC DestroyMenu EndPaint ReleaseCapture"},
    {"changes pixels of an image the next paint copies whole",
     "DrawEdge RoundRect MoveToEx LineTo SetDlgItemTextA GetStockObject"},
    {"fails only for a window that is gone, which every caller checks first or after",
     "IsWindow GetParent 64:GetWindowLongPtrA 32:GetWindowLongA GetUpdateRect ClientToScreen "
     "SetWindowPos EndDialog ValidateRect"},
    {"reads a field of the page's own template, which fails only for text that is no number; "
     "apply takes that as zero by design",
     "GetDlgItemInt"},
    {"hands a message on: the receiver's answer is the result, and none is a failure",
     "DefWindowProcA SendMessageA"},
    {"the MIDI layer's input and long-message calls, which the tool never makes, and the count "
     "of input devices, which it never opens (wine.MidiLayer fails them)",
     "midiInGetNumDevs midiInAddBuffer midiInClose midiInGetDevCapsA midiInGetErrorTextA "
     "midiInOpen midiInPrepareHeader midiInReset midiInUnprepareHeader midiOutPrepareHeader "
     "midiOutReset midiOutUnprepareHeader"},
};

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

long FailuresOf(const std::vector<Failure>& failing, int import)
{
    return std::count_if(failing.begin(), failing.end(),
                         [import](const Failure& f) { return f.import == import; });
}

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
enum StepKind { kOpen, kSend, kClose };
struct DeviceStep {
    HMIDIOUT handle;
    StepKind kind;
    DWORD message;
    bool done;      // the device took it
    bool injected;  // failed here, not by the device
};
std::vector<DeviceStep> deviceSteps;
std::set<HDC> painting;  // paints begun and not ended
int badPaintEnds;        // EndPaint given a structure no BeginPaint filled
ToolStateBlock shown;    // the tool's block as its last paint began: the keys it shows

// Outputs as a failed call leaves them, and what a call did, noted.
template <typename R, typename Args>
void NoteStep(int, bool, R, const Args&)
{
}
void NoteStep(int, bool, MMRESULT result,
              const std::tuple<LPHMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD>& args)
{
    if (!result) {
        deviceSteps.push_back({*std::get<0>(args), kOpen, 0, true, false});
    }
}
void NoteStep(int, bool failed, MMRESULT result, const std::tuple<HMIDIOUT, DWORD>& args)
{
    deviceSteps.push_back({std::get<0>(args), kSend, std::get<1>(args), result == 0, failed});
}
void NoteStep(int, bool failed, MMRESULT result, const std::tuple<HMIDIOUT>& args)
{
    deviceSteps.push_back({std::get<0>(args), kClose, 0, result == 0, failed});
}
// A copy onto a tool's window, in a paint or not, shows its keys.
void NoteStep(int, bool, BOOL done,
              const std::tuple<HDC, int, int, int, int, HDC, int, int, DWORD>& a)
{
    HWND window = WindowFromDC(std::get<0>(a));
    shown = done && window ? *LentBlock(window) : shown;
}
std::map<std::pair<int, LPARAM>, int> itemData;  // the clean run's CB_SETITEMDATA calls
void NoteStep(int import, bool, LRESULT, const std::tuple<HWND, int, UINT, WPARAM, LPARAM>& a)
{
    if (armed && failures.empty() && std::get<2>(a) == CB_SETITEMDATA) {
        itemData[{std::get<1>(a), std::get<4>(a)}] = calls[import];
    }
}
// A failed BeginPaint leaves the structure unusable.
void NoteStep(int, bool failed, HDC hdc, const std::tuple<HWND, PAINTSTRUCT*>& args)
{
    if (failed) {
        memset(std::get<1>(args), 0xA5, sizeof(PAINTSTRUCT));
    } else if (hdc) {
        painting.insert(hdc);
        shown = *LentBlock(std::get<0>(args));
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

// The system finds a dialog's item anew for every message sent to it, and
// under Wine each search asks the server; the page's lists take hundreds.
// Passed through, each item is found once in a module's life, and the
// message goes to it as the system would send it.
std::map<std::pair<HWND, int>, HWND> items;
LRESULT WINAPI SendToItem(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto found = items.find({dialog, id});
    HWND item =
        found != items.end() ? found->second : (items[{dialog, id}] = GetDlgItem(dialog, id));
    return item ? SendMessageA(item, msg, wParam, lParam) : 0;
}

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
    block.deviceNumber = 1;
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

std::set<int32_t> cleanKeys;  // the keys the clean run's presses and slides made current

// A mouse message to the tool; in the clean run, the key it leaves current is kept.
void Mouse(HWND tool, UINT msg, WPARAM keys, int x, int y)
{
    SendMessageA(tool, msg, keys, MAKELPARAM(x, y));
    if (failures.empty() && IsWindow(tool)) {
        cleanKeys.insert(LentBlock(tool)->currentKey);
    }
}
void Press(HWND tool)
{
    Mouse(tool, WM_LBUTTONDOWN, MK_LBUTTON, 5, 40);
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
    SendDlgItemMessageA(s.page, IDC_DEVICE, CB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(s.page, IDC_VOICE, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>("40)"));
}

// Each scenario starts on the module loaded afresh, with its type set up and
// a tool made and prepared beforehand as it says; its act, the messages that
// follow it and the tool's destruction run with calls failing.
enum Start { kFreshModule, kTypeSetUp, kTool };
struct Scenario {
    const char* name;
    Start start;
    size_t boxes;  // the boxes its clean run shows
    void (*prepare)(Stage&);
    void (*act)(Stage&);
};
void Nothing(Stage&) {}
const Scenario kScenarios[] = {
    {"type set-up", kFreshModule, 0, Nothing,
     [](Stage& s) {
         PanelTypeInfo* info = nullptr;
         s.morva->init(&info, 0);
     }},
    {"create and size", kTypeSetUp, 0, Nothing, [](Stage& s) { s.tool = NewTool(s); }},
    // The slide ends on the top C.
    {"press, slide and release", kTool, 0, Nothing,
     [](Stage& s) {
         Press(s.tool);
         Mouse(s.tool, WM_MOUSEMOVE, MK_LBUTTON, 20, 40);
         Mouse(s.tool, WM_MOUSEMOVE, MK_LBUTTON, 95, 40);
         Mouse(s.tool, WM_LBUTTONUP, 0, 95, 40);
     }},
    // Every note fails at the device, so each shows a box with the error's text.
    {"press and release on a failing device", kTool, 2,
     [](Stage&) { FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY); },
     [](Stage& s) {
         Press(s.tool);
         Mouse(s.tool, WM_LBUTTONUP, 0, 5, 40);
     }},
    {"capture loss", kTool, 0, [](Stage& s) { Press(s.tool); },
     [](Stage& s) {
         SetCapture(s.host);
         ReleaseCapture();
     }},
    // The menu's loop reads the keys: down to About, then Enter; the About
    // box is answered by the dialog catcher.
    {"context menu and About box", kTool, 1, Nothing,
     [](Stage& s) {
         PostMessageA(s.tool, WM_KEYDOWN, VK_DOWN, 0);
         PostMessageA(s.tool, WM_KEYDOWN, VK_RETURN, 0);
         SendMessageA(s.tool, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
         PumpMessages();
     }},
    {"property page created and applied unchanged", kTool, 0, Nothing,
     [](Stage& s) {
         OpenPage(s);
         ApplyPropertyPage(s.page);
     }},
    {"property page changed and applied", kTool, 0, Nothing,
     [](Stage& s) {
         ChangePage(s);
         ApplyPropertyPage(s.page);
     }},
    {"PNM_REFRESH", kTool, 0, Nothing, [](Stage& s) { SendMessageA(s.tool, PNM_REFRESH, 0, 0); }},
    {"destroy", kTool, 0, [](Stage& s) { Press(s.tool); },
     [](Stage& s) {
         DestroyWindow(s.tool);
         s.tool = nullptr;
     }},
};

BOOL CALLBACK AddWindow(HWND hwnd, LPARAM windows)
{
    reinterpret_cast<std::set<HWND>*>(windows)->insert(hwnd);
    return TRUE;
}

// The host's children (tools, sheet, pages) and every dialog of the thread.
std::set<HWND> LiveWindows(HWND host)
{
    std::set<HWND> windows = {FindShownDialog()};
    EnumChildWindows(host, AddWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
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

// Every note-on a device took was ended by a note-off it took before the
// tool asked to close the device, unless the run's two failures were both
// that note-off; the tool asked to close each device it opened, and closed
// none it had not opened or had closed already.
std::string DeviceFault()
{
    std::map<HMIDIOUT, std::map<DWORD, int>> sounding;  // with the note-offs failed here
    std::map<HMIDIOUT, bool> open;                      // whether a close was asked
    for (const DeviceStep& step : deviceSteps) {
        std::map<DWORD, int>& notes = sounding[step.handle];
        const DWORD key = step.message & 0xFFFF;
        const bool noteOn = (step.message & 0xF0) == 0x90, off = !(step.message >> 16);
        if (step.kind == kOpen) {
            open[step.handle] = false;
        } else if (step.kind == kClose && !open.count(step.handle)) {
            return "a device closed that the tool did not open, or closed twice";
        } else if (step.kind == kClose) {
            for (const auto& note : notes) {
                if (note.second < 2) {
                    return "device closed with a note sounding";
                }
            }
            notes.clear();
            open[step.handle] = true;
            if (step.done) {
                open.erase(step.handle);
            }
        } else if (noteOn && step.done && off) {
            notes.erase(key);
        } else if (noteOn && step.done) {
            notes[key] = 0;
        } else if (noteOn && off && step.injected && notes.count(key)) {
            notes[key]++;
        }
    }
    const bool left = std::any_of(open.begin(), open.end(), [](auto& d) { return !d.second; });
    return left ? "a device left open" : "";
}

// The settings block a tool lends, each part as it was before the act or
// as the act left it in a clean run. The current key may also be one the
// clean run's presses and slides made current.
std::string BlockFault(HWND tool, const ToolStateBlock& before, const ToolStateBlock& clean)
{
    void* lent = nullptr;
    if (SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent)) != TOOL_STATE_SIZE ||
        !lent) {
        return "no block";
    }
    ToolStateBlock block;
    memcpy(&block, lent, sizeof block);
    if (cleanKeys.count(block.currentKey)) {
        block.currentKey = clean.currentKey;
    }
    const std::tuple<const char*, size_t, size_t> parts[] = {
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
    for (const auto& [name, offset, size] : parts) {
        const char* at = bytes(block) + offset;
        if (memcmp(at, bytes(before) + offset, size) != 0 &&
            memcmp(at, bytes(clean) + offset, size) != 0) {
            return std::string("the block's ") + name + " is neither old nor new";
        }
    }
    return "";
}

// Boxes have text and belong to the host's window (but the one that tells
// of no devices at all, which has no owner); a clean run shows its own, and
// a failing one no more than two for each failed call beyond them.
std::string WindowFault(HWND host, size_t boxes, size_t failing)
{
    for (const CaughtDialog& box : CaughtDialogs()) {
        const bool messageBox = box.style != ~0u;
        if (messageBox && box.text.empty()) {
            return "a message box without text";
        } else if ((!messageBox || box.ownerArg) ? box.owner != host : box.caption != "MidiInit") {
            return "a box the host's window does not own";
        }
    }
    const size_t count = CaughtDialogs().size();
    if (failing ? count > boxes + 2 * failing : count != boxes) {
        return failing ? "more boxes than the failures explain" : "other boxes than the scenario's";
    } else if (!IsWindowEnabled(host)) {
        return "the host's window is left disabled";
    }
    return GetCapture() ? "the mouse capture is still held" : "";
}

PanelTypeInfo cleanType;  // as the first set-up of a module loaded afresh describes it

class FaultSweep : public MorvaTest {
protected:
    void SetUp() override
    {
        MorvaTest::SetUp();
        // The programs that run beside this one keep their hosts at the
        // screen's corner. Under Wine 10 a window of theirs passing over this
        // host paints the tool again, and each such paint adds runs (a fifth
        // more, never the same number twice); this host keeps clear of them,
        // one host's width further right.
        RECT placed;
        GetWindowRect(host, &placed);
        SetWindowPos(host, nullptr, placed.right, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
        items.clear();
        real_SendDlgItemMessageA = real_SendDlgItemMessageA ? SendToItem : nullptr;
        realEndPaint = reinterpret_cast<decltype(realEndPaint)>(HookImport(
            morva->dll, "user32.dll", "EndPaint", reinterpret_cast<void*>(&PairedEndPaint)));
        char init[32], create[32], cleanup[32];
        morva->enumerate(init, create, cleanup, GetModuleHandleA(nullptr), 0);
        return missing;
    }

    // One run of a scenario with the given calls failing; with none, the
    // clean run, which keeps the block it leaves. Returns the first fault
    // seen, or "".
    std::string Run(const Scenario& sc, const std::vector<Failure>& failing, ToolStateBlock& clean)
    {
        FreshModule();
        ResetWinmm(0, 3);
        deviceSteps.clear();
        painting.clear();
        badPaintEnds = 0;
        shown = {};
        CaughtDialogs().clear();
        HostMessages().clear();
        const ObjectLedger ledger = Ledger();
        const std::set<HWND> windows = LiveWindows(host);
        const int touches = FreedBlockTouches();
        const size_t blocks = GuardedBlocksInUse();
        PanelTypeInfo* info = nullptr;
        if (sc.start != kFreshModule) {
            morva->init(&info, 0);
        }
        failures = failing;
        ToolStateBlock before = StartBlock();
        if (sc.start == kTool) {
            stage.tool = NewTool(stage);
            sc.prepare(stage);
            before = *LentBlock(stage.tool);
        }
        memset(calls, 0, sizeof calls);
        armed = true;
        sc.act(stage);
        std::string fault = PumpUntilQuiet() ? "" : "messages never stop coming";
        armed = false;
        if (fault.empty() && IsWindow(stage.tool) && failing.empty()) {
            clean = *LentBlock(stage.tool);
        } else if (fault.empty() && IsWindow(stage.tool)) {
            fault = BlockFault(stage.tool, before, clean);
        }
        // Keys laid out anew are shown unless every paint, or a refused one's copy, fails.
        if (fault.empty() && IsWindow(stage.tool) && !FailuresOf(failing, I_BeginPaint) &&
            !(failing.size() > 1 && failing[0].import == I_InvalidateRect) &&
            memcmp(shown.keys, LentBlock(stage.tool)->keys, sizeof shown.keys) != 0) {
            fault = "the tool shows other keys than it has laid out";
        }
        // The tool goes first, with calls still failing: a page it leaves
        // open must edit nothing more.
        armed = true;
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
        armed = false;
        if (fault.empty()) {
            fault = WindowFault(host, sc.boxes, failing.size());
        }
        // A window whose destruction was vetoed stays, to go with the host's.
        long left = 0;
        for (HWND window : LiveWindows(host)) {
            if (!windows.count(window)) {
                left++;
                DestroyWindow(window);
            }
        }
        PumpMessages();
        const std::vector<HostRecord> notices = HostMessages(PNM_PAINTNOTIFY);
        if (!fault.empty()) {
        } else if (left > FailuresOf(failing, I_DestroyWindow)) {
            fault = "windows or boxes left behind";
        } else if (!painting.empty() || badPaintEnds) {
            fault = "a paint not ended, or ended with a structure no BeginPaint filled";
        } else if (std::any_of(notices.begin(), notices.end(),
                               [](const HostRecord& r) { return !r.notice.hdc; })) {
            fault = "the host was told of a paint without a device context";
        } else if (FreedBlockTouches() != touches) {
            fault = "a freed record was touched";
        } else if (GuardedBlocksInUse() != blocks) {
            fault = "a record left allocated";
        } else if (!(fault = DeviceFault()).empty()) {
        } else {
            // A host asks for the type again after a set-up that failed,
            // and it is described as a clean set-up describes it.
            if (!morva->init(&info, 0) || !info || !info->image || !info->monoImage ||
                memcmp(info, &cleanType, offsetof(PanelTypeInfo, image)) != 0) {
                fault = "the type is described otherwise after a failed set-up";
            }
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
    // first and last call in every scenario fail, not every call, and the
    // CB_SETITEMDATA of a voice or a device the page's clean run changed to.
    const bool firstAndLast = sizeof(void*) == 4;
    const std::vector<std::string> imports = ImportsOf(LoadMorva().dll);
    const std::set<std::string> imported(imports.begin(), imports.end());
    std::set<std::string> listed;
    for (const Unfailed& u : kUnfailed) {
        std::istringstream words(u.names);
        for (std::string w; words >> w;) {
            const bool marked = w.size() > 3 && w[2] == ':';
            const bool here = !marked || w.compare(0, 3, firstAndLast ? "32:" : "64:") == 0;
            const std::string name = marked ? w.substr(3) : w;
            EXPECT_EQ(imported.count(name) == 1, here)
                << name << (here ? " is listed but not imported" : " is the other build's only");
            listed.insert(name);
        }
    }
    for (const std::string& name : imports) {
        EXPECT_TRUE(listed.count(name) ||
                    std::find(std::begin(kImportNames), std::end(kImportNames), name) !=
                        std::end(kImportNames))
            << name << " is neither failed nor listed";
    }
    EXPECT_EQ(FreshModule(), "") << ": failed here but not imported";
    PanelTypeInfo* info = nullptr;
    morva->init(&info, 0);
    cleanType = *info;
    int runs = 0;
    int failed = 0;
    int reached[kImports] = {};
    for (const Scenario& sc : kScenarios) {
        ToolStateBlock clean = StartBlock();
        cleanKeys = {StartBlock().currentKey};
        itemData.clear();
        EXPECT_EQ(Run(sc, {}, clean), "") << sc.name << ", nothing failing";
        int counted[kImports];
        memcpy(counted, calls, sizeof counted);
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
            std::transform(reached, reached + kImports, calls, reached, std::plus<int>());
            if (!fault.empty()) {
                failed++;
                ADD_FAILURE() << sc.name << ", " << kImportNames[f.import] << " call " << f.call
                              << " of " << of << " failing"
                              << (failing.size() > 1 ? " after the failing " : "")
                              << (failing.size() > 1 ? kImportNames[failing[0].import] : "") << ": "
                              << fault;
            }
        };
        auto chosen = [&](int import, int n, int first, int last) {
            auto picked = [&](int list, int32_t now, int32_t old) {
                return import == I_SendDlgItemMessageA && now != old && itemData[{list, now}] == n;
            };
            return !firstAndLast || n == first || n == last ||
                   picked(IDC_VOICE, clean.voice, StartBlock().voice) ||
                   picked(IDC_DEVICE, clean.deviceNumber, StartBlock().deviceNumber);
        };
        for (int import = 0; import < kImports; import++) {
            for (int n = 1; n <= counted[import]; n++) {
                if (!chosen(import, n, 1, counted[import])) {
                    continue;
                }
                sweep({{import, n}}, counted[import]);
                // The calls only this failure brought about, each failed too,
                // the failing import's own later ones among them.
                int seen[kImports];
                memcpy(seen, calls, sizeof seen);
                for (int extra = 0; extra < kImports; extra++) {
                    for (int m = counted[extra] + 1; m <= seen[extra]; m++) {
                        if (chosen(extra, m, counted[extra] + 1, seen[extra])) {
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
        static_cast<int>(imports.size()), static_cast<int>(kImports),
        static_cast<int>(imports.size()) - static_cast<int>(kImports),
        static_cast<int>(std::size(kScenarios)), runs, failed,
        firstAndLast ? " (each import's first and last call by scenario; a new entry's item data)"
                     : "");
}

}  // namespace
