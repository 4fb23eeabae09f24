// What the host's windows share: class, sizes and font at their dots per inch.
#include "host/host.h"

namespace {

// A user32 function of newer Windows versions, or null where it is missing.
template <typename T>
T NewerUser32(const char* name)
{
    return reinterpret_cast<T>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT SystemDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    ReleaseDC(nullptr, screen);  // none taken: nothing done
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

// The monitor's dots per inch where kept per window (Windows 10 1607 on).
UINT WindowDpi(HWND hwnd)
{
    static const auto forWindow = NewerUser32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    UINT dpi = forWindow && hwnd ? forWindow(hwnd) : 0;
    return dpi ? dpi : SystemDpi();
}

int Scaled(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

// The stock dialog font is made for the system's dots per inch.
HFONT CreateHostFont(UINT dpi, LONG weight)
{
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    lf.lfWidth = 0;
    lf.lfWeight = weight;
    return CreateFontIndirectW(&lf);
}

void AdjustWindowRectForDpi(RECT* rc, HWND hwnd, BOOL menu, UINT dpi)
{
    static const auto forDpi =
        NewerUser32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
    if (!forDpi || !forDpi(rc, style, menu, exStyle, dpi)) {
        AdjustWindowRectEx(rc, style, menu, exStyle);
    }
}

bool RegisterHostClass(const char* name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = host.instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(host.instance, MAKEINTRESOURCEA(IDI_MORVAHOST));
    wc.hIconSm = static_cast<HICON>(LoadImageA(host.instance, MAKEINTRESOURCEA(IDI_MORVAHOST),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) != 0;
}
