// Prints what one press-slide-release cycle costs: the winmm calls it makes,
// and its time against the floor measured in the same run, a bare window
// that gets the same mouse messages and makes the same four short-message
// calls, nothing else.
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

// Microseconds per press, slide and release sent to `window`.
double TimeCycles(HWND window, int cycles)
{
    double start = SecondsNow();
    for (int i = 0; i < cycles; i++) {
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 40));
        SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 40));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(20, 40));
    }
    return (SecondsNow() - start) * 1e6 / cycles;
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

    // What one cycle sends, counted on a round of its own.
    Winmm()->logCount = 0;
    TimeCycles(tool, cycles);
    const UINT calls = Winmm()->logCount;
    const UINT sends = static_cast<UINT>(ShortMessages().size());

    // The best of several rounds: other work on the machine only ever adds
    // time.
    double cycle = 1e30, bare = 1e30;
    for (int round = 0; round < kRounds; round++) {
        cycle = std::min(cycle, TimeCycles(tool, cycles));
        bare = std::min(bare, TimeCycles(floor, cycles));
    }
    // The log keeps only its first entries; they show what the calls are.
    const UINT logged =
        calls < static_cast<UINT>(WINMM_LOG_SIZE) ? calls : static_cast<UINT>(WINMM_LOG_SIZE);
    printf(
        "press-slide-release cycle: %.2f winmm calls (floor 4: two note-ons, two note-offs); "
        "%u of the %u logged calls are short messages\n",
        static_cast<double>(calls) / cycles, sends, logged);
    printf(
        "best of %d rounds of %d cycles: %.2f us per cycle, floor (bare window, same messages, "
        "same four calls) %.2f us, ratio %.2f\n",
        kRounds, cycles, cycle, bare, cycle / bare);
    DestroyWindow(floor);
    midiOutClose(floorDevice);
    DestroyWindow(tool);
    DestroyWindow(host);
    return 0;
}
