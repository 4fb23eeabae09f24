// A recording stand-in for winmm.dll's MIDI services, loaded beside the tests.
// The real functions are defined here, not imported.
#define _WINMM_
#include "tests/winmm_double/winmm_double.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

WinmmDoubleState state = {
    0,  1, {}, {"Double Output 0", "Double Output 1", "Double Output 2", "Double Output 3"},
    {}, 0, {}, 0,
    0,  {}};

bool IsOpen(HANDLE h)
{
    return WinmmHandleOpen(&state, reinterpret_cast<UINT_PTR>(h));
}

MMRESULT Scripted(int call, int device)
{
    WinmmFailure& f = state.failures[call];
    if (f.code == MMSYSERR_NOERROR || f.times == 0) {
        return MMSYSERR_NOERROR;
    }
    if (f.device != WINMM_ANY_DEVICE && f.device != device) {
        return MMSYSERR_NOERROR;
    }
    if (f.times > 0) {
        f.times--;
    }
    return f.code;
}

// A call on a handle: refused unless the handle is open, then as scripted.
MMRESULT OnHandle(int call, HANDLE h)
{
    return IsOpen(h) ? Scripted(call, WINMM_ANY_DEVICE) : MMSYSERR_INVALHANDLE;
}

MMRESULT Log(int call, UINT_PTR handle, int device, DWORD arg, const void* pointer, DWORD flags,
             MMRESULT result)
{
    if (state.logCount < WINMM_LOG_SIZE) {
        state.log[state.logCount] = {
            call, handle, device, arg, reinterpret_cast<UINT_PTR>(pointer), flags, result};
    }
    state.logCount++;
    return result;
}

// Input headers the driver holds, by handle. A close drops the handle's
// entries; when the table is full the oldest entry gives way.
struct QueuedHeader {
    HANDLE handle;
    MIDIHDR* header;
};
QueuedHeader queued[16];
UINT queuedNext;

void Queue(HANDLE h, MIDIHDR* header)
{
    queued[queuedNext % 16] = {h, header};
    queuedNext++;
}

bool QueuedOn(HANDLE h)
{
    for (const QueuedHeader& q : queued) {
        if (q.header && q.handle == h) {
            return true;
        }
    }
    return false;
}

