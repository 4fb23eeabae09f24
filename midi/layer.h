// Helpers the MIDI layer's own files share; clients use midi/midi.h only.
#pragma once

#include "midi/midi.h"

// Every message box of the layer goes through here, so its captions, styles
// and owners are decided in one place. Returns the button the user chose.
int MidiMessageBox(HWND hwndOwner, const char* pszText, const char* pszCaption, UINT uStyle);

// Tells the user that an operation's precondition is unmet and gives the
// code the operation then returns.
UINT MidiRefuse(HWND hwndOwner, const char* pszText, const char* pszOperation);

// Closes an open record's device with no questions asked; the handle is
// forgotten whatever the system answers, and a failure is shown.
UINT MidiCloseDevice(HWND hwndOwner, MidiDevice* pDevice);

// The abandon action on a record whose direction is known to be good.
UINT MidiAbandonDevice(HWND hwndOwner, MidiDevice* pDevice);
