// The tool's output device, voice and volume.
#pragma once

#include <windows.h>

#include "keyboard/instance.h"

// A note-on; with velocity zero it ends the note.
constexpr BYTE kNoteOn = 0x90;

// At creation, before the record is attached: counts the devices, opens the
// chosen output device and sends the voice and the volume.
void SetUpToolSound(ToolInstance* record);

// Opens the output device the record's block names.
UINT OpenToolDevice(ToolInstance* record);

// Closes the record's output device.
UINT CloseToolDevice(ToolInstance* record);

// Sends the record's program on its channel.
UINT SendProgramChange(ToolInstance* record);

// Sets the output volume of the record's open device from its volume.
UINT ApplyVolume(ToolInstance* record);

// The output devices found when the last tool was set up.
UINT OutputDeviceCount();

// Reads the name of an output device into `name`; a failure is reported in a
// message box owned by the record's window.
UINT GetOutputDeviceName(const ToolInstance* record, UINT device, char* name);

// A taken note whose note-off the device refused: it is ended again before
// the device closes.
void RememberUnendedNote(ToolInstance* record, uint8_t note);

// Before the device closes: the held key's note and every remembered one are
// each sent a note-off once more; the device is not reset, so that other
// tools on it keep their notes. `holder` is the window the record is attached
// to, or null once it is detached: false when the tool was destroyed in a
// note's message box, and the record is gone.
bool EndTakenNotes(ToolInstance* record, HWND holder);

// When the tool goes away: ends its notes and closes the device.
void ReleaseToolSound(ToolInstance* record);
