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

// The mark draws on a device context of its own, given back before the pen
// and the brush are deleted: a window's cached context lets go of what it
// holds when it is given back, so a select back that fails leaves neither
// selected when it is deleted. Without a context no mark is drawn, and the
// answer is false.
bool DrawMark(ToolInstance* record, COLORREF colour)
{
    HWND hwnd = record->hwnd;
    HDC hdc = GetDC(hwnd);
    if (!hdc) {
        return false;
    }
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
    ReleaseDC(hwnd, hdc);
    DeleteObject(pen);
    DeleteObject(brush);
    return true;
}

// Marks the current key in red.
void DrawKeyHighlight(ToolInstance* record)
{
    DrawMark(record, kMarkRed);
}

// Paints the mark away in the key's own colour; false without a context.
bool EraseKeyHighlight(ToolInstance* record)
{
    const KeyRect* key = UsableKey(record->state, record->state.currentKey);
    return DrawMark(record, key && key->black ? kBlack : kWhite);
}

// A press goes on only while the window can be drawn on, asked before it
// takes the capture. Each mark takes a device context of its own, and none is
// held across the note's message box.
bool CanDrawOn(HWND hwnd)
{
    HDC hdc = GetDC(hwnd);
    if (!hdc) {
        return false;
    }
    ReleaseDC(hwnd, hdc);
    return true;
}

// The note-off needs no device context: without one the mark stays until the
// next paint, but the note ends.
void UnmarkAndStop(ToolInstance* record)
{
    EraseKeyHighlight(record);
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

LRESULT OnKeyPress(ToolInstance* record, int x, int y)
{
    HWND hwnd = record->hwnd;
    if (!CanDrawOn(hwnd)) {
        return 0;
    }
    SetCapture(hwnd);
    // The window losing the capture may be another tool whose note-off shows
    // a box, in whose loop this tool may have been destroyed.
    if (!ToolStillHolds(hwnd, record)) {
        return 0;
    }
    record->state.currentKey = HitTestKey(record->state, x, y);
    if (record->state.currentKey >= 0) {
        DrawKeyHighlight(record);
        PlayKeyNote(record);
    }
    return 0;
}

// Only the left button alone slides; a slide onto no key changes nothing,
// nor does one while the window cannot be drawn on (the old mark's erasing
// tells).
LRESULT OnKeySlide(ToolInstance* record, WPARAM keys, int x, int y)
{
    if (keys != MK_LBUTTON) {
        return 0;
    }
    const int32_t key = HitTestKey(record->state, x, y);
    if (key == record->state.currentKey || key == -1 || !EraseKeyHighlight(record)) {
        return 0;
    }
    record->state.currentKey = key;
    DrawKeyHighlight(record);
    PlayKeyNote(record);
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
