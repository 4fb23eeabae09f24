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

namespace {

bool EndNote(ToolInstance* record, uint8_t note)
{
    return MidiSendShortMsg(record->hwnd, &record->midi, kNoteOn, record->channel, note, 0) ==
           MMSYSERR_NOERROR;
}

}  // namespace

// A closed tool leaves no hanging note and no open device behind. The record
// is already detached and belongs to the caller: the notes are ended here,
// although no window holds the record. A taken note whose note-off the device
// refuses is sent its note-off once more.
void ReleaseToolSound(ToolInstance* record)
{
    if (!record->midi.hDevice) {
        return;
    }
    if (record->sounding && !EndNote(record, record->note) && record->noteTaken &&
        !record->hasUnendedNote) {
        record->hasUnendedNote = true;
        record->unendedNote = record->note;
    }
    record->sounding = 0;
    if (record->hasUnendedNote) {
        record->hasUnendedNote = false;
        EndNote(record, record->unendedNote);
    }
    // A device that refuses the close is asked once more: it would
    // otherwise stay open for the rest of the process.
    if (CloseToolDevice(record) != MMSYSERR_NOERROR && record->midi.hDevice) {
        MidiActivateDevice(record->hwnd, &record->midi, MIDI_ABANDON);
    }
}
