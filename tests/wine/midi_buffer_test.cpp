// The MIDI layer's long-message buffer over the recording winmm double:
// attach, release, refusals on closed records, and abandoning a busy device.
#include <cstddef>
#include <cstring>

#include "tests/wine/midi_fixture.h"

namespace {

const UINT kDirections[] = {MIDI_INPUT, MIDI_OUTPUT};

char data[64] = "\xF0\x7E\x7F\x09\x01\xF7";

const char* MustOpenText(UINT direction)
{
    return direction == MIDI_INPUT ? "Must open MIDI input device first"
                                   : "Must open MIDI output device first";
}

const char* AbandonQuestion(UINT direction)
{
    return direction == MIDI_INPUT ? "MIDI input still in use - abandon it?"
                                   : "MIDI output still in use - abandon it?";
}

int ResetCall(UINT direction)
{
    return CallFor(direction, W_midiInReset, W_midiOutReset);
}
int CloseCall(UINT direction)
{
    return CallFor(direction, W_midiInClose, W_midiOutClose);
}
int UnprepareCall(UINT direction)
{
    return CallFor(direction, W_midiInUnprepareHeader, W_midiOutUnprepareHeader);
}

// Every header call names the record's device and header and passes the
// size of the short header, which the system accepts.
void ExpectHeaderCalls(const MidiDevice& record)
{
    for (const WinmmRecord& r : WinmmLog()) {
        if (r.call == W_midiInPrepareHeader || r.call == W_midiOutPrepareHeader ||
            r.call == W_midiInUnprepareHeader || r.call == W_midiOutUnprepareHeader ||
            r.call == W_midiInAddBuffer) {
            SCOPED_TRACE(WinmmCallName(r.call));
            EXPECT_EQ(r.handle, reinterpret_cast<UINT_PTR>(record.hDevice));
            EXPECT_EQ(r.pointer, reinterpret_cast<UINT_PTR>(&record.midiHdr));
            EXPECT_EQ(r.arg, sizeof(MidiHeader));
            EXPECT_EQ(r.arg, offsetof(MIDIHDR, dwOffset));
        }
    }
}

// --------------------------------------------------------------- attaching

using MidiAttach = MidiTest;

TEST_F(MidiAttach, PreparesTheShortHeaderAndQueuesInputAtOnce)
{
    struct {
        UINT direction;
        std::vector<int> calls;
        DWORD flags;
    } const cases[] = {
        {MIDI_OUTPUT, {W_midiOutPrepareHeader}, MHDR_PREPARED},
        {MIDI_INPUT, {W_midiInPrepareHeader, W_midiInAddBuffer}, MHDR_PREPARED | MHDR_INQUEUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction);
        MidiDevice record;
        Open(&record, c.direction);
        record.midiHdr.dwBytesRecorded = 7;
        record.midiHdr.dwUser = 0x55;
        record.midiHdr.reserved = 9;
        record.uBufferState = MIDI_BUF_NOT_OPEN;
        record.fBusy = TRUE;

        EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);

        EXPECT_EQ(CallSequence(), c.calls);
        ExpectHeaderCalls(record);
        EXPECT_EQ(record.midiHdr.lpData, data);
        EXPECT_EQ(record.midiHdr.dwBufferLength, 6u);
        EXPECT_EQ(record.midiHdr.dwFlags, c.flags);
        EXPECT_EQ(record.midiHdr.dwBytesRecorded, 7u);
        EXPECT_EQ(record.midiHdr.dwUser, 0x55u);
        EXPECT_EQ(record.midiHdr.reserved, 9u);
        EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN) << "attach keeps the state";
        EXPECT_EQ(record.fBusy, TRUE);
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiAttach, NeedsABufferAndALength)
{
    struct {
        LPSTR pointer;
        DWORD length;
    } const cases[] = {{nullptr, 16}, {data, 0}, {nullptr, 0}};
    for (UINT direction : kDirections) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "direction " << direction << ", length " << c.length);
            MidiDevice record;
            Open(&record, direction);
            record.uBufferState = MIDI_BUF_IN_USE;
            MidiDevice before;
            memcpy(&before, &record, sizeof record);

            EXPECT_EQ(MidiAssignBuffer(owner, &record, c.pointer, c.length, TRUE), MIDI_NONE);

            EXPECT_EQ(memcmp(&record, &before, sizeof record), 0) << "nothing changed";
            EXPECT_TRUE(WinmmLog().empty());
            ASSERT_EQ(CaughtDialogs().size(), 1u);
            ExpectBox(CaughtDialogs()[0], owner, "MidiAssignBuffer",
                      "Must specify a buffer and size", MB_ICONERROR);
        }
    }
}

