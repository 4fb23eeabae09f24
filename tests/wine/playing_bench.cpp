// Prints what one press-slide-release cycle costs: the winmm calls it makes
// and its time next to the time of the bare short messages it sends.
#include <cstdio>

#include "tests/wine/harness.h"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main()
{
    const MorvaModule& morva = LoadMorva();
    if (!morva.dll) {
        printf("morva.dll did not load\n");
        return 1;
    }
    ResetWinmm(0, 1);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BenchHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowExA(0, "BenchHost", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                400, 200, nullptr, nullptr, wc.hInstance, nullptr);
    char a[32], b[32], c[32];
    morva.enumerate(a, b, c, wc.hInstance, 0);
    PanelTypeInfo* info = nullptr;
    morva.init(&info, 0);
    ToolStateBlock block = {};
    SetDefaultState(&block);
    block.octaves = 1;
    block.deviceNumber = 0;
    RECT rc = {0, 0, 100, 60};
    HWND tool = morva.create(host, &rc, &block, 0, 0);
    SendMessageA(tool, WM_MOVE, 0, 0);

    const int cycles = 20000;
    LARGE_INTEGER f, t0, t1, t2;
    QueryPerformanceFrequency(&f);
    Winmm()->logCount = 0;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < cycles; i++) {
        SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 40));
        SendMessageA(tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 40));
        SendMessageA(tool, WM_LBUTTONUP, 0, MAKELPARAM(20, 40));
    }
    QueryPerformanceCounter(&t1);
    const UINT calls = Winmm()->logCount;
    const UINT sends = static_cast<UINT>(ShortMessages().size());

    HMIDIOUT out = nullptr;
    midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL);
    LARGE_INTEGER b0;
    QueryPerformanceCounter(&b0);
    for (int i = 0; i < cycles; i++) {
        midiOutShortMsg(out, 0x6E3090);
        midiOutShortMsg(out, 0x003090);
        midiOutShortMsg(out, 0x6E3290);
        midiOutShortMsg(out, 0x003290);
    }
    QueryPerformanceCounter(&t2);
    const double cycle = Seconds(t0, t1, f) / cycles;
    const double bare = Seconds(b0, t2, f) / cycles;
    // The log keeps only its first entries; they show what the calls are.
    const UINT logged =
        calls < static_cast<UINT>(WINMM_LOG_SIZE) ? calls : static_cast<UINT>(WINMM_LOG_SIZE);
    printf(
        "press-slide-release cycle: %.2f winmm calls (floor 4: two note-ons, two note-offs); "
        "%u of the %u logged calls are short messages\n",
        static_cast<double>(calls) / cycles, sends, logged);
    printf("time per cycle %.2f us, bare midiOutShortMsg x4 %.3f us, ratio %.0f\n", cycle * 1e6,
           bare * 1e6, cycle / bare);
    DestroyWindow(tool);
    return 0;
}
