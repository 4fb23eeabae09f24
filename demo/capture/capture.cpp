// A stand-in winmm.dll for machines without MIDI hardware: one virtual output
// device, "Morva Capture", that records every message it receives with its
// time and writes them as a Standard MIDI File when a handle is closed and
// when the process ends. The file's path is MORVA_CAPTURE_MID, or
// capture.mid beside this DLL. There is no input device.
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo/smf.h"

namespace {

const char kDeviceName[] = "Morva Capture";
const DWORD kHandleTag = 0x4D435054;  // "MCPT"

struct OutputHandle {
    DWORD tag;
    DWORD callbackType;  // CALLBACK_NULL, _WINDOW, _THREAD, _FUNCTION or _EVENT
    DWORD_PTR callback;
    DWORD_PTR instance;
};

// All of the device's state; every export takes the lock.
CRITICAL_SECTION lock;
HMODULE hSelf;                       // set at attach, for the default file path
std::vector<OutputHandle*> handles;  // open handles, for validation
std::vector<SmfEvent> events;        // everything received so far, in order
LARGE_INTEGER origin;                // counter at the first message
bool started;                        // a message has arrived
bool unsaved;                        // events not yet in the file
DWORD volume = 0xFFFFFFFF;           // left in the low word, right in the high word
unsigned char sounding[16][128];     // note-ons not yet ended, per channel and note
BYTE runningStatus;                  // last channel status, for messages that omit it

struct Lock {
    Lock() { EnterCriticalSection(&lock); }
    ~Lock() { LeaveCriticalSection(&lock); }
};

OutputHandle* FindHandle(HMIDIOUT h)
{
    auto it = std::find(handles.begin(), handles.end(), reinterpret_cast<OutputHandle*>(h));
    return it == handles.end() ? nullptr : *it;
}

void Notify(const OutputHandle* h, UINT msg, DWORD_PTR param)
{
    HMIDIOUT out = reinterpret_cast<HMIDIOUT>(const_cast<OutputHandle*>(h));
    switch (h->callbackType) {
    case CALLBACK_WINDOW:
        PostMessageA(reinterpret_cast<HWND>(h->callback),
                     msg == MOM_OPEN    ? MM_MOM_OPEN
                     : msg == MOM_CLOSE ? MM_MOM_CLOSE
                                        : MM_MOM_DONE,
                     reinterpret_cast<WPARAM>(out), static_cast<LPARAM>(param));
        break;
    case CALLBACK_THREAD:
        PostThreadMessageA(static_cast<DWORD>(h->callback),
                           msg == MOM_OPEN    ? MM_MOM_OPEN
                           : msg == MOM_CLOSE ? MM_MOM_CLOSE
                                              : MM_MOM_DONE,
                           reinterpret_cast<WPARAM>(out), static_cast<LPARAM>(param));
        break;
    case CALLBACK_FUNCTION:
        if (h->callback) {
            reinterpret_cast<void(CALLBACK*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(
                h->callback)(out, msg, h->instance, param, 0);
        }
        break;
    case CALLBACK_EVENT:
        SetEvent(reinterpret_cast<HANDLE>(h->callback));
        break;
    default:
        break;
    }
}

uint32_t Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    if (!started) {
        origin = now;
        started = true;
    }
    QueryPerformanceFrequency(&frequency);
    return TicksFromCounter(now.QuadPart - origin.QuadPart, frequency.QuadPart);
}

void Record(std::vector<uint8_t> bytes)
{
    if (bytes.empty()) {
        return;
    }
    events.push_back({Now(), std::move(bytes)});
    unsaved = true;
}

void RecordText(const char* text)
{
    std::vector<uint8_t> bytes = {0xFF, 0x01};
    size_t length = strlen(text);
    AppendVarLen(bytes, static_cast<uint32_t>(length));
    bytes.insert(bytes.end(), text, text + length);
    Record(std::move(bytes));
}

std::string CapturePath()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("MORVA_CAPTURE_MID", path, sizeof path);
    if (n > 0 && n < sizeof path) {
        return path;
    }
    n = GetModuleFileNameA(hSelf, path, sizeof path);
    std::string p(path, n < sizeof path ? n : 0);
    size_t slash = p.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + "capture.mid";
}

