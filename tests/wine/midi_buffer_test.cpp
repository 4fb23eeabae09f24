// The MIDI layer's long-message buffer over the recording winmm double:
// attach, release, refusals on closed records, and abandoning a busy device.
#include <cstddef>
#include <cstring>

#include "tests/wine/midi_fixture.h"

namespace {

const UINT kDirections[] = {MIDI_INPUT, MIDI_OUTPUT};

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

TEST_F(MidiAttach, PreparesTheShortHeaderQueuesInputAtOnceAndShowsAFailure)
{
    struct {
        UINT direction;
        int failCall;  // -1: none
        std::vector<int> calls;
        DWORD flags;  // a failed queueing leaves the header prepared
    } const cases[] = {
        {MIDI_OUTPUT, -1, {W_midiOutPrepareHeader}, MHDR_PREPARED},
        {MIDI_INPUT, -1, {W_midiInPrepareHeader, W_midiInAddBuffer}, MHDR_PREPARED | MHDR_INQUEUE},
        {MIDI_OUTPUT, W_midiOutPrepareHeader, {W_midiOutPrepareHeader}, 0},
        {MIDI_INPUT, W_midiInPrepareHeader, {W_midiInPrepareHeader}, 0},
        {MIDI_INPUT, W_midiInAddBuffer, {W_midiInPrepareHeader, W_midiInAddBuffer}, MHDR_PREPARED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << ", failing "
                                        << (c.failCall < 0 ? "none" : WinmmCallName(c.failCall)));
        MidiDevice record;
        Open(&record, c.direction);
        record.midiHdr.dwBytesRecorded = 7;
        record.midiHdr.dwUser = 0x55;
        record.midiHdr.reserved = 9;
        record.uBufferState = MIDI_BUF_NOT_OPEN;
        record.fBusy = TRUE;
        UINT code = c.failCall < 0 ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
        if (c.failCall >= 0) {
            FailWinmm(c.failCall, code, 1);
        }

        EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, TRUE), code);

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
        if (c.failCall >= 0) {
            ExpectOnlyErrorBox(owner, c.direction, code);
        } else {
            EXPECT_TRUE(CaughtDialogs().empty());
        }

        // The release undoes whatever preparation there was.
        CaughtDialogs().clear();
        EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), 0u);
        EXPECT_EQ(record.midiHdr.dwFlags & MHDR_PREPARED, 0u);
        EXPECT_EQ(record.midiHdr.lpData, nullptr);
        EXPECT_TRUE(CaughtDialogs().empty());
    }
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
            ExpectOnlyBox(owner, "MidiAssignBuffer", "Must specify a buffer and size",
                          MB_ICONERROR);
        }
    }
}

// ----------------------------------------------------------- closed records

using MidiClosedRecord = MidiTest;

// A closed record refuses every call, except that the release following a
// refusal is quiet. Output takes its mark off with that release, so the next
// one is refused again; input keeps the mark and stays quiet.
TEST_F(MidiClosedRecord, RefusesAllButTheReleaseAfterARefusal)
{
    struct {
        BOOL attach;
        UINT state;
    } const cases[] = {
        {TRUE, MIDI_BUF_IDLE},  {TRUE, MIDI_BUF_IN_USE},  {TRUE, MIDI_BUF_NOT_OPEN},
        {FALSE, MIDI_BUF_IDLE}, {FALSE, MIDI_BUF_IN_USE},
    };
    for (UINT direction : kDirections) {
        bool output = direction == MIDI_OUTPUT;
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", attach " << c.attach
                                            << ", state " << c.state);
            MidiDevice record;
            Prepare(&record, direction);
            CaughtDialogs().clear();
            record.uBufferState = c.state;

            EXPECT_EQ(MidiAssignBuffer(owner, &record, data, 6, c.attach), MIDI_NONE);
            EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
            EXPECT_EQ(record.midiHdr.lpData, nullptr);
            ExpectOnlyBox(owner, "MidiAssignBuffer", MustOpenText(direction), MB_ICONERROR);

            EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), 0u);
            EXPECT_EQ(record.uBufferState, output ? MIDI_BUF_IDLE : MIDI_BUF_NOT_OPEN);
            EXPECT_EQ(CaughtDialogs().size(), 1u) << "the release after a refusal is quiet";

            EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), output ? MIDI_NONE : 0u);
            EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
            ASSERT_EQ(CaughtDialogs().size(), output ? 2u : 1u);
            ExpectBox(CaughtDialogs().back(), owner, "MidiAssignBuffer", MustOpenText(direction),
                      MB_ICONERROR);
            EXPECT_TRUE(WinmmLog().empty());
        }
    }
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
            OpenWithBuffer(&record, direction, MIDI_BUF_NOT_OPEN);
            FailWinmm(failCall, MMSYSERR_NOTSUPPORTED, 1);

            EXPECT_EQ(MidiAssignBuffer(owner, &record, nullptr, 0, FALSE), MMSYSERR_NOTSUPPORTED);

            EXPECT_EQ(CallSequence().back(), failCall) << "nothing after the failure";
            EXPECT_EQ(record.midiHdr.lpData, data);
            EXPECT_EQ(record.midiHdr.dwBufferLength, 6u);
            EXPECT_EQ(record.uBufferState, MIDI_BUF_NOT_OPEN);
            ExpectOnlyErrorBox(owner, direction, MMSYSERR_NOTSUPPORTED);
        }
    }
}

