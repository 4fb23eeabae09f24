// Prints what one press-slide-release cycle costs: the winmm calls and the
// window device contexts each message takes, and the time of each message
// against the floor measured in the same run, a bare window that gets the
// same mouse messages and makes the same four short-message calls, nothing
// else.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/wine/harness.h"

namespace {

const int kRounds = 5;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HMIDIOUT floorDevice;  // opened once for the bare window

// The least a tool can do for the cycle: a note on the press, the next note
// on the slide, its end on the release.
LRESULT CALLBACK FloorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
        midiOutShortMsg(floorDevice, 0x6E3090);
        return 0;
    case WM_MOUSEMOVE:
        if (wParam == MK_LBUTTON) {
            midiOutShortMsg(floorDevice, 0x003090);
            midiOutShortMsg(floorDevice, 0x6E3290);
        }
        return 0;
    case WM_LBUTTONUP:
        midiOutShortMsg(floorDevice, 0x003290);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

HWND MakeWindow(const char* cls, WNDPROC proc, HWND parent, DWORD style, int x, int y, int w, int h)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowExA(0, cls, cls, style, x, y, w, h, parent, nullptr, wc.hInstance, nullptr);
}

// The module's window device contexts, counted per message of the cycle.
HDC(WINAPI* realGetDC)(HWND);
unsigned* dcCounter;
HDC WINAPI CountedGetDC(HWND hwnd)
{
    ++*dcCounter;
    return realGetDC(hwnd);
}

// Per message of the cycle: press, slide and release, then their sum.
struct Figures {
    double at[4];
};

// Microseconds each press, slide and release sent to `window` takes, or,
// while the contexts are counted, the device contexts each takes.
Figures TimeCycles(HWND window, int cycles)
{
    static const struct {
        UINT msg;
        WPARAM keys;
        int x;
    } kCycle[3] = {
        {WM_LBUTTONDOWN, MK_LBUTTON, 5}, {WM_MOUSEMOVE, MK_LBUTTON, 20}, {WM_LBUTTONUP, 0, 20}};
    Figures spent = {};
    unsigned dcs[3] = {};
    for (int i = 0; i < cycles; i++) {
        for (int m = 0; m < 3; m++) {
            dcCounter = &dcs[m];
            const double start = SecondsNow();
            SendMessageA(window, kCycle[m].msg, kCycle[m].keys, MAKELPARAM(kCycle[m].x, 40));
            spent.at[m] += SecondsNow() - start;
        }
    }
    Figures result = {};
    for (int m = 0; m < 3; m++) {
        result.at[m] =
            realGetDC ? static_cast<double>(dcs[m]) / cycles : spent.at[m] * 1e6 / cycles;
        result.at[3] += result.at[m];
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const int cycles = argc > 1 ? atoi(argv[1]) : 20000;
    const MorvaModule& morva = LoadMorva();
    if (!morva.dll) {
        printf("morva.dll did not load\n");
        return 1;
    }
    ResetWinmm(0, 1);
    HWND host = MakeWindow("BenchHost", HostProc, nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                           400, 200);
    char a[32], b[32], c[32];
    morva.enumerate(a, b, c, GetModuleHandleA(nullptr), 0);
    PanelTypeInfo* info = nullptr;
    morva.init(&info, 0);
    ToolStateBlock block = {};
    SetDefaultState(&block);
    block.octaves = 1;
    block.deviceNumber = 0;
    RECT rc = {0, 0, 100, 60};
    HWND tool = morva.create(host, &rc, &block, 0, 0);
    SendMessageA(tool, WM_MOVE, 0, 0);
    midiOutOpen(&floorDevice, 0, 0, 0, CALLBACK_NULL);
    HWND floor = MakeWindow("BenchFloor", FloorProc, host, WS_CHILD | WS_VISIBLE, 0, 70, 100, 60);

    // What one cycle sends and the contexts it takes, counted on a round of
    // its own.
    Winmm()->logCount = 0;
    realGetDC = reinterpret_cast<HDC(WINAPI*)(HWND)>(
        HookImport(morva.dll, "user32.dll", "GetDC", reinterpret_cast<void*>(&CountedGetDC)));
    const Figures dcs = TimeCycles(tool, cycles);
    HookImport(morva.dll, "user32.dll", "GetDC", reinterpret_cast<void*>(realGetDC));
    realGetDC = nullptr;
    const UINT calls = Winmm()->logCount;
    const UINT sends = static_cast<UINT>(ShortMessages().size());

    // The best of several rounds, message by message: other work on the
    // machine only ever adds time.
    Figures played = {{1e30, 1e30, 1e30, 1e30}}, bare = played;
    for (int round = 0; round < kRounds; round++) {
        const Figures t = TimeCycles(tool, cycles), b = TimeCycles(floor, cycles);
        for (int m = 0; m < 4; m++) {
            played.at[m] = std::min(played.at[m], t.at[m]);
            bare.at[m] = std::min(bare.at[m], b.at[m]);
        }
    }
    // The log keeps only its first entries; they show what the calls are.
    const UINT logged =
        calls < static_cast<UINT>(WINMM_LOG_SIZE) ? calls : static_cast<UINT>(WINMM_LOG_SIZE);
    printf(
        "press-slide-release cycle: %.2f winmm calls (floor 4: two note-ons, two note-offs); "
        "%u of the %u logged calls are short messages\n",
        static_cast<double>(calls) / cycles, sends, logged);
    printf("window device contexts: %.2f per press, %.2f per slide, %.2f per release\n", dcs.at[0],
           dcs.at[1], dcs.at[2]);
    printf("best of %d rounds of %d cycles, us (floor: bare window, same messages, same calls):\n",
           kRounds, cycles);
    const char* names[4] = {"press", "slide", "release", "sum"};
    for (int m = 0; m < 4; m++) {
        printf("  %-7s %8.2f   floor %6.2f   ratio %6.1f\n", names[m], played.at[m], bare.at[m],
               played.at[m] / bare.at[m]);
    }
    DestroyWindow(floor);
    midiOutClose(floorDevice);
    DestroyWindow(tool);
    DestroyWindow(host);
    return 0;
}