TEST_F(MidiAttach, FailedPrepareOrQueueingIsShownAndKeepsTheBuffer)
{
    struct {
        UINT direction;
        int failCall;
        std::vector<int> calls;
        DWORD flags;  // a failed queueing leaves the header prepared
    } const cases[] = {
        {MIDI_OUTPUT, W_midiOutPrepareHeader, {W_midiOutPrepareHeader}, 0},
        {MIDI_INPUT, W_midiInPrepareHeader, {W_midiInPrepareHeader}, 0},
        {MIDI_INPUT, W_midiInAddBuffer, {W_midiInPrepareHeader, W_midiInAddBuffer}, MHDR_PREPARED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WinmmCallName(c.failCall));
        MidiDevice record;
        Open(&record, c.direction);
        FailWinmm(c.failCall, MMSYSERR_NOMEM, 1);

        EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), MMSYSERR_NOMEM);

        EXPECT_EQ(CallSequence(), c.calls);
        EXPECT_EQ(record.midiHdr.lpData, data);
        EXPECT_EQ(record.midiHdr.dwBufferLength, 6u);
        EXPECT_EQ(record.midiHdr.dwFlags, c.flags);
        ASSERT_EQ(CaughtDialogs().size(), 1u);
        ExpectErrorBox(CaughtDialogs()[0], owner, c.direction, MMSYSERR_NOMEM);

        // The release undoes whatever preparation there was.
        CaughtDialogs().clear();
        EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), 0u);
        EXPECT_EQ(record.midiHdr.dwFlags & MHDR_PREPARED, 0u);
        EXPECT_EQ(record.midiHdr.lpData, nullptr);
        EXPECT_TRUE(CaughtDialogs().empty());
    }
}

// ----------------------------------------------------------- closed records

using MidiClosedRecord = MidiTest;

TEST_F(MidiClosedRecord, OutputIsRefusedUntilTheReleaseThatFollows)
{
    MidiDevice record;
    Prepare(&record, MIDI_OUTPUT);

    EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), MIDI_NONE);
    EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
    EXPECT_EQ(record.midiHdr.lpData, nullptr);
    ASSERT_EQ(CaughtDialogs().size(), 1u);
    ExpectBox(CaughtDialogs()[0], owner, "MidiAssignBuffer", MustOpenText(MIDI_OUTPUT),
              MB_ICONERROR);

    EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), 0u);
    EXPECT_EQ(record.uBufferState, MIDI_BUF_IDLE);
    EXPECT_EQ(CaughtDialogs().size(), 1u) << "the release after a refusal is quiet";

    EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), MIDI_NONE);
    EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
    ASSERT_EQ(CaughtDialogs().size(), 2u);
    ExpectBox(CaughtDialogs()[1], owner, "MidiAssignBuffer", MustOpenText(MIDI_OUTPUT),
              MB_ICONERROR);
    EXPECT_TRUE(WinmmLog().empty());
}

TEST_F(MidiClosedRecord, InputStaysQuietAfterItsFirstRefusal)
{
    MidiDevice record;
    Prepare(&record, MIDI_INPUT);

    EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), MIDI_NONE);
    EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
    ASSERT_EQ(CaughtDialogs().size(), 1u);
    ExpectBox(CaughtDialogs()[0], owner, "MidiAssignBuffer", MustOpenText(MIDI_INPUT),
              MB_ICONERROR);

    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), 0u);
        EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
    }
    EXPECT_EQ(CaughtDialogs().size(), 1u);
    EXPECT_TRUE(WinmmLog().empty());
}

