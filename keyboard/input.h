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