// Replaces the file in one step, so a reader never sees half a file.
void WriteCapture()
{
    std::vector<uint8_t> bytes = EncodeSmf(events);
    std::string path = CapturePath();
    std::string temp = path + ".tmp";
    HANDLE f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        OutputDebugStringA("Morva Capture: cannot write the MIDI file\n");
        return;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(f);
    if (ok && MoveFileExA(temp.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        unsaved = false;
    } else {
        DeleteFileA(temp.c_str());
    }
}

// Note-ons are tracked so that a reset can end them in the file as the
// device would end them in a synthesizer.
void TrackNotes(const std::vector<uint8_t>& message)
{
    if (message.size() != 3) {
        return;
    }
    int type = message[0] & 0xF0;
    int channel = message[0] & 0x0F;
    int note = message[1];
    if (type == 0x90 && message[2] > 0) {
        if (sounding[channel][note] < 255) {
            sounding[channel][note]++;
        }
    } else if (type == 0x80 || type == 0x90) {
        sounding[channel][note] = 0;
    }
}

void EndSoundingNotes()
{
    for (int channel = 0; channel < 16; channel++) {
        for (int note = 0; note < 128; note++) {
            if (sounding[channel][note]) {
                Record({static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(note), 0});
                sounding[channel][note] = 0;
            }
        }
    }
}

bool ValidOutputId(UINT_PTR id)
{
    return id == 0 || id == static_cast<UINT_PTR>(MIDI_MAPPER) ||
           static_cast<UINT>(id) == MIDI_MAPPER;
}

MMRESULT ErrorText(MMRESULT code, LPSTR text, UINT size)
{
    if (!text || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const char* message = nullptr;
    switch (code) {
    case MMSYSERR_NOERROR:
        message = "The specified command was carried out.";
        break;
    case MMSYSERR_ERROR:
        message = "Undefined external error.";
        break;
    case MMSYSERR_BADDEVICEID:
        message = "A device ID has been used that is out of range for your system.";
        break;
    case MMSYSERR_NOTENABLED:
        message = "The driver was not enabled.";
        break;
    case MMSYSERR_ALLOCATED:
        message =
            "The specified device is already in use. Wait until it is free, and then try again.";
        break;
    case MMSYSERR_INVALHANDLE:
        message = "The specified device handle is invalid.";
        break;
    case MMSYSERR_NODRIVER:
        message = "There is no driver installed on your system!";
        break;
    case MMSYSERR_NOMEM:
        message = "There is not enough memory available for this task.";
        break;
    case MMSYSERR_NOTSUPPORTED:
        message = "This function is not supported.";
        break;
    case MMSYSERR_INVALFLAG:
        message = "An invalid flag was passed to a system function.";
        break;
    case MMSYSERR_INVALPARAM:
        message = "An invalid parameter was passed to a system function.";
        break;
    case MIDIERR_UNPREPARED:
        message = "The header has not been prepared.";
        break;
    case MIDIERR_STILLPLAYING:
        message = "Cannot perform this operation while media data is still playing.";
        break;
    case MIDIERR_NOTREADY:
        message = "The port is transmitting data to the device.";
        break;
    default:
        break;
    }
    if (!message) {
        snprintf(text, size, "Unknown MIDI error %u.", static_cast<unsigned>(code));
        return MMSYSERR_BADERRNUM;
    }
    lstrcpynA(text, message, static_cast<int>(size));
    return MMSYSERR_NOERROR;
}

// A header given with an open output, as winmm checks it; the lock is held.
MMRESULT CheckHeader(HMIDIOUT out, LPMIDIHDR header, UINT size)
{
    if (!FindHandle(out)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!header || size < offsetof(MIDIHDR, dwOffset)) {
        return MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        hSelf = instance;
        InitializeCriticalSection(&lock);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        // Whatever arrived after the last close is not lost when the process
        // simply ends.
        if (unsaved) {
            WriteCapture();
        }
        DeleteCriticalSection(&lock);
        break;
    default:
        break;
    }
    return TRUE;
}

UINT WINAPI midiOutGetNumDevs(void)
{
    return 1;
}
UINT WINAPI midiInGetNumDevs(void)
{
    return 0;
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR id, LPMIDIOUTCAPSA caps, UINT size)
{
    Lock held;
    if (!ValidOutputId(id) && !FindHandle(reinterpret_cast<HMIDIOUT>(id))) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!caps) {
        return MMSYSERR_INVALPARAM;
    }
    MIDIOUTCAPSA full = {};
    full.wMid = 0xFFFF;  // no registered manufacturer
    full.wPid = 0xFFFF;
    full.vDriverVersion = 0x0100;
    lstrcpynA(full.szPname, kDeviceName, sizeof full.szPname);
    full.wTechnology = MOD_SWSYNTH;
    full.wVoices = 16;
    full.wNotes = 128;
    full.wChannelMask = 0xFFFF;
    full.dwSupport = MIDICAPS_VOLUME | MIDICAPS_LRVOLUME;
    memcpy(caps, &full, std::min<size_t>(size, sizeof full));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR, LPMIDIINCAPSA, UINT)
{
    return MMSYSERR_BADDEVICEID;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT out, UINT id, DWORD_PTR callback, DWORD_PTR instance,
                            DWORD flags)
{
    if (!out) {
        return MMSYSERR_INVALPARAM;
    }
    if (!ValidOutputId(id)) {
        return MMSYSERR_BADDEVICEID;
    }
    OutputHandle* h = new OutputHandle{kHandleTag, flags & CALLBACK_TYPEMASK, callback, instance};
    {
        Lock held;
        handles.push_back(h);
    }
    *out = reinterpret_cast<HMIDIOUT>(h);
    Notify(h, MOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD)
{
    return MMSYSERR_BADDEVICEID;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT out)
{
    OutputHandle* h;
    {
        Lock held;
        h = FindHandle(out);
        if (!h) {
            return MMSYSERR_INVALHANDLE;
        }
        handles.erase(std::find(handles.begin(), handles.end(), h));
        WriteCapture();
    }
    Notify(h, MOM_CLOSE, 0);
    h->tag = 0;
    delete h;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInClose(HMIDIIN)
{
    return MMSYSERR_INVALHANDLE;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT out, DWORD message)
{
    Lock held;
    if (!FindHandle(out)) {
        return MMSYSERR_INVALHANDLE;
    }
    BYTE status = static_cast<BYTE>(message);
    if (status < 0x80 && runningStatus) {
        // A message without a status byte repeats the last channel status.
        message = (message << 8) | runningStatus;
    } else if (status >= 0x80 && status < 0xF0) {
        runningStatus = status;
    }
    std::vector<uint8_t> event = ShortMessageEvent(message);
    TrackNotes(event);
    Record(std::move(event));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT out, LPMIDIHDR header, UINT size)
{
    OutputHandle* h;
    {
        Lock held;
        h = FindHandle(out);
        if (!h) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!header || size < offsetof(MIDIHDR, dwOffset) || !header->lpData) {
            return MMSYSERR_INVALPARAM;
        }
        if (!(header->dwFlags & MHDR_PREPARED)) {
            return MIDIERR_UNPREPARED;
        }
        const uint8_t* data = reinterpret_cast<const uint8_t*>(header->lpData);
        DWORD length = header->dwBufferLength;
        if (length > 0) {
            // System exclusive: F0 then the length of what follows it.
            bool sysex = data[0] == 0xF0;
            std::vector<uint8_t> event = {static_cast<uint8_t>(sysex ? 0xF0 : 0xF7)};
            AppendVarLen(event, sysex ? length - 1 : length);
            event.insert(event.end(), data + (sysex ? 1 : 0), data + length);
            Record(std::move(event));
        }
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    }
    Notify(h, MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutReset(HMIDIOUT out)
{
    Lock held;
    if (!FindHandle(out)) {
        return MMSYSERR_INVALHANDLE;
    }
    EndSoundingNotes();
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInReset(HMIDIIN)
{
    return MMSYSERR_INVALHANDLE;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT size)
{
    Lock held;
    MMRESULT checked = CheckHeader(out, header, size);
    if (checked != MMSYSERR_NOERROR) {
        return checked;
    }
    header->dwFlags = (header->dwFlags | MHDR_PREPARED) & ~MHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT size)
{
    Lock held;
    MMRESULT checked = CheckHeader(out, header, size);
    if (checked != MMSYSERR_NOERROR) {
        return checked;
    }
    if (header->dwFlags & MHDR_INQUEUE) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN, LPMIDIHDR, UINT)
{
    return MMSYSERR_INVALHANDLE;
}
MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN, LPMIDIHDR, UINT)
{
    return MMSYSERR_INVALHANDLE;
}
MMRESULT WINAPI midiInAddBuffer(HMIDIIN, LPMIDIHDR, UINT)
{
    return MMSYSERR_INVALHANDLE;
}
MMRESULT WINAPI midiInStart(HMIDIIN)
{
    return MMSYSERR_INVALHANDLE;
}
MMRESULT WINAPI midiInStop(HMIDIIN)
{
    return MMSYSERR_INVALHANDLE;
}

// The device volume is not a MIDI message; it goes into the file as a text
// event so that a listener can see what the player asked for.
MMRESULT WINAPI midiOutSetVolume(HMIDIOUT out, DWORD newVolume)
{
    Lock held;
    // A handle below the device count names the device by number.
    if (!FindHandle(out) && reinterpret_cast<UINT_PTR>(out) != 0) {
        return MMSYSERR_INVALHANDLE;
    }
    volume = newVolume;
    char text[64];
    snprintf(text, sizeof text, "device volume %u/%u", static_cast<unsigned>(LOWORD(newVolume)),
             static_cast<unsigned>(HIWORD(newVolume)));
    RecordText(text);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutGetVolume(HMIDIOUT out, LPDWORD result)
{
    Lock held;
    if (!FindHandle(out) && reinterpret_cast<UINT_PTR>(out) != 0) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!result) {
        return MMSYSERR_INVALPARAM;
    }
    *result = volume;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutGetErrorTextA(MMRESULT code, LPSTR text, UINT size)
{
    return ErrorText(code, text, size);
}

MMRESULT WINAPI midiInGetErrorTextA(MMRESULT code, LPSTR text, UINT size)
{
    return ErrorText(code, text, size);
}

}  // extern "C"