TEST_F(MidiClosedRecord, EveryAttachAndAnyOtherReleaseIsRefused)
{
    struct {
        BOOL attach;
        UINT state;
    } const cases[] = {
        {TRUE, MIDI_BUF_IDLE},  {TRUE, MIDI_BUF_IN_USE},  {TRUE, MIDI_BUF_NOT_OPEN},
        {FALSE, MIDI_BUF_IDLE}, {FALSE, MIDI_BUF_IN_USE},
    };
    for (UINT direction : kDirections) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", attach " << c.attach
                                            << ", state " << c.state);
            MidiDevice record;
            Prepare(&record, direction);
            CaughtDialogs().clear();
            record.uBufferState = c.state;

            EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, c.attach), MIDI_NONE);

            EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
            ASSERT_EQ(CaughtDialogs().size(), 1u);
            ExpectBox(CaughtDialogs()[0], owner, "MidiAssignBuffer", MustOpenText(direction),
                      MB_ICONERROR);
            EXPECT_TRUE(WinmmLog().empty());
        }
    }
}

TEST_F(MidiClosedRecord, BadDirectionGoesToTheDebuggerOnly)
{
    MidiDevice bad = {};
    bad.uBufferState = MIDI_BUF_IN_USE;
    int calls = 0;
    for (UINT type : {0u, 3u, static_cast<UINT>(MIDI_NONE)}) {
        bad.uDeviceType = type;
        for (BOOL attach : {TRUE, FALSE}) {
            EXPECT_EQ(MidiAssignBuffer(owner, &bad, data, 6, attach), MIDI_NONE);
            calls++;
        }
    }
    // A missing record is treated as one without a direction.
    EXPECT_EQ(MidiAssignBuffer(owner, nullptr, data, 6, TRUE), MIDI_NONE);
    calls++;

    EXPECT_EQ(DebugLines(),
              std::vector<std::string>(calls, "\r\nMidiAssignBuffer: uDeviceType bad"));
    EXPECT_EQ(bad.uBufferState, MIDI_BUF_IN_USE);
    EXPECT_EQ(bad.midiHdr.lpData, nullptr);
    EXPECT_TRUE(CaughtDialogs().empty());
    EXPECT_TRUE(WinmmLog().empty());
}

// --------------------------------------------------------------- releasing

using MidiRelease = MidiTest;

TEST_F(MidiRelease, ResetsFirstUnlessTheHeaderIsMarkedDoneAlone)
{
    struct {
        DWORD flags;
        bool reset;
    } const cases[] = {
        {MHDR_DONE, false},
        {MHDR_DONE | MHDR_PREPARED, true},
        {0, true},
        {MHDR_PREPARED, true},
    };
    for (UINT direction : kDirections) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", flags " << c.flags);
            MidiDevice record;
            Open(&record, direction);
            record.midiHdr.lpData = data;
            record.midiHdr.dwBufferLength = 6;
            record.midiHdr.dwFlags = c.flags;
            record.uBufferState = MIDI_BUF_NOT_OPEN;

            EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, FALSE), 0u);

            std::vector<int> calls = {UnprepareCall(direction)};
            if (c.reset) {
                calls.insert(calls.begin(), ResetCall(direction));
            }
            EXPECT_EQ(CallSequence(), calls);
            ExpectHeaderCalls(record);
            EXPECT_EQ(record.midiHdr.lpData, nullptr);
            EXPECT_EQ(record.midiHdr.dwBufferLength, 0u);
            EXPECT_EQ(record.uBufferState, MIDI_BUF_IDLE);
            EXPECT_NE(record.hDevice, nullptr);
        }
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiRelease, QueuedInputIsHandedBackBeforeItIsUnprepared)
{
    MidiDevice record;
    Open(&record, MIDI_INPUT);
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ClearWinmmLog();
        ASSERT_EQ(MidiAssignBuffer(owner, &record, data, sizeof data, TRUE), 0u);
        EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), 0u);

        EXPECT_EQ(CallSequence(), (std::vector<int>{W_midiInPrepareHeader, W_midiInAddBuffer,
                                                    W_midiInReset, W_midiInUnprepareHeader}));
        ExpectHeaderCalls(record);
        EXPECT_EQ(record.midiHdr.dwFlags, static_cast<DWORD>(MHDR_DONE));
        EXPECT_EQ(record.midiHdr.lpData, nullptr);
    }
    // Nothing is left with the driver, so the device closes.
    EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_CLOSE), 0u);
    EXPECT_EQ(record.hDevice, nullptr);
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiRelease, FailedResetOrUnprepareIsShownAndKeepsTheBuffer)
{
    for (UINT direction : kDirections) {
        for (int failCall : {ResetCall(direction), UnprepareCall(direction)}) {
            SCOPED_TRACE(WinmmCallName(failCall));
            MidiDevice record;
            Open(&record, direction);
            ASSERT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);
            record.uBufferState = MIDI_BUF_NOT_OPEN;
            ClearWinmmLog();
            FailWinmm(failCall, MMSYSERR_NOTSUPPORTED, 1);

            EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), MMSYSERR_NOTSUPPORTED);

            EXPECT_EQ(CallSequence().back(), failCall) << "nothing after the failure";
            EXPECT_EQ(record.midiHdr.lpData, data);
            EXPECT_EQ(record.midiHdr.dwBufferLength, 6u);
            EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
            ASSERT_EQ(CaughtDialogs().size(), 1u);
            ExpectErrorBox(CaughtDialogs()[0], owner, direction, MMSYSERR_NOTSUPPORTED);
        }
    }
}

