// The MIDI layer's long-message buffer: attach, release, and abandoning a
// device whose buffer is still in use.
#include "midi/layer.h"

static LPMIDIHDR SystemHeader(MidiDevice* pDevice)
{
    // The record keeps the header in its short form; the size passed with it
    // tells the system so.
    return reinterpret_cast<LPMIDIHDR>(&pDevice->midiHdr);
}

// A record that is still closed refuses the buffer, except that the release
// which follows such a refusal is quiet. An input record keeps its mark, so
// every later release on it stays quiet as well.
static UINT RefuseClosedDevice(HWND hwndOwner, MidiDevice* pDevice, BOOL fAttach)
{
    bool output = pDevice->uDeviceType == MIDI_OUTPUT;
    if (!fAttach && pDevice->uBufferState == MIDI_BUF_NOT_OPEN) {
        if (output) {
            pDevice->uBufferState = MIDI_BUF_IDLE;
        }
        return MMSYSERR_NOERROR;
    }
    UINT result = MidiRefuse(
        hwndOwner,
        output ? "Must open MIDI output device first" : "Must open MIDI input device first",
        "MidiAssignBuffer");
    pDevice->uBufferState = MIDI_BUF_NOT_OPEN;
    return result;
}

static UINT AttachBuffer(HWND hwndOwner, MidiDevice* pDevice, LPSTR pData, DWORD dwLength)
{
    if (!pData || !dwLength) {
        return MidiRefuse(hwndOwner, "Must specify a buffer and size", "MidiAssignBuffer");
    }
    pDevice->midiHdr.dwBufferLength = dwLength;
    pDevice->midiHdr.lpData = pData;
    MMRESULT result;
    if (pDevice->uDeviceType == MIDI_OUTPUT) {
        result = midiOutPrepareHeader(static_cast<HMIDIOUT>(pDevice->hDevice),
                                      SystemHeader(pDevice), sizeof(MidiHeader));
    } else {
        // An input buffer is useful only once the driver has it, so it is
        // queued straight away; a failed queueing leaves it prepared for the
        // release to undo.
        HMIDIIN handle = static_cast<HMIDIIN>(pDevice->hDevice);
        result = midiInPrepareHeader(handle, SystemHeader(pDevice), sizeof(MidiHeader));
        if (result == MMSYSERR_NOERROR) {
            result = midiInAddBuffer(handle, SystemHeader(pDevice), sizeof(MidiHeader));
        }
    }
    if (result != MMSYSERR_NOERROR) {
        MidiShowError(hwndOwner, result, pDevice->uDeviceType);
    }
    return result;
}

static MMRESULT ResetDevice(MidiDevice* pDevice)
{
    return pDevice->uDeviceType == MIDI_OUTPUT
               ? midiOutReset(static_cast<HMIDIOUT>(pDevice->hDevice))
               : midiInReset(static_cast<HMIDIIN>(pDevice->hDevice));
}

static UINT ReleaseBuffer(HWND hwndOwner, MidiDevice* pDevice)
{
    // Only a header marked done and nothing else is known to be back from the
    // driver; anything else may still be queued, and a reset hands it back.
    MMRESULT result = MMSYSERR_NOERROR;
    if (pDevice->midiHdr.dwFlags != MHDR_DONE) {
        result = ResetDevice(pDevice);
    }
    if (result == MMSYSERR_NOERROR) {
        result = pDevice->uDeviceType == MIDI_OUTPUT
                     ? midiOutUnprepareHeader(static_cast<HMIDIOUT>(pDevice->hDevice),
                                              SystemHeader(pDevice), sizeof(MidiHeader))
                     : midiInUnprepareHeader(static_cast<HMIDIIN>(pDevice->hDevice),
                                             SystemHeader(pDevice), sizeof(MidiHeader));
    }
    if (result != MMSYSERR_NOERROR) {
        MidiShowError(hwndOwner, result, pDevice->uDeviceType);
        return result;
    }
    pDevice->midiHdr.lpData = nullptr;
    pDevice->midiHdr.dwBufferLength = 0;
    pDevice->uBufferState = MIDI_BUF_IDLE;
    return MMSYSERR_NOERROR;
}

UINT MidiAssignBuffer(HWND hwndOwner, MidiDevice* pDevice, LPSTR pData, DWORD dwLength,
                      BOOL fAttach)
{
    if (!pDevice || (pDevice->uDeviceType != MIDI_INPUT && pDevice->uDeviceType != MIDI_OUTPUT)) {
        OutputDebugStringA("\r\nMidiAssignBuffer: uDeviceType bad");
        return MIDI_NONE;
    }
    if (!pDevice->hDevice) {
        return RefuseClosedDevice(hwndOwner, pDevice, fAttach);
    }
    return fAttach ? AttachBuffer(hwndOwner, pDevice, pData, dwLength)
                   : ReleaseBuffer(hwndOwner, pDevice);
}

// Takes the buffer back from a device the client still works on, after the
// user agrees. Output is quiet once reset, so its buffer counts as idle even
// if the release then fails; input stays marked in use until released.
static UINT TakeBackBuffer(HWND hwndOwner, MidiDevice* pDevice)
{
    bool output = pDevice->uDeviceType == MIDI_OUTPUT;
    int answer = MidiMessageBox(
        hwndOwner,
        output ? "MIDI output still in use - abandon it?" : "MIDI input still in use - abandon it?",
        "MidiActivateDevice", MB_YESNO);
    if (answer == IDNO) {
        return MIDI_DECLINED;
    }
    MMRESULT result = ResetDevice(pDevice);
    if (result != MMSYSERR_NOERROR) {
        MidiShowError(hwndOwner, result, pDevice->uDeviceType);
        return result;
    }
    if (output) {
        pDevice->uBufferState = MIDI_BUF_IDLE;
    }
    result = MidiAssignBuffer(hwndOwner, pDevice, nullptr, 0, FALSE);
    if (result != MMSYSERR_NOERROR) {
        // The release has shown its failure; this one says the abandon failed.
        MidiShowError(hwndOwner, result, pDevice->uDeviceType);
    }
    return result;
}

UINT MidiAbandonDevice(HWND hwndOwner, MidiDevice* pDevice)
{
    if (!pDevice->hDevice) {
        return MMSYSERR_NOERROR;
    }
    if (pDevice->uBufferState == MIDI_BUF_IN_USE) {
        UINT result = TakeBackBuffer(hwndOwner, pDevice);
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
    }
    return MidiCloseDevice(hwndOwner, pDevice);
}
