// Drawing of the keyboard at rest: the back buffer, its layout and rendering,
// and the copy that puts it on the screen.
#include "keyboard/render.h"

#include "keyboard/layout.h"

namespace {

// Corner ellipse of the board and of every black key.
const int kCorner = 5;

// Board, separators and black keys over a freshly laid-out table, in table
// order so each black key covers the top of the separator at its centre.
void DrawKeys(HDC hdc, const ToolStateBlock& block, const RECT& inner, HBRUSH white, HBRUSH black)
{
    RoundRect(hdc, inner.left, inner.top, inner.right, inner.bottom, kCorner, kCorner);
    for (int32_t i = 0; i < block.lastKey && i < KEY_TABLE_SIZE; i++) {
        const KeyRect& key = block.keys[i];
        if (HasSeparator(block, i)) {
            MoveToEx(hdc, key.right, key.top, nullptr);
            LineTo(hdc, key.right, key.bottom);
        } else if (IsBlackKey(block, i)) {
            SelectObject(hdc, black);
            RoundRect(hdc, key.left, key.top, key.right, key.bottom, kCorner, kCorner);
            SelectObject(hdc, white);
        }
    }
}

}  // namespace

void ResizeBackBuffer(ToolInstance* record, int width, int height)
{
    DeleteBackBuffer(record);
    HDC screen = GetDC(nullptr);
    record->backBuffer = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
}

// The buffer is not cleared first: what lies outside the board's rounded
// corners keeps whatever the new bitmap held.
void LayoutKeyboard(ToolInstance* record)
{
    if (!record->backBuffer) {
        return;
    }
    // Without the client size the keys keep their last layout and image.
    RECT rc = {};
    if (!GetClientRect(record->hwnd, &rc)) {
        return;
    }
    HBRUSH white = CreateSolidBrush(kWhite);
    HBRUSH black = CreateSolidBrush(kBlack);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(mem, record->backBuffer);

    DrawEdge(mem, &rc, EDGE_RAISED, BF_RECT | BF_ADJUST);
    LayOutKeys(&record->state, {rc.left, rc.top, rc.right, rc.bottom});

    HGDIOBJ oldBrush = SelectObject(mem, white);
    HGDIOBJ oldPen = SelectObject(mem, GetStockObject(BLACK_PEN));
    DrawKeys(mem, record->state, rc, white, black);

    // The memory DC goes before the brushes: deleted, it lets go of whatever
    // a select back that failed left in it.
    SelectObject(mem, oldPen);
    SelectObject(mem, oldBrush);
    SelectObject(mem, oldBitmap);
    DeleteDC(mem);
    DeleteObject(white);
    DeleteObject(black);
}

void BlitKeyboard(HDC hdc, ToolInstance* record)
{
    if (!record->backBuffer) {
        return;
    }
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ oldBitmap = SelectObject(mem, record->backBuffer);
    RECT rc = {};
    GetClientRect(record->hwnd, &rc);
    BitBlt(hdc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, oldBitmap);
    DeleteDC(mem);
}

// A refused request would leave the old keys on the screen while the key
// table holds the new, and a press would play a key other than the one drawn
// under it: the image is then copied onto the window at once.
void ShowKeyboard(ToolInstance* record)
{
    HWND hwnd = record->hwnd;
    if (InvalidateRect(hwnd, nullptr, FALSE)) {
        return;
    }
    HDC hdc = GetDC(hwnd);
    if (hdc) {
        BlitKeyboard(hdc, record);
        ReleaseDC(hwnd, hdc);
    }
}

// The back buffer is the one drawing object a record owns beyond a message.
void DeleteBackBuffer(ToolInstance* record)
{
    if (record->backBuffer) {
        DeleteObject(record->backBuffer);
        record->backBuffer = nullptr;
    }
}