// --------------------------------------------------------------- abandoning

using MidiAbandon = MidiTest;

TEST_F(MidiAbandon, DeviceNotInUseClosesAtOnceEvenWhenBusy)
{
    for (UINT direction : kDirections) {
        for (UINT state : {MIDI_BUF_IDLE, MIDI_BUF_NOT_OPEN}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", state " << state);
            MidiDevice record;
            Open(&record, direction);
            record.fBusy = TRUE;
            record.uBufferState = state;
            UINT_PTR handle = reinterpret_cast<UINT_PTR>(record.hDevice);

            EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), 0u);

            std::vector<WinmmRecord> log = WinmmLog();
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0].call, CloseCall(direction));
            EXPECT_EQ(log[0].handle, handle);
            EXPECT_EQ(record.hDevice, nullptr);
            EXPECT_EQ(record.uBufferState, state);
        }
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiAbandon, ClosedRecordNeedsNothing)
{
    for (UINT direction : kDirections) {
        MidiDevice record;
        Prepare(&record, direction);
        record.uDeviceId = 0;
        record.uBufferState = MIDI_BUF_IN_USE;

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), 0u);

        EXPECT_EQ(record.uBufferState, MIDI_BUF_IN_USE);
        EXPECT_TRUE(WinmmLog().empty());
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiAbandon, DeclinedQuestionChangesNothing)
{
    for (UINT direction : kDirections) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        MidiDevice record;
        Open(&record, direction);
        ASSERT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);
        record.uBufferState = MIDI_BUF_IN_USE;
        record.fBusy = TRUE;
        MidiDevice before;
        memcpy(&before, &record, sizeof record);
        ClearWinmmLog();
        QueueDialogAnswer(IDNO);

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MIDI_DECLINED);

        EXPECT_EQ(memcmp(&record, &before, sizeof record), 0);
        EXPECT_TRUE(WinmmLog().empty());
        ASSERT_EQ(CaughtDialogs().size(), 1u);
        ExpectBox(CaughtDialogs()[0], owner, "MidiActivateDevice", AbandonQuestion(direction),
                  MB_YESNO);
    }
}

TEST_F(MidiAbandon, AnyOtherAnswerTakesTheBufferBackAndCloses)
{
    for (UINT direction : kDirections) {
        for (int answer : {IDYES, IDCANCEL}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", answer " << answer);
            MidiDevice record;
            Open(&record, direction);
            ASSERT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);
            record.uBufferState = MIDI_BUF_IN_USE;
            ClearWinmmLog();
            CaughtDialogs().clear();
            QueueDialogAnswer(answer);

            EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), 0u);

            // The release resets once more: a header handed back is marked
            // done but is still prepared.
            EXPECT_EQ(CallSequence(),
                      (std::vector<int>{ResetCall(direction), ResetCall(direction),
                                        UnprepareCall(direction), CloseCall(direction)}));
            EXPECT_EQ(record.hDevice, nullptr);
            EXPECT_EQ(record.midiHdr.lpData, nullptr);
            EXPECT_EQ(record.midiHdr.dwBufferLength, 0u);
            EXPECT_EQ(record.uBufferState, MIDI_BUF_IDLE);
            ASSERT_EQ(CaughtDialogs().size(), 1u);
            EXPECT_EQ(CaughtDialogs()[0].text, AbandonQuestion(direction));
        }
    }
}

