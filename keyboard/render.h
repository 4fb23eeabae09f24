// Drawing of the keyboard at rest: back buffer, layout and the copy to the screen.
#pragma once

#include <windows.h>

#include "keyboard/instance.h"

// The colours of the keys, palette-relative so that a palette display
// matches them to its own entries. A pressed key's mark is painted away in
// the same colour the key was drawn in.
const COLORREF kWhite = 0x02FFFFFF;
const COLORREF kBlack = 0x02000000;

// Replaces the back buffer with a screen-compatible bitmap of the given size.
void ResizeBackBuffer(ToolInstance* record, int width, int height);

// Lays the keys out for the window's client size and renders them into the
// back buffer. Does nothing while the record has no back buffer.
void LayoutKeyboard(ToolInstance* record);

// Copies the back buffer to the target at (0, 0).
void BlitKeyboard(HDC hdc, ToolInstance* record);

// Asks for a paint of the whole window after a new layout, and shows the new
// keys at once when the request is refused.
void ShowKeyboard(ToolInstance* record);

// Deletes the back buffer, when the tool goes away.
void DeleteBackBuffer(ToolInstance* record);
