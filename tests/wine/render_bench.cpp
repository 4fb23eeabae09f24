// Cost of a resize (new back buffer, layout and rendering) and of a paint,
// against the floor of a paint measured in the same run: a bare window of
// the same size whose paint is BeginPaint, the paint notice to the host, one
// copy of a bitmap of the same size, and EndPaint. A plain copy onto the
// window is timed too.
//   wine-run.sh --prefix build/win64/wineprefix build/win64/tests/render_bench.exe [count]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/wine/harness.h"

namespace {

const int kRounds = 5;

HWND MakeHost()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "MorvaBenchHost";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "Morva bench host",
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 1000, 300,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

// The bare window's bitmap, selected into a memory DC made once.
HDC floorImage;

// The least any tool's paint can do: what a paint must, nothing else.
LRESULT CALLBACK FloorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_PAINT) {
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    PaintNotice notice = {};
    notice.hwnd = hwnd;
    notice.hdc = hdc;
    notice.rcInner = rc;
    SendMessageA(GetParent(hwnd), PNM_PAINTNOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
    BitBlt(hdc, 0, 0, rc.right, rc.bottom, floorImage, 0, 0, SRCCOPY);
    EndPaint(hwnd, &ps);
    return 0;
}

HWND MakeFloor(HWND host, int width, int height)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MorvaBenchFloor";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 100, width, height,
                           host, nullptr, wc.hInstance, nullptr);
}

// Microseconds per resize: the module makes a new buffer, lays out and renders.
double TimeResizes(HWND tool, int width, int height, int count)
{
    double start = SecondsNow();
    for (int i = 0; i < count; i++) {
        SendMessageA(tool, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    }
    GdiFlush();
    return (SecondsNow() - start) * 1e6 / count;
}

// Microseconds per paint of the whole window.
double TimePaints(HWND window, int count)
{
    double start = SecondsNow();
    for (int i = 0; i < count; i++) {
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
    }
    GdiFlush();
    return (SecondsNow() - start) * 1e6 / count;
}

// Microseconds per plain copy of a screen-compatible bitmap onto the window.
double TimeBlits(HWND tool, int width, int height, int count)
{
    HDC window = GetDC(tool);
    HBITMAP bitmap = CreateCompatibleBitmap(window, width, height);
    HDC mem = CreateCompatibleDC(window);
    HGDIOBJ old = SelectObject(mem, bitmap);
    PatBlt(mem, 0, 0, width, height, WHITENESS);
    double start = SecondsNow();
    for (int i = 0; i < count; i++) {
        BitBlt(window, 0, 0, width, height, mem, 0, 0, SRCCOPY);
    }
    GdiFlush();
    double perBlit = (SecondsNow() - start) * 1e6 / count;
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(bitmap);
    ReleaseDC(tool, window);
    return perBlit;
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 1000;
    if (count < 1) {
        count = 1;
    }
    const MorvaModule& morva = LoadMorva();
    if (!morva.dll) {
        fprintf(stderr, "morva.dll did not load\n");
        return 1;
    }
    HWND host = MakeHost();
    char init[32], create[32], cleanup[32];
    morva.enumerate(init, create, cleanup, GetModuleHandleA(nullptr), 0);
    PanelTypeInfo* info = nullptr;
    morva.init(&info, 0);

    struct Size {
        int octaves, width, height;
    } const sizes[] = {{1, 32, 20}, {3, 96, 20}, {7, 224, 20}, {7, 896, 80}};
    printf("best of %d rounds of %d; microseconds per operation\n", kRounds, count);
    printf("%-8s %-9s %9s %9s %12s %9s %13s %14s\n", "octaves", "size", "resize", "paint",
           "floor paint", "blit", "paint/floor", "resize/floor");
    for (const Size& s : sizes) {
        RECT rc = {0, 0, s.width, s.height};
        HWND tool = morva.create(host, &rc, nullptr, 0, 0);
        HWND floor = MakeFloor(host, s.width, s.height);
        HDC window = GetDC(floor);
        HBITMAP floorBitmap = CreateCompatibleBitmap(window, s.width, s.height);
        ReleaseDC(floor, window);
        floorImage = CreateCompatibleDC(nullptr);
        HGDIOBJ oldFloorBitmap = SelectObject(floorImage, floorBitmap);
        PatBlt(floorImage, 0, 0, s.width, s.height, WHITENESS);
        LentBlock(tool)->octaves = s.octaves;
        SendMessageA(tool, WM_SIZE, SIZE_RESTORED, MAKELPARAM(s.width, s.height));
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        // A new display and window take a while to settle; run untimed first.
        for (double until = SecondsNow() + 0.5; SecondsNow() < until;) {
            TimeResizes(tool, s.width, s.height, 10);
            TimePaints(tool, 10);
            TimePaints(floor, 10);
        }
        // The best of several rounds: other work on the machine only ever
        // adds time.
        double resize = 1e30, paint = 1e30, floorPaint = 1e30, blit = 1e30;
        for (int round = 0; round < kRounds; round++) {
            resize = std::min(resize, TimeResizes(tool, s.width, s.height, count));
            paint = std::min(paint, TimePaints(tool, count));
            floorPaint = std::min(floorPaint, TimePaints(floor, count));
            blit = std::min(blit, TimeBlits(tool, s.width, s.height, count));
        }
        char size[16];
        snprintf(size, sizeof size, "%dx%d", s.width, s.height);
        printf("%-8d %-9s %9.2f %9.2f %12.2f %9.2f %13.2f %14.2f\n", s.octaves, size, resize, paint,
               floorPaint, blit, paint / floorPaint, resize / floorPaint);
        DestroyWindow(tool);
        DestroyWindow(floor);
        SelectObject(floorImage, oldFloorBitmap);
        DeleteDC(floorImage);
        DeleteObject(floorBitmap);
    }
    DestroyWindow(host);
    return 0;
}
