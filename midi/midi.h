// The MIDI device layer: device records, result codes and the Midi functions.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

// Directions of a device record.
enum {
    MIDI_INPUT = 1,
    MIDI_OUTPUT = 2,
};

// Result codes beside the system's MMSYSERR_ and MIDIERR_ codes.
// MIDI_NONE also marks a record without a direction or device number.
enum : UINT {
    MIDI_NONE = 0xFF00,      // bad argument or unmet precondition
    MIDI_DECLINED = 0xFF01,  // the user refused to abandon a busy device
};

// Actions of MidiActivateDevice.
enum : UINT {
    MIDI_OPEN = 1,
    MIDI_CLOSE = 16,
    MIDI_ABANDON = 17,
};

// States of a record's long-message buffer.
enum : UINT {
    MIDI_BUF_IDLE = 0,      // no buffer in use
    MIDI_BUF_IN_USE = 1,    // set by the client while a transfer runs
    MIDI_BUF_NOT_OPEN = 2,  // an attach or release found the device closed
};

// The long-message header in its short form: the seven leading fields of
// MIDIHDR. Its size is what every prepare, unprepare and add call is given
// (28 bytes in the 32-bit module). Packed like every multimedia record.
#pragma pack(push, 1)
struct MidiHeader {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    MidiHeader* lpNext;
    DWORD_PTR reserved;
};
#pragma pack(pop)

static_assert(sizeof(MidiHeader) == offsetof(MIDIHDR, dwOffset),
              "the short header is MIDIHDR up to dwOffset");
#ifndef _WIN64
static_assert(sizeof(MidiHeader) == 28, "28-byte header in the 32-bit module");
#endif

// One device of one direction, owned by the client.
struct MidiDevice {
    UINT uDeviceType;    // MIDI_INPUT, MIDI_OUTPUT or MIDI_NONE; set by MidiInit
    UINT uDeviceId;      // device number an open uses, MIDI_NONE when unset
    HANDLE hDevice;      // the open HMIDIIN or HMIDIOUT, 0 while closed
    MidiHeader midiHdr;  // header of the record's one long-message buffer
    BOOL fBusy;          // set by the client while a transfer is in flight
    UINT uBufferState;   // MIDI_BUF_IDLE, MIDI_BUF_IN_USE or MIDI_BUF_NOT_OPEN
};

// Device counts from the last MidiInit.
extern UINT uMidiInDevs;
extern UINT uMidiOutDevs;

UINT MidiInit(MidiDevice* pInput, MidiDevice* pOutput);
UINT MidiGetDeviceName(HWND hwndOwner, UINT uDeviceType, UINT uDeviceId, char* pszName);
UINT MidiActivateDevice(HWND hwndOwner, MidiDevice* pDevice, UINT uAction);
UINT MidiSendShortMsg(HWND hwndOwner, MidiDevice* pDevice, UINT uStatus, UINT uChannel, UINT uData1,
                      UINT uData2);
void MidiShowError(HWND hwndOwner, UINT uResult, UINT uDeviceType);
UINT MidiAssignBuffer(HWND hwndOwner, MidiDevice* pDevice, LPSTR pData, DWORD dwLength,
                      BOOL fAttach);