// --------------------------------------------------------------- abandoning

using MidiAbandon = MidiTest;

TEST_F(MidiAbandon, DeclinedQuestionChangesNothing)
{
    for (UINT direction : kDirections) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        MidiDevice record;
        OpenWithBuffer(&record, direction);
        record.fBusy = TRUE;
        MidiDevice before;
        memcpy(&before, &record, sizeof record);
        QueueDialogAnswer(IDNO);

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MIDI_DECLINED);

        EXPECT_EQ(memcmp(&record, &before, sizeof record), 0);
        EXPECT_TRUE(WinmmLog().empty());
        ExpectOnlyBox(owner, "MidiActivateDevice", AbandonQuestion(direction), MB_YESNO);
    }
}

TEST_F(MidiAbandon, AnyOtherAnswerTakesTheBufferBackAndCloses)
{
    for (UINT direction : kDirections) {
        for (int answer : {IDYES, IDCANCEL}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", answer " << answer);
            MidiDevice record;
            OpenWithBuffer(&record, direction);
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

// A failed reset is shown once; a failed release is shown by the release and
// again by the abandon. Output is quiet after its reset, so its buffer counts
// as idle; input still holds it.
TEST_F(MidiAbandon, FailedResetOrReleaseIsShownAndKeepsTheDeviceOpen)
{
    struct {
        UINT direction;
        int failCall;
        std::vector<int> calls;
        UINT state;
        size_t errorBoxes;
    } const cases[] = {
        {MIDI_OUTPUT, W_midiOutReset, {W_midiOutReset}, MIDI_BUF_IN_USE, 1},
        {MIDI_INPUT, W_midiInReset, {W_midiInReset}, MIDI_BUF_IN_USE, 1},
        {MIDI_OUTPUT,
         W_midiOutUnprepareHeader,
         {W_midiOutReset, W_midiOutReset, W_midiOutUnprepareHeader},
         MIDI_BUF_IDLE,
         2},
        {MIDI_INPUT,
         W_midiInUnprepareHeader,
         {W_midiInReset, W_midiInReset, W_midiInUnprepareHeader},
         MIDI_BUF_IN_USE,
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WinmmCallName(c.failCall));
        MidiDevice record;
        OpenWithBuffer(&record, c.direction);
        HANDLE handle = record.hDevice;
        QueueDialogAnswer(IDYES);
        FailWinmm(c.failCall, MMSYSERR_NOTSUPPORTED, 1);

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MMSYSERR_NOTSUPPORTED);

        EXPECT_EQ(CallSequence(), c.calls);
        EXPECT_EQ(record.hDevice, handle);
        EXPECT_EQ(record.uBufferState, c.state);
        EXPECT_EQ(record.midiHdr.lpData, data);
        ASSERT_EQ(CaughtDialogs().size(), 1 + c.errorBoxes);
        ExpectBox(CaughtDialogs()[0], owner, "MidiActivateDevice", AbandonQuestion(c.direction),
                  MB_YESNO);
        for (size_t i = 1; i <= c.errorBoxes; i++) {
            ExpectErrorBox(CaughtDialogs()[i], owner, c.direction, MMSYSERR_NOTSUPPORTED);
        }
    }
}

TEST_F(MidiAbandon, InputBufferNotMarkedInUseKeepsTheDeviceFromClosing)
{
    // Without the in-use mark nothing is reset, and the system refuses to
    // close an input device that still holds a queued buffer (Wine frees
    // the handle all the same).
    MidiDevice record;
    OpenWithBuffer(&record, MIDI_INPUT, MIDI_BUF_IDLE);

    EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), MIDIERR_STILLPLAYING);

    EXPECT_EQ(CallSequence(), std::vector<int>{W_midiInClose});
    EXPECT_EQ(record.hDevice, nullptr);
    ExpectOnlyErrorBox(owner, MIDI_INPUT, MIDIERR_STILLPLAYING);
}

}  // namespace
