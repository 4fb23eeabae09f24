// Mouse input on the keys: press, slide and release with the left button,
// and the note-on and note-off of the current key.
#pragma once

#include <windows.h>

#include "keyboard/instance.h"

LRESULT OnKeyPress(ToolInstance* record, int x, int y);
LRESULT OnKeySlide(ToolInstance* record, WPARAM keys, int x, int y);
LRESULT OnKeyRelease(ToolInstance* record);

// The tool lost the mouse capture to another window without a release.
LRESULT OnKeyCaptureLost(ToolInstance* record, HWND newCapture);

// Both return false when the window no longer holds the record after a note
// message: the host destroyed the tool in the loop of the note's message box,
// and the record is not to be touched again.

// Ends a sounding note, then sounds the current key.
bool PlayKeyNote(ToolInstance* record);

// Sends the note-off (a note-on with velocity 0) of the stored note.
bool StopKeyNote(ToolInstance* record);
