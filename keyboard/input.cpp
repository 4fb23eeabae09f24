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
// `taken` tells whether the device took the note; when it did not, a box was
// shown.
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

void DeleteMade(HGDIOBJ object)
{
    if (object) {
        DeleteObject(object);
    }
}

// The marks of one mouse event are painted on one device context of the
// window: `erased` in its key's own colour, then `marked` in red; a key
// without a mark (-1 among them) is skipped. The context is given back
// before the pens and brushes are deleted: a window's cached context lets go
// of what it holds when it is given back, so a select back that fails leaves
// none of them selected when it is deleted. Without a context nothing is
// painted, and the answer is false.
bool PaintMarks(ToolInstance* record, int32_t erased, int32_t marked)
{
    HWND hwnd = record->hwnd;
    HDC hdc = GetDC(hwnd);
    if (!hdc) {
        return false;
    }
    const int32_t keys[2] = {erased, marked};
    HPEN pens[2] = {};
    HBRUSH brushes[2] = {};
    for (int i = 0; i < 2; i++) {
        MarkRect mark;
        if (!KeyMarkRect(record->state, keys[i], &mark)) {
            continue;
        }
        const KeyRect* key = UsableKey(record->state, keys[i]);
        const COLORREF colour = i == 1 ? kMarkRed : key->black ? kBlack : kWhite;
        pens[i] = CreatePen(PS_SOLID, 1, colour);
        brushes[i] = CreateSolidBrush(colour);
        HGDIOBJ oldPen = SelectObject(hdc, pens[i]);
        HGDIOBJ oldBrush = SelectObject(hdc, brushes[i]);
        RoundRect(hdc, mark.left, mark.top, mark.right, mark.bottom, 1, 1);
        SelectObject(hdc, oldPen);
        SelectObject(hdc, oldBrush);
    }
    ReleaseDC(hwnd, hdc);
    for (int i = 0; i < 2; i++) {
        DeleteMade(pens[i]);
        DeleteMade(brushes[i]);
    }
    return true;
}

// Sends the note-off (a note-on with velocity 0) of the stored note; a note
// the device took whose note-off it refuses is remembered, to be ended before
// the device is closed. False when the tool was destroyed in the note's box;
// `refused` tells whether the box was shown.
bool EndKeyNote(ToolInstance* record, bool* refused)
{
    bool taken = false;
    if (!SendNote(record, 0, &taken)) {
        return false;
    }
    if (!taken && record->noteTaken) {
        RememberUnendedNote(record, record->note);
    }
    *refused = !taken;
    record->sounding = 0;
    record->noteTaken = false;
    return true;
}

// Whether the tool holds the capture, asked anew: a box may have taken it,
// or the user let go in its loop. Without it the current key does not sound,
// and its mark is taken away.
bool StillHoldsCapture(ToolInstance* record)
{
    if (GetCapture() == record->hwnd) {
        return true;
    }
    PaintMarks(record, record->state.currentKey, -1);
    return false;
}

// The current key, already marked, sounds only while the tool holds the
// capture, so that its release comes here wherever it happens: it is asked
// again after a refused note-off's or note-on's box.
void PlayKeyNote(ToolInstance* record)
{
    bool refused = false;
    if (record->sounding && !EndKeyNote(record, &refused)) {
        return;
    }
    if (refused && !StillHoldsCapture(record)) {
        return;
    }
    record->note = KeyNote(record->state.octaves, record->state.currentKey);
    record->velocity = kVelocity;
    bool taken = false;
    if (!SendNote(record, kVelocity, &taken)) {
        return;
    }
    record->sounding = 1;
    record->noteTaken = taken;
    if (!taken) {
        StillHoldsCapture(record);
    }
}

// The tool takes the capture. The window losing it may be another tool whose
// note-off shows a box, in whose loop this tool may be destroyed or the
// capture taken again: true while the tool lives and holds it.
bool HoldCapture(ToolInstance* record)
{
    HWND hwnd = record->hwnd;
    HWND previous = SetCapture(hwnd);
    if (!ToolStillHolds(hwnd, record)) {
        return false;
    }
    return !previous || previous == hwnd || StillHoldsCapture(record);
}

// The note-off needs no device context: without one the mark stays until the
// next paint, but the note ends.
void UnmarkAndStop(ToolInstance* record)
{
    bool refused = false;
    PaintMarks(record, record->state.currentKey, -1);
    EndKeyNote(record, &refused);
}

}  // namespace

// A press goes on only while the window can be drawn on: the mark is drawn
// and its context given back before the capture is taken, so that none is
// held across another tool's box.
LRESULT OnKeyPress(ToolInstance* record, int x, int y)
{
    const int32_t key = HitTestKey(record->state, x, y);
    if (!PaintMarks(record, -1, key)) {
        return 0;
    }
    record->state.currentKey = key;
    if (HoldCapture(record) && key >= 0) {
        PlayKeyNote(record);
    }
    return 0;
}

// Only the left button alone slides; a slide onto no key changes nothing,
// nor does one while the window cannot be drawn on.
LRESULT OnKeySlide(ToolInstance* record, WPARAM keys, int x, int y)
{
    if (keys != MK_LBUTTON) {
        return 0;
    }
    const int32_t key = HitTestKey(record->state, x, y);
    if (key == record->state.currentKey || key == -1) {
        return 0;
    }
    if (!PaintMarks(record, record->state.currentKey, key)) {
        return 0;
    }
    record->state.currentKey = key;
    // A slide may begin outside the tool: it takes the capture then.
    if (GetCapture() == record->hwnd || HoldCapture(record)) {
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
