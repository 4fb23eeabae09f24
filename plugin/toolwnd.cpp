// The tool window: dispatch of system messages and of the host's panel protocol.
#include <windows.h>
#include <windowsx.h>

#include <cstring>

#include "dialogs/dialogs.h"
#include "include/morva.h"
#include "keyboard/input.h"
#include "keyboard/render.h"
#include "keyboard/sound.h"
#include "plugin/plugin.h"
#include "plugin/sizefit.h"
#include "resources/resource.h"

namespace {

LRESULT OnToolDestroy(HWND hwnd, ToolInstance* record)
{
    SetWindowLongPtrA(hwnd, 0, 0);
    if (!record) {
        return 0;
    }
    // An open property page must not go on editing a freed record.
    ForgetPageTarget(record);
    ReleaseToolSound(record);
    DeleteBackBuffer(record);
    HeapFree(GetProcessHeap(), 0, record);
    return 0;
}

LRESULT OnToolSize(ToolInstance* record, int width, int height)
{
    ResizeBackBuffer(record, width, height);
    LayoutKeyboard(record);
    return 0;
}

LRESULT OnToolMove(ToolInstance* record)
{
    RECT rc = {};
    if (!GetClientRect(record->hwnd, &rc)) {
        return 0;
    }
    return OnToolSize(record, rc.right, rc.bottom);
}

// The host may draw into the paint context; the keyboard image is copied
// over the whole client area as soon as it returns.
void NotifyHostPaint(ToolInstance* record, HDC hdc, const RECT& inner)
{
    PaintNotice notice = {};
    notice.hwnd = record->hwnd;
    notice.hdc = hdc;
    notice.rcInner = inner;
    SendMessageA(GetParent(record->hwnd), PNM_PAINTNOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
}

// A paint never renders: it is one copy of the back buffer, whatever caused it.
// The host may destroy the tool while it is told of the paint; the paint then
// ends there. Without a paint context nothing is drawn or told, and the
// structure BeginPaint left unfilled is not ended; the area is validated so
// that the system does not ask for the same paint again at once.
LRESULT PaintTool(ToolInstance* record)
{
    HWND hwnd = record->hwnd;
    if (!GetUpdateRect(hwnd, nullptr, FALSE)) {
        return 0;
    }
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (!hdc) {
        ValidateRect(hwnd, nullptr);
        return 0;
    }
    RECT rc = {};
    if (GetClientRect(hwnd, &rc)) {
        DrawEdge(hdc, &rc, EDGE_ETCHED, BF_RECT | BF_ADJUST);
        NotifyHostPaint(record, hdc, rc);
    }
    if (ToolStillHolds(hwnd, record)) {
        BlitKeyboard(hdc, record);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnToolCommand(HWND hwnd, UINT id)
{
    switch (id) {
    case IDM_PROPERTIES:
        SendMessageA(GetParent(hwnd), PNM_SHOWPROPERTIES, reinterpret_cast<WPARAM>(hwnd), 0);
        break;
    case IDM_ABOUT:
        ShowAboutBox(hModuleInstance, hwnd);
        break;
    default:
        break;
    }
    return 0;
}

// A text that cannot be loaded leaves an empty item, not stack garbage.
void AppendStringItem(HMENU menu, UINT stringId, UINT commandId)
{
    char text[100] = "";
    LoadStringA(hModuleInstance, stringId, text, sizeof text);
    AppendMenuA(menu, MF_STRING, commandId, text);
}

LRESULT ShowContextMenu(HWND hwnd, int x, int y)
{
    HMENU menu = CreatePopupMenu();
    AppendStringItem(menu, IDS_ABOUTMENU, IDM_ABOUT);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendStringItem(menu, IDS_PROPERTIES, IDM_PROPERTIES);
    POINT pt = {x, y};
    ClientToScreen(hwnd, &pt);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
    return 0;
}

LRESULT HandOutState(ToolInstance* record, LPARAM lParam)
{
    if (lParam) {
        *reinterpret_cast<ToolInstance**>(lParam) = record;
    }
    return TOOL_STATE_SIZE;
}

// Takes the bytes only: the keyboard is laid out again at the next size,
// move or refresh. A host may hand back the very block PNM_GETSTATE lent it,
// edited in place, so source and target may be one.
LRESULT TakeState(ToolInstance* record, LPARAM lParam)
{
    if (lParam) {
        memmove(&record->state, reinterpret_cast<const void*>(lParam), TOOL_STATE_SIZE);
    }
    return 0;
}

LRESULT CreatePropertyPage(ToolInstance* record, HWND container, UINT x, UINT y)
{
    HWND page = CreatePropPageDialog(hModuleInstance, container, record);
    if (page) {
        SetWindowPos(page, HWND_TOP, static_cast<int>(x), static_cast<int>(y), 0, 0, SWP_NOSIZE);
    }
    return reinterpret_cast<LRESULT>(page);
}

LRESULT FitSize(ToolInstance* record, LPARAM lParam)
{
    if (!lParam) {
        return 0;
    }
    return FitToolSize(&record->state.octaves, *reinterpret_cast<const SizeFitRequest*>(lParam));
}

LRESULT RefreshTool(ToolInstance* record)
{
    LayoutKeyboard(record);
    ShowKeyboard(record);
    return 0;
}

}  // namespace

LRESULT CALLBACK ToolWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    ToolInstance* record = GetToolInstance(hwnd);
    switch (msg) {
    case WM_DESTROY:
        return OnToolDestroy(hwnd, record);
    case WM_MOVE:
        return record ? OnToolMove(record) : 0;
    case WM_SIZE:
        return record ? OnToolSize(record, LOWORD(lParam), HIWORD(lParam)) : 0;
    case WM_COMMAND:
        return OnToolCommand(hwnd, LOWORD(wParam));
    case WM_RBUTTONUP:
        return ShowContextMenu(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    case PNM_BEEP:
        Beep(0, 0);
        return 0;
    default:
        break;
    }
    if (!record) {
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_PAINT:
        return PaintTool(record);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return OnKeyPress(record, LOWORD(lParam), HIWORD(lParam));
    case WM_MOUSEMOVE:
        return OnKeySlide(record, wParam, LOWORD(lParam), HIWORD(lParam));
    case WM_LBUTTONUP:
        return OnKeyRelease(record);
    case WM_CAPTURECHANGED:
        return OnKeyCaptureLost(record, reinterpret_cast<HWND>(lParam));
    case PNM_GETSTATE:
        return HandOutState(record, lParam);
    case PNM_SETSTATE:
        return TakeState(record, lParam);
    case PNM_CREATEPROPPAGE:
        return CreatePropertyPage(record, reinterpret_cast<HWND>(wParam), LOWORD(lParam),
                                  HIWORD(lParam));
    case PNM_GETIDEALSIZE:
        return IdealToolSize(record->state.octaves);
    case PNM_FITSIZE:
    case PNM_FITSIZE2:
    case PNM_FITSIZE3:
        return FitSize(record, lParam);
    case PNM_REFRESH:
        return RefreshTool(record);
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}
