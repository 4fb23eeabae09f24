// Stand-ins for the MIDI layer's naming and opening until the layer lands;
// removed when it does.
#include "midi/midi.h"

UINT MidiGetDeviceName(HWND, UINT, UINT, char*) { return MIDI_NONE; }
UINT MidiActivateDevice(HWND, MidiDevice*, UINT) { return MIDI_NONE; }
