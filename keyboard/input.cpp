// Mouse input on the keys: press, slide and release with the left button.
#include "keyboard/input.h"

#include "keyboard/keys.h"
#include "keyboard/render.h"

namespace {

const BYTE kNoteOn = 0x90;
const BYTE kVelocity = 110;
const COLORREF kMarkRed = 0x020000FF;

bool releasingCapture;  // set while the tool gives up the capture itself
int noteSendDepth;      // nonzero while a note message is on its way

void SendNote(ToolInstance* record, BYTE velocity)
{
    noteSendDepth++;
    MidiSendShortMsg(record->hwnd, &record->midi, kNoteOn, record->channel, record->note, velocity);
    noteSendDepth--;
}

void DrawMark(ToolInstance* record, HDC hdc, COLORREF colour)
{
    MarkRect mark;
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldPen = SelectObject(hdc, pen);
    HGDIOBJ oldBrush = SelectObject(hdc, brush);
    if (KeyMarkRect(record->state, record->state.currentKey, &mark)) {
        RoundRect(hdc, mark.left, mark.top, mark.right, mark.bottom, 1, 1);
    }
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

// Marks the current key in red.
void DrawKeyHighlight(ToolInstance* record, HDC hdc)
{
    DrawMark(record, hdc, kMarkRed);
}

// Paints the mark away in the key's own colour.
void EraseKeyHighlight(ToolInstance* record, HDC hdc)
{
    const KeyRect* key = UsableKey(record->state, record->state.currentKey);
    DrawMark(record, hdc, key && key->black ? kBlack : kWhite);
}

}  // namespace

void PlayKeyNote(ToolInstance* record)
{
    if (record->sounding) {
        StopKeyNote(record);
    }
    record->note = KeyNote(record->state.octaves, record->state.currentKey);
    record->velocity = kVelocity;
    SendNote(record, kVelocity);
    record->sounding = 1;
}

void StopKeyNote(ToolInstance* record)
{
    SendNote(record, 0);
    record->sounding = 0;
}

LRESULT OnKeyPress(ToolInstance* record, int x, int y)
{
    HDC hdc = GetDC(record->hwnd);
    if (!hdc) {
        return 0;
    }
    SetCapture(record->hwnd);
    record->state.currentKey = HitTestKey(record->state, x, y);
    if (record->state.currentKey >= 0) {
        DrawKeyHighlight(record, hdc);
        PlayKeyNote(record);
    }
    ReleaseDC(record->hwnd, hdc);
    return 0;
}

// Only the left button alone slides; a slide onto no key changes nothing.
LRESULT OnKeySlide(ToolInstance* record, WPARAM keys, int x, int y)
{
    if (keys != MK_LBUTTON) {
        return 0;
    }
    const int32_t key = HitTestKey(record->state, x, y);
    if (key == record->state.currentKey) {
        return 0;
    }
    HDC hdc = GetDC(record->hwnd);
    if (!hdc) {
        return 0;
    }
    if (key != -1) {
        EraseKeyHighlight(record, hdc);
        record->state.currentKey = key;
        DrawKeyHighlight(record, hdc);
        PlayKeyNote(record);
    }
    ReleaseDC(record->hwnd, hdc);
    return 0;
}

LRESULT OnKeyRelease(ToolInstance* record)
{
    releasingCapture = true;
    ReleaseCapture();
    releasingCapture = false;
    HDC hdc = GetDC(record->hwnd);
    if (!hdc) {
        return 0;
    }
    EraseKeyHighlight(record, hdc);
    StopKeyNote(record);
    ReleaseDC(record->hwnd, hdc);
    return 0;
}

// Another window took the capture while a note sounded (a message box,
// a switch to another program): the release will never come here, so the
// note ends now. The tool's own release and a box raised by a failing note
// message are not such losses.
LRESULT OnKeyCaptureLost(ToolInstance* record, HWND newCapture)
{
    if (releasingCapture || noteSendDepth > 0 || newCapture == record->hwnd || !record->sounding) {
        return 0;
    }
    HDC hdc = GetDC(record->hwnd);
    if (hdc) {
        EraseKeyHighlight(record, hdc);
    }
    StopKeyNote(record);
    if (hdc) {
        ReleaseDC(record->hwnd, hdc);
    }
    return 0;
}
