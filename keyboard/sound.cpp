// The tool's output device, voice and volume.
#include "keyboard/sound.h"

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

void RememberUnendedNote(ToolInstance* record, uint8_t note)
{
    note &= 0x7F;
    record->unendedNotes[note >> 3] |= static_cast<uint8_t>(1u << (note & 7));
}

// The message box of a refusal may run anything, this very function among
// it. The held key stays held until its note-off is answered, so that a
// close run in that box (the tool destroyed there) sends it again; a note
// ended meanwhile is not remembered. Each remembered note leaves the set
// before its note-off goes out.
bool EndTakenNotes(ToolInstance* record, HWND holder)
{
    if (record->sounding) {
        const bool taken = record->noteTaken;
        const uint8_t note = record->note;
        const bool ended = EndNote(record, note);
        if (holder && !ToolStillHolds(holder, record)) {
            return false;
        }
        if (!ended && taken && record->sounding) {
            RememberUnendedNote(record, note);
        }
        record->sounding = 0;
        record->noteTaken = false;
    }
    for (unsigned note = 0; note < 128; note++) {
        const uint8_t bit = static_cast<uint8_t>(1u << (note & 7));
        if (!(record->unendedNotes[note >> 3] & bit)) {
            continue;
        }
        record->unendedNotes[note >> 3] &= static_cast<uint8_t>(~bit);
        EndNote(record, static_cast<uint8_t>(note));
        if (holder && !ToolStillHolds(holder, record)) {
            return false;
        }
    }
    return true;
}

// A closed tool leaves no hanging note and no open device behind. The record
// is already detached and belongs to the caller: the notes are ended here,
// although no window holds the record. The device is closed once, whatever
// it answers (the MIDI layer forgets a refused handle).
void ReleaseToolSound(ToolInstance* record)
{
    if (!record->midi.hDevice) {
        return;
    }
    EndTakenNotes(record, nullptr);
    CloseToolDevice(record);
}
