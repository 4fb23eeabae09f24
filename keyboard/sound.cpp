// The tool's output device, voice and volume.
#include "keyboard/sound.h"

#include "keyboard/input.h"

void SetUpToolSound(ToolInstance* record)
{
    if (!MidiInit(nullptr, &record->midi)) {
        return;  // no output device at all: the tool stays silent
    }
    record->channel = 0;
    record->program = static_cast<uint8_t>(record->state.voice);
    record->note = 0;
    record->velocity = 0;
    record->sounding = 0;
    if (record->state.deviceNumber < 0) {
        return;  // none chosen yet
    }
    OpenToolDevice(record);
    SendProgramChange(record);
    ApplyVolume(record);
}

UINT OpenToolDevice(ToolInstance* record)
{
    record->midi.uDeviceId = static_cast<UINT>(record->state.deviceNumber);
    return MidiActivateDevice(record->hwnd, &record->midi, MIDI_OPEN);
}

UINT CloseToolDevice(ToolInstance* record)
{
    return MidiActivateDevice(record->hwnd, &record->midi, MIDI_CLOSE);
}

UINT SendProgramChange(ToolInstance* record)
{
    return MidiSendShortMsg(record->hwnd, &record->midi, 0xC0, record->channel, record->program, 0);
}

// The volume goes only to the tool's own open device: with no handle the
// system would take device 0, which the tool does not own.
UINT ApplyVolume(ToolInstance* record)
{
    if (!record->midi.hDevice) {
        return MIDI_NONE;
    }
    const WORD level = static_cast<WORD>(record->state.volume * 655);
    return midiOutSetVolume(static_cast<HMIDIOUT>(record->midi.hDevice), MAKELONG(level, level));
}

UINT OutputDeviceCount()
{
    return uMidiOutDevs;
}

UINT GetOutputDeviceName(const ToolInstance* record, UINT device, char* name)
{
    return MidiGetDeviceName(record->hwnd, MIDI_OUTPUT, device, name);
}

// A closed tool leaves no hanging note and no open device behind.
void ReleaseToolSound(ToolInstance* record)
{
    if (!record->midi.hDevice) {
        return;
    }
    // The record is already detached and belongs to the caller: the device
    // is closed although the note-off finds no window holding the record.
    if (record->sounding) {
        StopKeyNote(record);
    }
    CloseToolDevice(record);
}
