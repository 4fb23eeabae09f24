// The MIDI layer's shared helpers, beneath both its other files: the message
// boxes that report every failure, and the close.
#include "midi/layer.h"

#include <cstdio>

static const UINT kErrorTextSize = 128;

typedef MMRESULT(WINAPI* ErrorTextProc)(MMRESULT, LPSTR, UINT);

int MidiMessageBox(HWND hwndOwner, const char* pszText, const char* pszCaption, UINT uStyle)
{
    return MessageBoxA(hwndOwner, pszText, pszCaption, uStyle);
}

UINT MidiRefuse(HWND hwndOwner, const char* pszText, const char* pszOperation)
{
    MidiMessageBox(hwndOwner, pszText, pszOperation, MB_ICONERROR);
    return MIDI_NONE;
}

// A device is closed once. Wine's winmm frees the handle whatever the driver
// answers and gives the lowest free one to the next open, so a handle whose
// close was refused may already be another device's: the record forgets it
// before the failure is shown, since the box's loop may open one. Windows
// keeps a refused handle valid, but refuses only a close with long buffers
// still queued, which an abandon takes back first.
UINT MidiCloseDevice(HWND hwndOwner, MidiDevice* pDevice)
{
    MMRESULT result = pDevice->uDeviceType == MIDI_OUTPUT
                          ? midiOutClose(static_cast<HMIDIOUT>(pDevice->hDevice))
                          : midiInClose(static_cast<HMIDIIN>(pDevice->hDevice));
    pDevice->hDevice = nullptr;
    if (result != MMSYSERR_NOERROR) {
        MidiShowError(hwndOwner, result, pDevice->uDeviceType);
    }
    return result;
}

void MidiShowError(HWND hwndOwner, UINT uResult, UINT uDeviceType)
{
    ErrorTextProc getErrorText;
    const char* caption;
    if (uDeviceType == MIDI_INPUT) {
        getErrorText = midiInGetErrorTextA;
        caption = "MIDI Input Error";
    } else if (uDeviceType == MIDI_OUTPUT) {
        getErrorText = midiOutGetErrorTextA;
        caption = "MIDI Output Error";
    } else {
        OutputDebugStringA("MidiShowError: Bad MIDI device type\r\n");
        return;
    }
    char text[kErrorTextSize] = "";
    MMRESULT failure = getErrorText(uResult, text, sizeof text);
    if (failure != MMSYSERR_NOERROR) {
        // The system could not describe the code: say why instead.
        failure = getErrorText(failure, text, sizeof text);
    }
    if (failure != MMSYSERR_NOERROR) {
        // Not even that: the code itself is all the user can be given.
        snprintf(text, sizeof text, "MIDI error %u (no description available)", uResult);
    }
    text[sizeof text - 1] = '\0';
    MidiMessageBox(hwndOwner, text, caption, MB_TASKMODAL | MB_ICONERROR);
}
