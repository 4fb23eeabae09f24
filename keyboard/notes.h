// Note-on and note-off of the tool's current key.
#pragma once

#include "keyboard/instance.h"

// Ends a sounding note, then sounds the current key.
void PlayKeyNote(ToolInstance* record);

// Sends the note-off (a note-on with velocity 0) of the stored note.
void StopKeyNote(ToolInstance* record);