// A reset marks every buffer it hands back as done.
void HandBack(HANDLE h)
{
    for (QueuedHeader& q : queued) {
        if (q.header && q.handle == h) {
            q.header->dwFlags = (q.header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
            q = {};
        }
    }
}

void DropQueued(HANDLE h)
{
    for (QueuedHeader& q : queued) {
        if (q.handle == h) {
            q = {};
        }
    }
}

// Opens succeed for device numbers below the count and hand out the lowest
// free handle.
MMRESULT Open(int call, void* phandle, UINT id, UINT count, DWORD_PTR callback, DWORD flags)
{
    MMRESULT r = Scripted(call, static_cast<int>(id));
    if (r == MMSYSERR_NOERROR && id >= count) {
        r = MMSYSERR_BADDEVICEID;
    }
    UINT slot = 0;
    while (r == MMSYSERR_NOERROR && slot < WINMM_MAX_HANDLES && state.handleOpen[slot]) {
        slot++;
    }
    if (slot == WINMM_MAX_HANDLES) {
        r = MMSYSERR_NOMEM;
    }
    UINT_PTR h = 0;
    if (r == MMSYSERR_NOERROR) {
        h = WINMM_FIRST_HANDLE + slot;
        state.handleOpen[slot] = 1;
        state.opened++;
        *static_cast<HANDLE*>(phandle) = reinterpret_cast<HANDLE>(h);
    }
    return Log(call, h, static_cast<int>(id), flags, reinterpret_cast<void*>(callback), 0, r);
}

// The handle is freed whatever the driver answers.
MMRESULT Close(int call, HANDLE h)
{
    if (!IsOpen(h)) {
        return Log(call, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, 0, nullptr, 0,
                   MMSYSERR_INVALHANDLE);
    }
    MMRESULT r = Scripted(call, WINMM_ANY_DEVICE);
    if (r == MMSYSERR_NOERROR && call == W_midiInClose && QueuedOn(h)) {
        r = MIDIERR_STILLPLAYING;
    }
    state.closed++;
    state.handleOpen[reinterpret_cast<UINT_PTR>(h) - WINMM_FIRST_HANDLE] = 0;
    DropQueued(h);
    return Log(call, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, 0, nullptr, 0, r);
}

MMRESULT Caps(int call, UINT_PTR id, void* caps, UINT size, UINT count, const char (*names)[32],
              UINT fullSize)
{
    MMRESULT r = Scripted(call, static_cast<int>(id));
    if (r == MMSYSERR_NOERROR && id >= count) {
        r = MMSYSERR_BADDEVICEID;
    }
    if (r == MMSYSERR_NOERROR) {
        // wMid, wPid, vDriverVersion, then the product name at offset 8.
        unsigned char full[64] = {};
        full[0] = 1;
        full[2] = 2;
        memcpy(full + 8, names[id < WINMM_MAX_DEVICES ? id : 0], 32);
        memcpy(caps, full, size < fullSize ? size : fullSize);
    }
    return Log(call, 0, static_cast<int>(id), size, caps, 0, r);
}

// Header calls check their arguments and change the flags word the way the
// system does. `set` and `clear` apply on success.
MMRESULT Header(int call, HANDLE h, void* header, UINT size, MMRESULT check, DWORD set, DWORD clear)
{
    DWORD* flags = header ? &static_cast<MIDIHDR*>(header)->dwFlags : nullptr;
    DWORD before = flags ? *flags : 0;
    MMRESULT r = OnHandle(call, h);
    if (r == MMSYSERR_NOERROR) {
        r = check;
    }
    if (r == MMSYSERR_NOERROR && flags) {
        *flags = (*flags | set) & ~clear;
    }
    return Log(call, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, size, header, before, r);
}

// The system accepts the header without its trailing stream fields.
MMRESULT CheckHeader(const void* header, UINT size)
{
    return header && size >= offsetof(MIDIHDR, dwOffset) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

// An unprepare of a header the driver still holds is refused; one of a
// header that was never prepared does nothing.
MMRESULT Unprepare(int call, HANDLE h, MIDIHDR* header, UINT size)
{
    MMRESULT check = CheckHeader(header, size);
    if (check == MMSYSERR_NOERROR && (header->dwFlags & MHDR_INQUEUE)) {
        check = MIDIERR_STILLPLAYING;
    }
    return Header(call, h, header, size, check, 0, MHDR_PREPARED);
}

MMRESULT ErrorText(int call, MMRESULT code, char* text, UINT size)
{
    MMRESULT r = Scripted(call, WINMM_ANY_DEVICE);
    if (r == MMSYSERR_NOERROR && text && size) {
        snprintf(text, size, "Double error %u", static_cast<unsigned>(code));
    }
    return Log(call, 0, WINMM_ANY_DEVICE, code, text, 0, r);
}

}  // namespace

extern "C" {

WinmmDoubleState* WINAPI WinmmDoubleControl(void)
{
    return &state;
}

UINT WINAPI midiInGetNumDevs(void)
{
    Log(W_midiInGetNumDevs, 0, WINMM_ANY_DEVICE, state.inDevs, nullptr, 0, 0);
    return state.inDevs;
}

UINT WINAPI midiOutGetNumDevs(void)
{
    Log(W_midiOutGetNumDevs, 0, WINMM_ANY_DEVICE, state.outDevs, nullptr, 0, 0);
    return state.outDevs;
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR id, LPMIDIINCAPSA caps, UINT size)
{
    return Caps(W_midiInGetDevCapsA, id, caps, size, state.inDevs, state.inNames,
                sizeof(MIDIINCAPSA));
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR id, LPMIDIOUTCAPSA caps, UINT size)
{
    return Caps(W_midiOutGetDevCapsA, id, caps, size, state.outDevs, state.outNames,
                sizeof(MIDIOUTCAPSA));
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags)
{
    return Open(W_midiInOpen, handle, id, state.inDevs, callback, flags);
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags)
{
    return Open(W_midiOutOpen, handle, id, state.outDevs, callback, flags);
}

MMRESULT WINAPI midiInClose(HMIDIIN h)
{
    return Close(W_midiInClose, h);
}
MMRESULT WINAPI midiOutClose(HMIDIOUT h)
{
    return Close(W_midiOutClose, h);
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT h, DWORD msg)
{
    return Log(W_midiOutShortMsg, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, msg, nullptr, 0,
               OnHandle(W_midiOutShortMsg, h));
}

MMRESULT WINAPI midiInReset(HMIDIIN h)
{
    MMRESULT r = OnHandle(W_midiInReset, h);
    if (r == MMSYSERR_NOERROR) {
        HandBack(h);
    }
    return Log(W_midiInReset, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, 0, nullptr, 0, r);
}

MMRESULT WINAPI midiOutReset(HMIDIOUT h)
{
    return Log(W_midiOutReset, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, 0, nullptr, 0,
               OnHandle(W_midiOutReset, h));
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN h, LPMIDIHDR hdr, UINT size)
{
    return Header(W_midiInPrepareHeader, h, hdr, size, CheckHeader(hdr, size), MHDR_PREPARED,
                  MHDR_DONE);
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT h, LPMIDIHDR hdr, UINT size)
{
    return Header(W_midiOutPrepareHeader, h, hdr, size, CheckHeader(hdr, size), MHDR_PREPARED,
                  MHDR_DONE);
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN h, LPMIDIHDR hdr, UINT size)
{
    return Unprepare(W_midiInUnprepareHeader, h, hdr, size);
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT h, LPMIDIHDR hdr, UINT size)
{
    return Unprepare(W_midiOutUnprepareHeader, h, hdr, size);
}

// A queued input buffer stays with the driver until a reset hands it back.
MMRESULT WINAPI midiInAddBuffer(HMIDIIN h, LPMIDIHDR hdr, UINT size)
{
    MMRESULT check = CheckHeader(hdr, size);
    if (check == MMSYSERR_NOERROR && !(hdr->dwFlags & MHDR_PREPARED)) {
        check = MIDIERR_UNPREPARED;
    } else if (check == MMSYSERR_NOERROR && (hdr->dwFlags & MHDR_INQUEUE)) {
        check = MIDIERR_STILLPLAYING;
    }
    MMRESULT r = Header(W_midiInAddBuffer, h, hdr, size, check, MHDR_INQUEUE, MHDR_DONE);
    if (r == MMSYSERR_NOERROR) {
        Queue(h, hdr);
    }
    return r;
}

MMRESULT WINAPI midiOutSetVolume(HMIDIOUT h, DWORD volume)
{
    return Log(W_midiOutSetVolume, reinterpret_cast<UINT_PTR>(h), WINMM_ANY_DEVICE, volume, nullptr,
               0, OnHandle(W_midiOutSetVolume, h));
}

MMRESULT WINAPI midiInGetErrorTextA(MMRESULT code, LPSTR text, UINT size)
{
    return ErrorText(W_midiInGetErrorTextA, code, text, size);
}

MMRESULT WINAPI midiOutGetErrorTextA(MMRESULT code, LPSTR text, UINT size)
{
    return ErrorText(W_midiOutGetErrorTextA, code, text, size);
}

}  // extern "C"
