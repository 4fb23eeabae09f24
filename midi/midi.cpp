// The MIDI device layer.
#include "midi/midi.h"

UINT uMidiInDevs;
UINT uMidiOutDevs;
