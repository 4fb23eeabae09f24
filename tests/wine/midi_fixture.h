// Set-up shared by the MIDI layer's test programs, which link the layer into
// themselves over the recording winmm double, and checks of what the user is
// shown.
#pragma once

#include <cstring>
#include <string>
#include <vector>

// These programs link the MIDI layer itself, so they read its header.
#include "midi/midi.h"
#include "tests/wine/harness.h"

// Text the winmm double gives for a code, as a message box shows it.
inline std::string DoubleErrorText(UINT code)
{
    return "Double error " + std::to_string(code);
}

inline const char* ErrorCaption(UINT direction)
{
    return direction == MIDI_INPUT ? "MIDI Input Error" : "MIDI Output Error";
}

// The box as it appeared and as it was asked for: owner, caption, text, the
// style passed, and the buttons and icon that style puts on the screen.
inline void ExpectBox(const CaughtDialog& box, HWND owner, const char* caption,
                      const std::string& text, UINT style)
{
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.style, style);
    std::vector<int> buttons = {IDOK};
    if ((style & MB_TYPEMASK) == MB_YESNO) {
        buttons = {IDYES, IDNO};
    }
    EXPECT_EQ(box.buttons, buttons);
    EXPECT_EQ(box.icon, (style & MB_ICONMASK) == MB_ICONERROR ? "error" : "");
}

// A system error shown the layer's way: task-modal, error icon, the system's text.
inline void ExpectErrorBox(const CaughtDialog& box, HWND owner, UINT direction, UINT code)
{
    ExpectBox(box, owner, ErrorCaption(direction), DoubleErrorText(code),
              MB_TASKMODAL | MB_ICONERROR);
}

// The one box shown since the boxes were last cleared.
inline void ExpectOnlyBox(HWND owner, const char* caption, const std::string& text, UINT style)
{
    ASSERT_EQ(CaughtDialogs().size(), 1u);
    ExpectBox(CaughtDialogs()[0], owner, caption, text, style);
}

inline void ExpectOnlyErrorBox(HWND owner, UINT direction, UINT code)
{
    ASSERT_EQ(CaughtDialogs().size(), 1u);
    ExpectErrorBox(CaughtDialogs()[0], owner, direction, code);
}

// The kinds of the device calls logged since the last clear, in order; the
// error texts asked for show in the boxes instead.
inline std::vector<int> CallSequence()
{
    std::vector<int> calls;
    for (const WinmmRecord& r : WinmmLog()) {
        if (r.call != W_midiInGetErrorTextA && r.call != W_midiOutGetErrorTextA) {
            calls.push_back(r.call);
        }
    }
    return calls;
}

// The call of a record's direction.
inline int CallFor(UINT direction, int inputCall, int outputCall)
{
    return direction == MIDI_INPUT ? inputCall : outputCall;
}

class MidiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetWinmm(2, 3);
        CatchDebugOutput();
        DebugLines().clear();
        RecordMessageBoxStylesOf(GetModuleHandleA(nullptr));
        StartCatchingDialogs();
        owner = CreateWindowExA(0, "STATIC", "MIDI test owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 320, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
        PumpMessages();
    }

    void TearDown() override
    {
        DestroyWindow(owner);
        PumpMessages();
        StopCatchingDialogs();
    }

    // A record of one direction as MidiInit leaves it, with the log cleared.
    void Prepare(MidiDevice* record, UINT direction)
    {
        memset(record, 0, sizeof *record);
        ASSERT_EQ(MidiInit(direction == MIDI_INPUT ? record : nullptr,
                           direction == MIDI_OUTPUT ? record : nullptr),
                  1u);
        ClearWinmmLog();
    }

    // The same, opened on `device`; the handle is the one the system gave.
    void Open(MidiDevice* record, UINT direction, UINT device = 0)
    {
        Prepare(record, direction);
        record->uDeviceId = device;
        ASSERT_EQ(MidiActivateDevice(owner, record, MIDI_OPEN), 0u);
        ASSERT_NE(record->hDevice, nullptr);
        ClearWinmmLog();
        CaughtDialogs().clear();
    }

    // The same, with six bytes of `data` attached and the buffer marked
    // `state` by the client; the log is cleared.
    void OpenWithBuffer(MidiDevice* record, UINT direction, UINT state = MIDI_BUF_IN_USE)
    {
        Open(record, direction);
        ASSERT_EQ(MidiAssignBuffer(owner, record, data, 6, TRUE), 0u);
        record->uBufferState = state;
        ClearWinmmLog();
    }

    HWND owner = nullptr;
    char data[64] = "\xF0\x7E\x7F\x09\x01\xF7";
};
