// The MIDI device layer: device counts and names, open and close, and short
// messages.
#include "midi/layer.h"

#include <cstdio>
#include <cstring>

#include "midi/shortmsg.h"

UINT uMidiInDevs;   // input devices the system had at the last MidiInit
UINT uMidiOutDevs;  // output devices the system had at the last MidiInit

// The input capabilities are read without their trailing support word, so
// the name is all that is asked of an input driver.
static const UINT kInCapsSize = offsetof(MIDIINCAPSA, dwSupport);
static_assert(offsetof(MIDIINCAPSA, dwSupport) == 40, "input capabilities up to the name");
static_assert(sizeof(MIDIOUTCAPSA) == 52, "output capabilities");

static bool IsDirection(UINT uDeviceType)
{
    return uDeviceType == MIDI_INPUT || uDeviceType == MIDI_OUTPUT;
}

static void PrepareRecord(MidiDevice* pDevice, UINT uDeviceType, UINT uCount)
{
    if (!pDevice) {
        return;
    }
    pDevice->hDevice = nullptr;
    pDevice->fBusy = FALSE;
    pDevice->uBufferState = MIDI_BUF_IDLE;
    pDevice->uDeviceId = MIDI_NONE;
    pDevice->uDeviceType = uCount ? uDeviceType : MIDI_NONE;
}

UINT MidiInit(MidiDevice* pInput, MidiDevice* pOutput)
{
    uMidiInDevs = midiInGetNumDevs();
    uMidiOutDevs = midiOutGetNumDevs();
    PrepareRecord(pInput, MIDI_INPUT, uMidiInDevs);
    PrepareRecord(pOutput, MIDI_OUTPUT, uMidiOutDevs);
    if ((!pInput || uMidiInDevs) && (!pOutput || uMidiOutDevs)) {
        return 1;
    }
    // The text names whichever directions the system lacks, not only the
    // ones the caller asked about.
    char text[64];
    snprintf(text, sizeof text, "No MIDI %s%s%sdevices are present", uMidiInDevs ? "" : "input ",
             (!uMidiInDevs && !uMidiOutDevs) ? "or " : "", uMidiOutDevs ? "" : "output ");
    MidiMessageBox(nullptr, text, "MidiInit", MB_ICONERROR);
    return 0;
}

UINT MidiGetDeviceName(HWND hwndOwner, UINT uDeviceType, UINT uDeviceId, char* pszName)
{
    if (!IsDirection(uDeviceType)) {
        OutputDebugStringA("\r\nMidiInit: uDeviceType bad");
        return MIDI_NONE;
    }
    if (!pszName) {
        return MIDI_NONE;
    }
    union {
        MIDIINCAPSA in;
        MIDIOUTCAPSA out;
    } caps;
    memset(&caps, 0, sizeof caps);
    MMRESULT result = uDeviceType == MIDI_INPUT
                          ? midiInGetDevCapsA(uDeviceId, &caps.in, kInCapsSize)
                          : midiOutGetDevCapsA(uDeviceId, &caps.out, sizeof caps.out);
    if (result != MMSYSERR_NOERROR) {
        MidiShowError(hwndOwner, result, uDeviceType);
        return result;
    }
    // A driver may fill all 32 characters without a terminating zero; the
    // client's buffer holds 31 and the zero.
    const char* name = uDeviceType == MIDI_INPUT ? caps.in.szPname : caps.out.szPname;
    size_t length = 0;
    while (length < MAXPNAMELEN - 1 && name[length]) {
        length++;
    }
    memcpy(pszName, name, length);
    pszName[length] = '\0';
    return MMSYSERR_NOERROR;
}

static UINT OpenDevice(HWND hwndOwner, MidiDevice* pDevice)
{
    if (pDevice->hDevice) {
        return MMSYSERR_NOERROR;
    }
    MMRESULT result;
    if (pDevice->uDeviceType == MIDI_OUTPUT) {
        HMIDIOUT handle = nullptr;
        result = midiOutOpen(&handle, pDevice->uDeviceId, 0, 0, CALLBACK_NULL);
        if (result == MMSYSERR_NOERROR) {
            pDevice->hDevice = handle;
        }
    } else {
        // The layer never starts input, so it has no window to notify.
        HMIDIIN handle = nullptr;
        result = midiInOpen(&handle, pDevice->uDeviceId, 0, 0, CALLBACK_WINDOW);
        if (result == MMSYSERR_NOERROR) {
            pDevice->hDevice = handle;
        }
    }
    if (result != MMSYSERR_NOERROR) {
        pDevice->uDeviceId = MIDI_NONE;
        MidiShowError(hwndOwner, result, pDevice->uDeviceType);
    }
    return result;
}

// A plain close leaves a device alone while the client still works on it.
static UINT CloseIdleDevice(HWND hwndOwner, MidiDevice* pDevice)
{
    if (!pDevice->hDevice) {
        return MMSYSERR_NOERROR;
    }
    if (pDevice->fBusy || pDevice->uBufferState == MIDI_BUF_IN_USE) {
        return MMSYSERR_NOERROR;
    }
    return MidiCloseDevice(hwndOwner, pDevice);
}

UINT MidiActivateDevice(HWND hwndOwner, MidiDevice* pDevice, UINT uAction)
{
    if (!pDevice || !IsDirection(pDevice->uDeviceType)) {
        OutputDebugStringA("\r\nMidiActivateDevice: uDeviceType bad");
        return MIDI_NONE;
    }
    switch (uAction) {
    case MIDI_OPEN:
        return OpenDevice(hwndOwner, pDevice);
    case MIDI_CLOSE:
        return CloseIdleDevice(hwndOwner, pDevice);
    case MIDI_ABANDON:
        return MidiAbandonDevice(hwndOwner, pDevice);
    default:
        return MIDI_NONE;
    }
}

UINT MidiSendShortMsg(HWND hwndOwner, MidiDevice* pDevice, UINT uStatus, UINT uChannel, UINT uData1,
                      UINT uData2)
{
    if (!pDevice || pDevice->uDeviceType != MIDI_OUTPUT) {
        return MidiRefuse(hwndOwner, "Must use a MIDI output device", "MidiSendShortMsg");
    }
    if (!pDevice->hDevice) {
        return MidiRefuse(hwndOwner, "Must open MIDI output device first", "MidiSendShortMsg");
    }
    MMRESULT result = midiOutShortMsg(static_cast<HMIDIOUT>(pDevice->hDevice),
                                      PackShortMsg(uStatus, uChannel, uData1, uData2));
    if (result != MMSYSERR_NOERROR) {
        MidiShowError(hwndOwner, result, MIDI_OUTPUT);
    }
    return result;
}