TEST_F(MidiAbandon, FailedReleaseIsShownTwiceAndKeepsTheDeviceOpen)
{
    struct {
        UINT direction;
        UINT state;  // output is quiet after its reset; input still holds the buffer
    } const cases[] = {{MIDI_OUTPUT, MIDI_BUF_IDLE}, {MIDI_INPUT, MIDI_BUF_IN_USE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction);
        MidiDevice record;
        Open(&record, c.direction);
        ASSERT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);
        record.uBufferState = MIDI_BUF_IN_USE;
        HANDLE handle = record.hDevice;
        ClearWinmmLog();
        CaughtDialogs().clear();
        QueueDialogAnswer(IDYES);
        FailWinmm(UnprepareCall(c.direction), MMSYSERR_NOTSUPPORTED, 1);

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MMSYSERR_NOTSUPPORTED);

        EXPECT_EQ(record.hDevice, handle);
        EXPECT_EQ(record.uBufferState, c.state);
        EXPECT_EQ(record.midiHdr.lpData, data);
        EXPECT_TRUE(WinmmCalls(CloseCall(c.direction)).empty());
        ASSERT_EQ(CaughtDialogs().size(), 3u);
        ExpectBox(CaughtDialogs()[0], owner, "MidiActivateDevice", AbandonQuestion(c.direction),
                  MB_YESNO);
        ExpectErrorBox(CaughtDialogs()[1], owner, c.direction, MMSYSERR_NOTSUPPORTED);
        ExpectErrorBox(CaughtDialogs()[2], owner, c.direction, MMSYSERR_NOTSUPPORTED);
    }
}

TEST_F(MidiAbandon, FailedResetIsShownAndKeepsTheBufferInUse)
{
    for (UINT direction : kDirections) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        MidiDevice record;
        Open(&record, direction);
        ASSERT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);
        record.uBufferState = MIDI_BUF_IN_USE;
        HANDLE handle = record.hDevice;
        ClearWinmmLog();
        CaughtDialogs().clear();
        QueueDialogAnswer(IDYES);
        FailWinmm(ResetCall(direction), MMSYSERR_INVALHANDLE, 1);

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MMSYSERR_INVALHANDLE);

        EXPECT_EQ(CallSequence(), std::vector<int>{ResetCall(direction)});
        EXPECT_EQ(record.hDevice, handle);
        EXPECT_EQ(record.uBufferState, MIDI_BUF_IN_USE);
        EXPECT_EQ(record.midiHdr.lpData, data);
        ASSERT_EQ(CaughtDialogs().size(), 2u);
        ExpectErrorBox(CaughtDialogs()[1], owner, direction, MMSYSERR_INVALHANDLE);
    }
}

TEST_F(MidiAbandon, FailedCloseIsShownAndForgetsTheHandle)
{
    for (UINT direction : kDirections) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        MidiDevice record;
        Open(&record, direction);
        FailWinmm(CloseCall(direction), MMSYSERR_ERROR, 1);

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MMSYSERR_ERROR);

        EXPECT_EQ(record.hDevice, nullptr);
        ASSERT_EQ(CaughtDialogs().size(), 1u);
        ExpectErrorBox(CaughtDialogs()[0], owner, direction, MMSYSERR_ERROR);
    }
}

TEST_F(MidiAbandon, InputBufferNotMarkedInUseKeepsTheDeviceFromClosing)
{
    // Without the in-use mark nothing is reset, and the system refuses to
    // close an input device that still holds a queued buffer (Wine frees
    // the handle all the same).
    MidiDevice record;
    Open(&record, MIDI_INPUT);
    ASSERT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), 0u);
    ClearWinmmLog();

    EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MIDIERR_STILLPLAYING);

    EXPECT_EQ(CallSequence(), std::vector<int>{W_midiInClose});
    EXPECT_EQ(record.hDevice, nullptr);
    ASSERT_EQ(CaughtDialogs().size(), 1u);
    ExpectErrorBox(CaughtDialogs()[0], owner, MIDI_INPUT, MIDIERR_STILLPLAYING);
}

}  // namespace
