/* A tiny 32-bit Windows program for the emulated i386 system's smoke check:
   prints a line, creates and destroys a window, and writes what it saw to the
   file named by its argument. Exits 0 when all of it worked. */
#include <stdio.h>
#include <windows.h>

static int created, destroyed;

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_CREATE)
        created = 1;
    if (message == WM_DESTROY)
        destroyed = 1;
    return DefWindowProcA(window, message, wparam, lparam);
}

int main(int argc, char** argv)
{
    WNDCLASSA wc = {0};
    HWND window;
    MSG msg;
    FILE* out;
    int ok;

    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "MorvaSmoke";
    if (!RegisterClassA(&wc)) {
        printf("smoke: RegisterClass failed (%lu)\n", GetLastError());
        return 1;
    }
    window = CreateWindowA("MorvaSmoke", "smoke", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, NULL, NULL,
                           wc.hInstance, NULL);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        DestroyWindow(window);
    }
    ok = sizeof(void*) == 4 && window && created && destroyed;
    printf("smoke: %u-bit program, window created %d, destroyed %d\n",
           (unsigned)(8 * sizeof(void*)), created, destroyed);
    if (argc > 1) {
        out = fopen(argv[1], "w");
        if (!out)
            return 1;
        fprintf(out, "pointer bytes %u\ncreated %d\ndestroyed %d\n", (unsigned)sizeof(void*),
                created, destroyed);
        fclose(out);
    }
    return ok ? 0 : 1;
}
