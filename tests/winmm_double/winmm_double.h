// Control block of the recording winmm.dll double, shared with the tests.
// The double stands in for the system's MIDI services: its device counts,
// names and failures are scripted, and every call it receives is logged.
#pragma once

#include <windows.h>
#include <mmsystem.h>

enum WinmmCall {
    W_midiInGetNumDevs,
    W_midiOutGetNumDevs,
    W_midiInGetDevCapsA,
    W_midiOutGetDevCapsA,
    W_midiInOpen,
    W_midiOutOpen,
    W_midiInClose,
    W_midiOutClose,
    W_midiOutShortMsg,
    W_midiInReset,
    W_midiOutReset,
    W_midiInPrepareHeader,
    W_midiOutPrepareHeader,
    W_midiInUnprepareHeader,
    W_midiOutUnprepareHeader,
    W_midiInAddBuffer,
    W_midiOutSetVolume,
    W_midiInGetErrorTextA,
    W_midiOutGetErrorTextA,
    W_CALL_COUNT
};

inline const char* WinmmCallName(int call)
{
    static const char* const names[] = {"midiInGetNumDevs",
                                        "midiOutGetNumDevs",
                                        "midiInGetDevCapsA",
                                        "midiOutGetDevCapsA",
                                        "midiInOpen",
                                        "midiOutOpen",
                                        "midiInClose",
                                        "midiOutClose",
                                        "midiOutShortMsg",
                                        "midiInReset",
                                        "midiOutReset",
                                        "midiInPrepareHeader",
                                        "midiOutPrepareHeader",
                                        "midiInUnprepareHeader",
                                        "midiOutUnprepareHeader",
                                        "midiInAddBuffer",
                                        "midiOutSetVolume",
                                        "midiInGetErrorTextA",
                                        "midiOutGetErrorTextA"};
    return call >= 0 && call < W_CALL_COUNT ? names[call] : "?";
}

enum {
    WINMM_MAX_DEVICES = 8,
    WINMM_LOG_SIZE = 4096,
    WINMM_ANY_DEVICE = -1,
    WINMM_FIRST_HANDLE = 0x1000,
    WINMM_MAX_HANDLES = 4096,
};

// One scripted failure: `code` is returned by the next `times` calls (-1:
// every call) of its kind, optionally only for one device number.
struct WinmmFailure {
    MMRESULT code;
    int times;
    int device;
};

// One logged call. `device` is the device number for calls that take one;
// `arg` holds the packed short message, the volume, the header size, the
// open flags or the code whose error text is asked for; `pointer` the header,
// the capabilities record, the error text buffer or the open's callback;
// `flags` the header's flags word as the call found it.
//
// Header calls behave as the system's do: a header size below
// offsetof(MIDIHDR, dwOffset) is refused with MMSYSERR_INVALPARAM; prepare
// sets MHDR_PREPARED and clears MHDR_DONE; midiInAddBuffer needs a prepared
// header that is not queued (MIDIERR_UNPREPARED, MIDIERR_STILLPLAYING), sets
// MHDR_INQUEUE and keeps the header until midiInReset hands it back with
// MHDR_DONE; unprepare refuses a queued header with MIDIERR_STILLPLAYING and
// clears MHDR_PREPARED; midiInClose refuses while a header is queued.
// A scripted failure comes before any of these checks.
struct WinmmRecord {
    int call;
    UINT_PTR handle;
    int device;
    DWORD arg;
    UINT_PTR pointer;
    DWORD flags;
    MMRESULT result;
};

struct WinmmDoubleState {
    UINT inDevs;
    UINT outDevs;
    char inNames[WINMM_MAX_DEVICES][32];
    char outNames[WINMM_MAX_DEVICES][32];
    WinmmFailure failures[W_CALL_COUNT];
    UINT logCount;  // calls made; only the first WINMM_LOG_SIZE are kept
    WinmmRecord log[WINMM_LOG_SIZE];
    UINT opened;  // successful opens, both directions
    UINT closed;  // handles a close freed, whatever it answered
    // As in Wine's winmm, an open takes the lowest free handle and a close
    // frees its handle whatever it answers; a call on a handle that is not
    // open answers MMSYSERR_INVALHANDLE.
    BYTE handleOpen[WINMM_MAX_HANDLES];  // by handle - WINMM_FIRST_HANDLE
};

inline bool WinmmHandleOpen(const WinmmDoubleState* s, UINT_PTR h)
{
    return h >= WINMM_FIRST_HANDLE && h < WINMM_FIRST_HANDLE + WINMM_MAX_HANDLES &&
           s->handleOpen[h - WINMM_FIRST_HANDLE];
}

typedef WinmmDoubleState*(WINAPI* WinmmDoubleControlProc)(void);
