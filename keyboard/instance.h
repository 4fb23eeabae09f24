// The per-window record of a tool: its stored block and its run-time handles.
#pragma once

#include <windows.h>

#include <cstdint>

#include "include/morva.h"
#include "midi/midi.h"

// Attached to the tool window in window long 0. The stored block comes first,
// so the record's address is also the block's address.
struct ToolInstance {
    ToolStateBlock state;
    HWND hwnd;           // the tool window that owns the record
    HBITMAP backBuffer;  // the keyboard at rest, null until the first size or move
    MidiDevice midi;     // the tool's output device
    uint8_t channel;     // MIDI channel of every message, always 0
    uint8_t program;     // voice as last sent in a program change
    uint8_t note;        // note of the sounding (or last sounded) key
    uint8_t velocity;    // velocity of the last note-on
    int32_t sounding;    // nonzero while a note-on has not been ended
    bool noteTaken;      // the device took the sounding note's note-on
    // One bit per note: the device took its note-on and refused its note-off.
    // Each is sent its note-off again before the device closes.
    uint8_t unendedNotes[16];
    // Guards against a note ended twice, each the tool's own: a capture lost
    // while this tool's note message is on its way (its box may take the
    // capture) or while it releases the capture itself is no loss to act on.
    // Another tool losing its capture meanwhile still ends its own note.
    int32_t noteSendDepth;  // nonzero while a note message is on its way
    bool releasingCapture;  // set while the tool gives up the capture itself
};

static_assert(offsetof(ToolInstance, state) == 0, "the block leads the record");

// The record attached to a tool window, or null.
inline ToolInstance* GetToolInstance(HWND hwnd)
{
    return reinterpret_cast<ToolInstance*>(GetWindowLongPtrA(hwnd, 0));
}

// A message box or menu runs a message loop in which the host may destroy the
// tool, and its record with it. After such a call, whoever goes on must find
// the window alive and still holding the record it started with.
inline bool ToolStillHolds(HWND hwnd, const ToolInstance* record)
{
    return IsWindow(hwnd) && GetToolInstance(hwnd) == record;
}
