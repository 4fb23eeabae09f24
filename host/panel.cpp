// The panel: the tools one above the other, each fitted to its width.
#include <algorithm>

#include "host/host.h"

const char kPanelClass[] = "MorvaHostPanel";

namespace {

// At 96 dots per inch; scaled by the panel's.
const int kMargin = 10;          // around the tools
const int kGap = 8;              // between two tools
const int kMaxToolHeight = 150;  // taller keys only waste the screen

int PanelScaled(int pixels)
{
    return Scaled(pixels, WindowDpi(host.panel));
}

SIZE UnpackSize(LRESULT packed)
{
    return {static_cast<LONG>(packed & 0xFFFF), static_cast<LONG>((packed >> 16) & 0xFFFF)};
}

SIZE IdealSize(HWND tool)
{
    SIZE s = UnpackSize(SendMessageA(tool, PNM_GETIDEALSIZE, 0, 0));
    return s.cx > 0 && s.cy > 0 ? s : SIZE{32, 20};  // room even for a tool that gives none
}

SIZE FittedSize(HWND tool, int width, int maxHeight)
{
    SIZE ideal = IdealSize(tool);
    width = std::max(width, 1);
    auto size = static_cast<uint16_t>(std::min(width, 0xFFFF));  // a width: byHeight is 0
    SizeFitRequest request = {ideal.cx, ideal.cy, width, std::max(maxHeight, 1), 0, size};
    SIZE s = UnpackSize(SendMessageA(tool, PNM_FITSIZE, 0, reinterpret_cast<LPARAM>(&request)));
    return s.cx > 0 && s.cy > 0 ? s : ideal;
}

LRESULT OnPanelPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    HBRUSH background = CreateSolidBrush(RGB(58, 64, 74));
    FillRect(hdc, &ps.rcPaint, background);
    DeleteObject(background);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT CALLBACK PanelWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        return OnPanelPaint(hwnd);
    case WM_ERASEBKGND:
        return 1;  // the paint fills everything
    case WM_SIZE:
        LayoutPanel();
        return 0;
    case PNM_SHOWPROPERTIES:  // a tool's Properties item: the main window opens its sheet
        return SendMessageA(host.mainWindow, msg, wParam, lParam);
    case PNM_PAINTNOTIFY:  // the tool copies its keyboard, unchanged, once this returns
        if (lParam) {
            hostHooks.paintNotice(reinterpret_cast<const PaintNotice*>(lParam));
        }
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

bool RegisterPanelClass()
{
    return RegisterHostClass(kPanelClass, PanelWndProc, nullptr);
}

int ToolNumber(HWND tool)
{
    auto it = std::find(host.tools.begin(), host.tools.end(), tool);
    return it == host.tools.end() ? 0 : static_cast<int>(it - host.tools.begin()) + 1;
}

void LayoutPanel()
{
    if (!host.panel || host.tools.empty()) {
        return;
    }
    int margin = PanelScaled(kMargin), gap = PanelScaled(kGap);
    RECT rc;
    GetClientRect(host.panel, &rc);
    int count = static_cast<int>(host.tools.size());
    int width = std::max<int>(rc.right - 2 * margin, 1);
    int share = (rc.bottom - 2 * margin - gap * (count - 1)) / count;
    int maxHeight = std::min(std::max(share, 1), PanelScaled(kMaxToolHeight));
    int y = margin;
    for (HWND tool : host.tools) {
        SIZE s = FittedSize(tool, width, maxHeight);
        int x = margin + std::max<int>((width - s.cx) / 2, 0);
        RECT before;
        GetClientRect(tool, &before);
        SetWindowPos(tool, nullptr, x, y, s.cx, s.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        // A tool repaints nothing by itself when it is resized.
        if (before.right != s.cx || before.bottom != s.cy) {
            SendMessageA(tool, PNM_REFRESH, 0, 0);
        }
        y += s.cy + gap;
    }
    InvalidateRect(host.panel, nullptr, TRUE);
}

SIZE PanelMinimumSize()
{
    int margin = PanelScaled(kMargin);
    SIZE total = {2 * margin, 2 * margin};
    for (HWND tool : host.tools) {
        SIZE ideal = IdealSize(tool);
        total.cx = std::max<LONG>(total.cx, ideal.cx + 2 * margin);
        total.cy += ideal.cy + PanelScaled(kGap);
    }
    return total;
}

// A new tool is made with no size and then placed, so the size that lays
// out and draws its keyboard always comes after its creation.
HWND AddTool(const uint8_t* savedBlock)
{
    if (host.tools.size() >= SETTINGS_MAX_TOOLS) {
        HostMessage(
            "The panel is full: it holds at most " + std::to_string(SETTINGS_MAX_TOOLS) + " tools.",
            MB_ICONINFORMATION);
        return nullptr;
    }
    int margin = PanelScaled(kMargin);
    RECT placement = {margin, margin, margin, margin};
    HWND tool = host.type.create(host.panel, &placement, savedBlock, 0, 0);
    if (!tool) {
        HostMessage("The module could not create a tool.", MB_ICONERROR);
        return nullptr;
    }
    host.tools.push_back(tool);
    LayoutPanel();
    InvalidateRect(host.mainWindow, nullptr, FALSE);  // the tool count in the header
    return tool;
}

void RemoveLastTool()
{
    if (host.tools.empty()) {
        return;
    }
    HWND tool = host.tools.back();
    if (host.sheetTool == tool) {
        ClosePropertySheet();
    }
    host.tools.pop_back();
    DestroyWindow(tool);
    LayoutPanel();
    InvalidateRect(host.panel, nullptr, TRUE);
    InvalidateRect(host.mainWindow, nullptr, FALSE);
}
