// Mouse input on the keys: press, slide and release with the left button.
#include "keyboard/input.h"

#include "keyboard/keys.h"
#include "keyboard/render.h"
#include "keyboard/sound.h"

namespace {

const BYTE kVelocity = 110;
const COLORREF kMarkRed = 0x020000FF;

// The MIDI layer may answer a note with a message box, in whose loop the host
// may destroy the tool: true while the window still holds the record.
// `taken` tells whether the device took the note.
bool SendNote(ToolInstance* record, BYTE velocity, bool* taken)
{
    HWND hwnd = record->hwnd;
    record->noteSendDepth++;
    *taken = MidiSendShortMsg(hwnd, &record->midi, kNoteOn, record->channel, record->note,
                              velocity) == MMSYSERR_NOERROR;
    if (!ToolStillHolds(hwnd, record)) {
        return false;
    }
    record->noteSendDepth--;
    return true;
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

// The note-off needs no device context: without one the mark stays until the
// next paint, but the note ends.
void UnmarkAndStop(ToolInstance* record)
{
    HWND hwnd = record->hwnd;
    HDC hdc = GetDC(hwnd);
    if (hdc) {
        EraseKeyHighlight(record, hdc);
        ReleaseDC(hwnd, hdc);
    }
    StopKeyNote(record);
}

}  // namespace

bool PlayKeyNote(ToolInstance* record)
{
    if (record->sounding && !StopKeyNote(record)) {
        return false;
    }
    record->note = KeyNote(record->state.octaves, record->state.currentKey);
    record->velocity = kVelocity;
    bool taken = false;
    if (!SendNote(record, kVelocity, &taken)) {
        return false;
    }
    record->sounding = 1;
    record->noteTaken = taken;
    return true;
}

// A note the device took whose note-off it refuses is remembered, to be
// ended before the device is closed.
bool StopKeyNote(ToolInstance* record)
{
    bool taken = false;
    if (!SendNote(record, 0, &taken)) {
        return false;
    }
    if (!taken && record->noteTaken) {
        RememberUnendedNote(record, record->note);
    }
    record->sounding = 0;
    record->noteTaken = false;
    return true;
}

// The mark is drawn and the device context given back before the note goes
// out, so that nothing is held across the note's message box.
LRESULT OnKeyPress(ToolInstance* record, int x, int y)
{
    HWND hwnd = record->hwnd;
    HDC hdc = GetDC(hwnd);
    if (!hdc) {
        return 0;
    }
    SetCapture(hwnd);
    // The window losing the capture may be another tool whose note-off shows
    // a box; if this tool was destroyed in its loop, its DC went with it.
    if (!ToolStillHolds(hwnd, record)) {
        return 0;
    }
    record->state.currentKey = HitTestKey(record->state, x, y);
    if (record->state.currentKey >= 0) {
        DrawKeyHighlight(record, hdc);
    }
    ReleaseDC(hwnd, hdc);
    if (record->state.currentKey >= 0) {
        PlayKeyNote(record);
    }
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
    HWND hwnd = record->hwnd;
    HDC hdc = GetDC(hwnd);
    if (!hdc) {
        return 0;
    }
    if (key != -1) {
        EraseKeyHighlight(record, hdc);
        record->state.currentKey = key;
        DrawKeyHighlight(record, hdc);
    }
    ReleaseDC(hwnd, hdc);
    if (key != -1) {
        PlayKeyNote(record);
    }
    return 0;
}

LRESULT OnKeyRelease(ToolInstance* record)
{
    HWND hwnd = record->hwnd;
    record->releasingCapture = true;
    ReleaseCapture();
    if (!ToolStillHolds(hwnd, record)) {
        return 0;
    }
    record->releasingCapture = false;
    UnmarkAndStop(record);
    return 0;
}

// Another window took the capture while a note sounded (a message box,
// a switch to another program): the release will never come here, so the
// note ends now. The tool's own release and a box raised by a failing note
// message are not such losses.
LRESULT OnKeyCaptureLost(ToolInstance* record, HWND newCapture)
{
    if (record->releasingCapture || record->noteSendDepth > 0 || newCapture == record->hwnd ||
        !record->sounding) {
        return 0;
    }
    UnmarkAndStop(record);
    return 0;
}
