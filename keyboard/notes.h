// Note-on and note-off of the tool's current key.
#pragma once

#include "keyboard/instance.h"

// Both return false when the window no longer holds the record after a note
// message: the host destroyed the tool in the loop of the note's message box,
// and the record is not to be touched again.

// Ends a sounding note, then sounds the current key.
bool PlayKeyNote(ToolInstance* record);

// Sends the note-off (a note-on with velocity 0) of the stored note.
bool StopKeyNote(ToolInstance* record);
