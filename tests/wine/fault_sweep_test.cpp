// Every failable system call of the module failed in turn; each other import of the DLL is
// listed with the reason its failure cannot matter. For each scenario a host or a user drives, on
// the module loaded afresh, its calls to each failed import through the tool's destruction are
// counted; then it runs again with each call failing as the system fails it (of the voice names,
// which all take one path, the last only), and again for each call only such a failure brought
// about. After each run the tool shows the keys it laid out and has left no paint, capture, box,
// window, open device, sounding note or freed-block touch behind; its settings block reads back
// whole, its boxes are the host's, its texts its own or none, and the module, unloaded, has given
// back every object.
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

#include "resources/resource.h"
#include "tests/wine/harness.h"

namespace {

// X(dll, result, name, failure value, parameters, arguments); the module reads no last error.
#define FALLIBLE_IMPORTS(X)                                                                      \
    X("kernel32.dll", LPVOID, HeapAlloc, nullptr, (HANDLE h, DWORD f, SIZE_T n), (h, f, n))      \
    X("gdi32.dll", HBITMAP, CreateCompatibleBitmap, nullptr, (HDC h, int w, int y), (h, w, y))   \
    X("gdi32.dll", HDC, CreateCompatibleDC, nullptr, (HDC h), (h))                               \
    X("gdi32.dll", HPEN, CreatePen, nullptr, (int s, int w, COLORREF c), (s, w, c))              \
    X("gdi32.dll", HBRUSH, CreateSolidBrush, nullptr, (COLORREF c), (c))                         \
    X("gdi32.dll", HGDIOBJ, SelectObject, nullptr, (HDC h, HGDIOBJ o), (h, o))                   \
    X("gdi32.dll", BOOL, BitBlt, FALSE,                                                          \
      (HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, DWORD r),                       \
      (d, x, y, w, h, s, sx, sy, r))                                                             \
    X("user32.dll", HDC, GetDC, nullptr, (HWND w), (w))                                          \
    X("user32.dll", HDC, BeginPaint, nullptr, (HWND w, PAINTSTRUCT * p), (w, p))                 \
    X("user32.dll", int, LoadStringA, 0, (HINSTANCE i, UINT id, LPSTR b, int n), (i, id, b, n))  \
    X("user32.dll", HBITMAP, LoadBitmapA, nullptr, (HINSTANCE i, LPCSTR n), (i, n))              \
    X("user32.dll", ATOM, RegisterClassA, 0, (const WNDCLASSA* c), (c))                          \
    X("user32.dll", HWND, CreateWindowExA, nullptr,                                              \
      (DWORD e, LPCSTR c, LPCSTR t, DWORD s, int x, int y, int w, int h, HWND p, HMENU m,        \
       HINSTANCE i, LPVOID l),                                                                   \
      (e, c, t, s, x, y, w, h, p, m, i, l))                                                      \
    X("user32.dll", BOOL, DestroyWindow, FALSE, (HWND w), (w))                                   \
    X("user32.dll", HWND, CreateDialogParamA, nullptr,                                           \
      (HINSTANCE i, LPCSTR t, HWND o, DLGPROC d, LPARAM l), (i, t, o, d, l))                     \
    X("user32.dll", INT_PTR, DialogBoxParamA, -1,                                                \
      (HINSTANCE i, LPCSTR t, HWND o, DLGPROC d, LPARAM l), (i, t, o, d, l))                     \
    X("user32.dll", int, MessageBoxA, 0, (HWND o, LPCSTR t, LPCSTR c, UINT s), (o, t, c, s))     \
    X("user32.dll", HMENU, CreatePopupMenu, nullptr, (), ())                                     \
    X("user32.dll", BOOL, AppendMenuA, FALSE, (HMENU m, UINT f, UINT_PTR id, LPCSTR t),          \
      (m, f, id, t))                                                                             \
    X("user32.dll", BOOL, TrackPopupMenu, FALSE,                                                 \
      (HMENU m, UINT f, int x, int y, int r, HWND w, const RECT* rc), (m, f, x, y, r, w, rc))    \
    X("user32.dll", HWND, SetCapture, nullptr, (HWND w), (w))                                    \
    X("user32.dll", HWND, GetCapture, nullptr, (), ())                                           \
    X("user32.dll", LONG_PTR, SetWindowLongPtrA, 0, (HWND w, int i, LONG_PTR v), (w, i, v))      \
    X("user32.dll", BOOL, GetClientRect, FALSE, (HWND w, LPRECT r), (w, r))                      \
    X("user32.dll", BOOL, InvalidateRect, FALSE, (HWND w, const RECT* r, BOOL e), (w, r, e))     \
    X("user32.dll", BOOL, SetDlgItemInt, FALSE, (HWND d, int id, UINT v, BOOL s), (d, id, v, s)) \
    X("user32.dll", LRESULT, SendDlgItemMessageA, FailedItemAnswer(m),                           \
      (HWND d, int id, UINT m, WPARAM w, LPARAM l), (d, id, m, w, l))                            \
    X("winmm.dll", UINT, midiOutGetNumDevs, 0, (), ())                                           \
    X("winmm.dll", MMRESULT, midiOutGetDevCapsA, MMSYSERR_NODRIVER,                              \
      (UINT_PTR d, LPMIDIOUTCAPSA c, UINT n), (d, c, n))                                         \
    X("winmm.dll", MMRESULT, midiOutOpen, MMSYSERR_ALLOCATED,                                    \
      (LPHMIDIOUT h, UINT d, DWORD_PTR c, DWORD_PTR i, DWORD f), (h, d, c, i, f))                \
    X("winmm.dll", MMRESULT, midiOutClose, MIDIERR_STILLPLAYING, (HMIDIOUT h), (h))              \
    X("winmm.dll", MMRESULT, midiOutShortMsg, MIDIERR_NOTREADY, (HMIDIOUT h, DWORD m), (h, m))   \
    X("winmm.dll", MMRESULT, midiOutGetErrorTextA, MMSYSERR_BADERRNUM,                           \
      (MMRESULT r, LPSTR t, UINT n), (r, t, n))

// What the system answers a dialog item message it could not carry out.
LRESULT FailedItemAnswer(UINT msg)
{
    return msg == CB_ADDSTRING ? CB_ERRSPACE : msg >= CB_GETEDITSEL && msg < CB_MSGMAX ? CB_ERR : 0;
}

enum Import {
#define AS_ENUM(dll, result, name, ...) I_##name,
    FALLIBLE_IMPORTS(AS_ENUM)
#undef AS_ENUM
        kImports
};

// The name an import has in the DLL: on the 32-bit system some are macros
// for others (SetWindowLongPtrA is SetWindowLongA).
#define SPELLED(name) #name
#define IMPORT_NAME(name) SPELLED(name)
const char* const kImportNames[] = {
#define AS_NAME(dll, result, name, ...) IMPORT_NAME(name),
    FALLIBLE_IMPORTS(AS_NAME)
#undef AS_NAME
};

// The DLL's other imports, each with the reason its failure cannot matter, names separated by
// spaces. A name only one build imports carries that build's width ("32:atoi"), and the other
// build must not import it.
const std::pair<const char*, const char*> kUnfailed[] = {
    {"the C runtime's own start-up, exit and output; the module allocates from the process heap",
     "vfprintf DeleteCriticalSection EnterCriticalSection InitializeCriticalSection "
     "LeaveCriticalSection TlsGetValue Sleep VirtualProtect VirtualQuery IsDBCSLeadByteEx "
     "MultiByteToWideChar WideCharToMultiByte GetLastError 64:___lc_codepage_func "
     "64:___mb_cur_max_func 64:__iob_func _amsg_exit _errno _initterm _lock _unlock abort calloc "
     "fputc free fwrite localeconv malloc realloc strerror wcslen 32:_iob 32:__mb_cur_max 32:atoi "
     "32:setlocale 32:strchr 32:GetModuleHandleA 32:GetModuleHandleW 32:GetProcAddress "
     "32:LoadLibraryA 32:FreeLibrary"},
    {"cannot fail: memory and string work, the process heap, a debug line, a stock object",
     "memcpy memmove memset strlen strncmp GetProcessHeap OutputDebugStringA GetStockObject"},
    {"heard or seen only, and no answer is read: a beep, a volume a device without one refuses, "
     "the class's arrow cursor, an About box line over its template's same text; a refusal "
     "leaves the sound, the pointer or the line as it was (the text given is read)",
     "Beep midiOutSetVolume LoadCursorA SetDlgItemTextA"},
    {"a release the system refuses only for a handle that is not the caller's; the ledger "
     "counts any refused one",
     "HeapFree DeleteObject DeleteDC ReleaseDC DestroyMenu EndPaint ReleaseCapture"},
    {"draws pixels, and no answer is read: the keys into the image the next paint copies whole, "
     "a pressed key's mark onto the window, the edge, whose BF_ADJUST narrows the rectangle the "
     "keys are laid out over (and the host is told of) by its width whether it draws or not: the "
     "runs that fail the layout's memory DC keep the key table",
     "RoundRect MoveToEx LineTo DrawEdge"},
    {"fails only for a window that is gone, which every caller checks first or after",
     "IsWindow GetParent 64:GetWindowLongPtrA 32:GetWindowLongA GetUpdateRect ClientToScreen "
     "SetWindowPos EndDialog ValidateRect"},
    {"reads a field of the page's own template, which fails only for text that is no number: "
     "the volume then stays, the octave count is zero unless it was never shown in the field",
     "GetDlgItemInt"},
    {"hands a message on: the receiver's answer is the result, and none is a failure",
     "DefWindowProcA SendMessageA"},
    {"the MIDI layer's input and long-message calls, which the tool never makes, and the count "
     "of input devices, which it never opens (the wine.Midi tests fail them)",
     "midiInGetNumDevs midiInAddBuffer midiInClose midiInGetDevCapsA midiInGetErrorTextA "
     "midiInOpen midiInPrepareHeader midiInReset midiInUnprepareHeader midiOutPrepareHeader "
     "midiOutReset midiOutUnprepareHeader"},
};

// The names the DLL imports, from its import table.
std::vector<std::string> ImportsOf(HMODULE dll)
{
    auto at = [dll](size_t offset) { return reinterpret_cast<const BYTE*>(dll) + offset; };
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        at(reinterpret_cast<const IMAGE_DOS_HEADER*>(dll)->e_lfanew));
    auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        at(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress));
    std::vector<std::string> names;
    for (; desc->Name; ++desc) {
        for (auto thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(at(desc->OriginalFirstThunk));
             thunk->u1.AddressOfData; ++thunk) {
            if (!IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal)) {
                names.emplace_back(reinterpret_cast<const char*>(
                    at(thunk->u1.AddressOfData + offsetof(IMAGE_IMPORT_BY_NAME, Name))));
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
    const int call = armed ? ++calls[import] : 0;
    return std::any_of(failures.begin(), failures.end(), [&](const Failure& f) {
        return call && f.import == import &&
               (call == f.call || (import == I_BeginPaint && call > f.call));
    });
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
// What the menu's items, the voice entries (by program) and the About box's lines show.
std::map<std::string, std::string> texts, cleanTexts;
void NoteStep(int, bool, BOOL, const std::tuple<HMENU, UINT, UINT_PTR, LPCSTR>& a)
{
    texts["menu item " + std::to_string(std::get<2>(a))] = std::get<3>(a) ? std::get<3>(a) : "";
}
std::string added;                               // the list entry added last
std::map<std::pair<int, LPARAM>, int> itemData;  // the clean run's CB_SETITEMDATA calls
void NoteStep(int import, bool, LRESULT done, const std::tuple<HWND, int, UINT, WPARAM, LPARAM>& a)
{
    const auto& [page, list, msg, entry, value] = a;
    if (msg == CB_ADDSTRING) {
        added = reinterpret_cast<LPCSTR>(value);
    } else if (msg == CB_SETITEMDATA && list == IDC_VOICE && done != CB_ERR) {
        texts["voice " + std::to_string(value)] = added;
    }
    if (armed && failures.empty() && msg == CB_SETITEMDATA) {
        itemData[{list, value}] = calls[import];
    }
}
std::set<int> alikeLoads;  // the clean run's loads of voice names but the last: the last's path
void NoteStep(int import, bool, int, const std::tuple<HINSTANCE, UINT, LPSTR, int>& a)
{
    if (armed && failures.empty() && std::get<1>(a) - IDS_VOICE_FIRST < VOICE_LIST_COUNT - 1u) {
        alikeLoads.insert(calls[import]);
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

#define AS_WRAPPER(dll, result, name, failure, params, args)                          \
    decltype(&name) real_##name;                                                      \
    result WINAPI Failing_##name params                                               \
    {                                                                                 \
        const bool failed = FailsNow(I_##name);                                       \
        const result done = failed ? static_cast<result>(failure) : real_##name args; \
        NoteStep(I_##name, failed, done, std::make_tuple args);                       \
        return done;                                                                  \
    }
FALLIBLE_IMPORTS(AS_WRAPPER)
#undef AS_WRAPPER

// The system finds a dialog's item anew for every message sent to it, and under Wine each search
// asks the server; the page's lists take hundreds. Passed through, each item is found once in a
// module's life, and the message goes to it as the system would send it.
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
decltype(&SetDlgItemTextA) realSetDlgItemText;
BOOL WINAPI NotedSetDlgItemText(HWND dialog, int id, LPCSTR text)
{
    texts["About line " + std::to_string(id)] = text;
    return realSetDlgItemText(dialog, id, text);
}

// What a scenario works on; the host and the sheet outlive every run.
struct Stage {
    const MorvaModule* morva;
    HWND host;
    HWND sheet;
    HWND tool;
    HWND page;
} stage;

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

HWND NewTool()
{
    ToolStateBlock block = StartBlock();
    RECT rc = {0, 0, 96, 20};
    HWND tool = stage.morva->create(stage.host, &rc, &block, 0, 0);
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
void OpenPage()
{
    stage.page = OpenPropertyPage(stage.tool, stage.sheet, 5, 10);
}
// The voice is picked by its name, as a user picks it.
void ChangePage()
{
    OpenPage();
    SetDlgItemInt(stage.page, IDC_OCTAVES, 2, FALSE);
    SetDlgItemInt(stage.page, IDC_VOLUME, 60, FALSE);
    SendDlgItemMessageA(stage.page, IDC_DEVICE, CB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(stage.page, IDC_VOICE, CB_SELECTSTRING, static_cast<WPARAM>(-1),
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
    void (*prepare)();
    void (*act)();
};
void Nothing() {}
const Scenario kScenarios[] = {
    {"type set-up", kFreshModule, 0, Nothing,
     [] {
         PanelTypeInfo* info = nullptr;
         stage.morva->init(&info, 0);
     }},
    {"create and size", kTypeSetUp, 0, Nothing, [] { stage.tool = NewTool(); }},
    // The slide ends on the top C.
    {"press, slide and release", kTool, 0, Nothing,
     [] {
         Press(stage.tool);
         Mouse(stage.tool, WM_MOUSEMOVE, MK_LBUTTON, 20, 40);
         Mouse(stage.tool, WM_MOUSEMOVE, MK_LBUTTON, 95, 40);
         Mouse(stage.tool, WM_LBUTTONUP, 0, 95, 40);
     }},
    // Every note fails at the device, so each shows a box with the error's text.
    {"press and release on a failing device", kTool, 2,
     [] { FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY); },
     [] {
         Press(stage.tool);
         Mouse(stage.tool, WM_LBUTTONUP, 0, 5, 40);
     }},
    {"capture loss", kTool, 0, [] { Press(stage.tool); },
     [] {
         SetCapture(stage.host);
         ReleaseCapture();
     }},
    // The menu's loop reads the keys: down to About, then Enter; the About
    // box is answered by the dialog catcher.
    {"context menu and About box", kTool, 1, Nothing,
     [] {
         PostMessageA(stage.tool, WM_KEYDOWN, VK_DOWN, 0);
         PostMessageA(stage.tool, WM_KEYDOWN, VK_RETURN, 0);
         SendMessageA(stage.tool, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
         PumpMessages();
     }},
    {"property page created and applied unchanged", kTool, 0, Nothing,
     [] {
         OpenPage();
         ApplyPropertyPage(stage.page);
     }},
    {"property page changed and applied", kTool, 0, Nothing,
     [] {
         ChangePage();
         ApplyPropertyPage(stage.page);
     }},
    {"PNM_REFRESH", kTool, 0, Nothing, [] { SendMessageA(stage.tool, PNM_REFRESH, 0, 0); }},
    {"destroy", kTool, 0, [] { Press(stage.tool); },
     [] {
         DestroyWindow(stage.tool);
         stage.tool = nullptr;
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
    int n = 0;
    for (MSG msg; n < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); n++) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return n < 10000;
}

// Every note-on a device took was ended by a note-off it took before the tool asked to close the
// device, unless the run's two failures were both that note-off; the tool asked once to close each
// device it opened, refused or not, and closed none it had not opened.
std::string DeviceFault()
{
    std::map<HMIDIOUT, std::map<DWORD, int>> sounding;  // with the note-offs failed here
    std::map<HMIDIOUT, bool> asked;                     // whether a close was asked
    for (const DeviceStep& step : deviceSteps) {
        std::map<DWORD, int>& notes = sounding[step.handle];
        const DWORD key = step.message & 0xFFFF;
        const bool noteOn = (step.message & 0xF0) == 0x90, off = !(step.message >> 16);
        if (step.kind == kOpen) {
            asked[step.handle] = false;
        } else if (step.kind == kClose && (!asked.count(step.handle) || asked[step.handle])) {
            return "a device closed that the tool did not open, or closed twice";
        } else if (step.kind == kClose) {
            if (std::any_of(notes.begin(), notes.end(), [](auto& n) { return n.second < 2; })) {
                return "device closed with a note sounding";
            }
            notes.clear();
            asked[step.handle] = true;
        } else if (noteOn && step.done && off) {
            notes.erase(key);
        } else if (noteOn && step.done) {
            notes[key] = 0;
        } else if (noteOn && off && step.injected && notes.count(key)) {
            notes[key]++;
        }
    }
    const bool left = std::any_of(asked.begin(), asked.end(), [](auto& d) { return !d.second; });
    return left ? "a device left open" : "";
}

// The settings block a tool lends, each part as it was before the act or as the act left it in a
// clean run. The current key may also be one the clean run's presses and slides made current.
std::string BlockFault(HWND tool, const ToolStateBlock& before, const ToolStateBlock& clean)
{
    const ToolStateBlock* lent = LentBlock(tool);
    if (!lent) {
        return "no block";
    }
    ToolStateBlock block = *lent;
    if (cleanKeys.count(block.currentKey)) {
        block.currentKey = clean.currentKey;
    }
#define PART(field) std::make_tuple(#field, offsetof(ToolStateBlock, field), sizeof block.field)
    const std::tuple<const char*, size_t, size_t> parts[] = {
        PART(reserved0),  PART(octaves),      PART(lastKey), PART(currentKey), PART(voice),
        PART(reserved20), PART(deviceNumber), PART(volume),  PART(reserved34), PART(keys)};
#undef PART
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
// a failing one no more than two for each failed call beyond them. A text
// that could not be loaded shows as nothing, never as bytes left from before.
std::string WindowFault(HWND host, size_t boxes, size_t failing)
{
    for (const CaughtDialog& box : CaughtDialogs()) {
        const bool messageBox = box.style != ~0u;
        if (!messageBox) {
            texts["About caption"] = box.caption;
        }
        if (messageBox && box.text.empty()) {
            return "a message box without text";
        } else if ((!messageBox || box.ownerArg) ? box.owner != host : box.caption != "MidiInit") {
            return "a box the host's window does not own";
        }
    }
    for (const auto& [place, text] : texts) {
        if (failing && !text.empty() && text != cleanTexts[place]) {
            return "the " + place + " shows neither its text nor none: " + text;
        }
    }
    cleanTexts = failing ? cleanTexts : texts;
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
        // The programs that run beside this one keep their hosts at the screen's corner. Under Wine
        // 10 a window of theirs passing over this host paints the tool again, and each such paint
        // adds runs (a fifth more, never the same number twice); this host keeps clear of them, one
        // host's width further right.
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
#define AS_HOOK(from, result, name, ...)                                                 \
    real_##name = reinterpret_cast<decltype(real_##name)>(HookImport(                    \
        morva->dll, from, IMPORT_NAME(name), reinterpret_cast<void*>(&Failing_##name))); \
    missing += real_##name ? "" : " " IMPORT_NAME(name);
        FALLIBLE_IMPORTS(AS_HOOK)
#undef AS_HOOK
        items.clear();
        real_SendDlgItemMessageA = real_SendDlgItemMessageA ? SendToItem : nullptr;
        Watch(morva->dll, "user32.dll", "EndPaint", &realEndPaint, PairedEndPaint);
        Watch(morva->dll, "user32.dll", "SetDlgItemTextA", &realSetDlgItemText,
              NotedSetDlgItemText);
        char init[32], create[32], cleanup[32];
        morva->enumerate(init, create, cleanup, GetModuleHandleA(nullptr), 0);
        return missing;
    }

    // One run of a scenario with the given calls failing; with none, the clean run, which keeps the
    // block it leaves. Returns the first fault seen, or "".
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
        texts.clear();
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
            stage.tool = NewTool();
            sc.prepare();
            before = *LentBlock(stage.tool);
        }
        memset(calls, 0, sizeof calls);
        armed = true;
        sc.act();
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
        DestroyWindow(stage.tool);
        stage.tool = nullptr;
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
        HWND fresh = nullptr;
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
        } else if (!morva->init(&info, 0) || !info || !info->image || !info->monoImage ||
                   memcmp(info, &cleanType, offsetof(PanelTypeInfo, image)) != 0) {
            // A host asks for the type again after a set-up that failed.
            fault = "the type is described otherwise after a failed set-up";
        } else if (!(fresh = NewTool())) {
            fault = "no new tool can be made";
        }
        DestroyWindow(fresh);
        // Unloaded, the module has given back every object it made or loaded.
        UnloadMorva(GetModuleHandleA(nullptr));
        const ObjectLedger after = Ledger();
        if (fault.empty() && memcmp(&after, &ledger, sizeof ledger) != 0) {
            fault = "drawing objects or menus left behind, or deleted twice";
        }
        return fault;
    }
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
    for (const auto& [reason, names] : kUnfailed) {
        std::istringstream words(names);
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
    int runs = 0, failed = 0;
    int reached[kImports] = {};
    for (const Scenario& sc : kScenarios) {
        ToolStateBlock clean = StartBlock();
        cleanKeys = {StartBlock().currentKey};
        itemData.clear();
        alikeLoads.clear();
        EXPECT_EQ(Run(sc, {}, clean), "") << sc.name << ", nothing failing";
        const std::vector<int> counted(calls, calls + kImports);
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
            return !(import == I_LoadStringA && alikeLoads.count(n)) &&
                   (!firstAndLast || n == first || n == last ||
                    picked(IDC_VOICE, clean.voice, StartBlock().voice) ||
                    picked(IDC_DEVICE, clean.deviceNumber, StartBlock().deviceNumber));
        };
        for (int import = 0; import < kImports; import++) {
            for (int n = 1; n <= counted[import]; n++) {
                if (!chosen(import, n, 1, counted[import])) {
                    continue;
                }
                sweep({{import, n}}, counted[import]);
                // The calls only this failure brought about, each failed too,
                // the failing import's own later ones among them.
                const std::vector<int> seen(calls, calls + kImports);
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
        "fault sweep: %zu imports of the DLL, %d failed, %zu listed with a reason; %zu scenarios, "
        "%d injected runs, %d failed%s\n",
        imports.size(), kImports, imports.size() - kImports, std::size(kScenarios), runs, failed,
        firstAndLast ? " (each import's first and last call by scenario; a new entry's item data)"
                     : "");
}

}  // namespace
