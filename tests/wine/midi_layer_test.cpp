// The MIDI device layer over the recording winmm double: device counts and
// records, names, open and close, short messages and error boxes.
#include <cstring>

#include "tests/wine/midi_fixture.h"

namespace {

const UINT kDirections[] = {MIDI_INPUT, MIDI_OUTPUT};

// ---------------------------------------------------------------- MidiInit

struct InitCase {
    bool input;
    bool output;
    UINT inDevs;
    UINT outDevs;
    UINT result;
    const char* text;  // null: nothing shown
};

const InitCase kInitCases[] = {
    {false, true, 0, 0, 0, "No MIDI input or output devices are present"},
    {false, true, 0, 2, 1, nullptr},
    {false, true, 3, 0, 0, "No MIDI output devices are present"},
    {true, false, 0, 2, 0, "No MIDI input devices are present"},
    {true, false, 0, 0, 0, "No MIDI input or output devices are present"},
    {true, false, 2, 0, 1, nullptr},
    {true, true, 1, 1, 1, nullptr},
    {true, true, 0, 1, 0, "No MIDI input devices are present"},
    {true, true, 4, 0, 0, "No MIDI output devices are present"},
    {false, false, 0, 0, 1, nullptr},
    {false, false, 4, 5, 1, nullptr},
};

void ExpectPrepared(const MidiDevice& record, UINT direction, UINT count)
{
    EXPECT_EQ(record.uDeviceType, count ? direction : MIDI_NONE);
    EXPECT_EQ(record.uDeviceId, MIDI_NONE);
    EXPECT_EQ(record.hDevice, nullptr);
    EXPECT_EQ(record.fBusy, FALSE);
    EXPECT_EQ(record.uBufferState, MIDI_BUF_IDLE);
    // The header belongs to the buffer operations and is left alone.
    const unsigned char* header = reinterpret_cast<const unsigned char*>(&record.midiHdr);
    for (size_t i = 0; i < sizeof record.midiHdr; i++) {
        ASSERT_EQ(header[i], 0xA5) << "header byte " << i;
    }
}

using MidiDeviceCounts = MidiTest;

TEST_F(MidiDeviceCounts, CountsBothDirectionsAndNamesWhateverIsMissing)
{
    for (const InitCase& c : kInitCases) {
        SCOPED_TRACE(testing::Message()
                     << "input record " << c.input << ", output record " << c.output << ", "
                     << c.inDevs << " in, " << c.outDevs << " out");
        ResetWinmm(c.inDevs, c.outDevs);
        CaughtDialogs().clear();
        MidiDevice input, output;
        memset(&input, 0xA5, sizeof input);
        memset(&output, 0xA5, sizeof output);

        EXPECT_EQ(MidiInit(c.input ? &input : nullptr, c.output ? &output : nullptr), c.result);

        EXPECT_EQ(uMidiInDevs, c.inDevs);
        EXPECT_EQ(uMidiOutDevs, c.outDevs);
        if (c.input) {
            ExpectPrepared(input, MIDI_INPUT, c.inDevs);
        }
        if (c.output) {
            ExpectPrepared(output, MIDI_OUTPUT, c.outDevs);
        }
        if (c.text) {
            ExpectOnlyBox(nullptr, "MidiInit", c.text, MB_ICONERROR);
        } else {
            EXPECT_TRUE(CaughtDialogs().empty());
        }
    }
    EXPECT_TRUE(DebugLines().empty());
}

// ------------------------------------------------------- MidiGetDeviceName

using MidiDeviceName = MidiTest;

// A driver may fill the whole 32-character field without a terminating zero;
// the client's buffer then gets 31 characters and the zero.
TEST_F(MidiDeviceName, CopiesTheProductNameUnchangedUpTo31Characters)
{
    const std::string full(32, 'N');
    struct {
        UINT direction;
        UINT device;
        std::string name;
        int call;
        DWORD capsSize;
    } const cases[] = {
        {MIDI_OUTPUT, 1, "Synth 100% %s%n %d", W_midiOutGetDevCapsA, 52},
        {MIDI_INPUT, 0, "In %% port", W_midiInGetDevCapsA, 40},
        {MIDI_OUTPUT, 2, "", W_midiOutGetDevCapsA, 52},
        {MIDI_OUTPUT, 1, full, W_midiOutGetDevCapsA, 52},
        {MIDI_INPUT, 1, full, W_midiInGetDevCapsA, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearWinmmLog();
        char(*names)[32] = c.direction == MIDI_INPUT ? Winmm()->inNames : Winmm()->outNames;
        strncpy(names[c.device], c.name.c_str(), 32);
        char buffer[40];
        memset(buffer, 'x', sizeof buffer);

        EXPECT_EQ(MidiGetDeviceName(owner, c.direction, c.device, buffer), 0u);

        std::string expected = c.name.substr(0, 31);
        EXPECT_EQ(std::string(buffer), expected);
        EXPECT_EQ(std::string(buffer + expected.size() + 1, buffer + sizeof buffer),
                  std::string(sizeof buffer - expected.size() - 1, 'x'));
        std::vector<WinmmRecord> log = WinmmLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].call, c.call);
        EXPECT_EQ(log[0].device, static_cast<int>(c.device));
        EXPECT_EQ(log[0].arg, c.capsSize);
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiDeviceName, UnreadableCapabilitiesAreShownAndLeaveTheBuffer)
{
    struct {
        UINT direction;
        UINT device;
        int failCall;  // -1: the device number is out of range
        UINT code;
    } const cases[] = {
        {MIDI_OUTPUT, 0, W_midiOutGetDevCapsA, MMSYSERR_NODRIVER},
        {MIDI_INPUT, 1, W_midiInGetDevCapsA, MMSYSERR_NOMEM},
        {MIDI_OUTPUT, 3, -1, MMSYSERR_BADDEVICEID},
        {MIDI_INPUT, 2, -1, MMSYSERR_BADDEVICEID},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << ", device " << c.device);
        ResetWinmm(2, 3);
        CaughtDialogs().clear();
        if (c.failCall >= 0) {
            FailWinmm(c.failCall, c.code);
        }
        char buffer[32] = "untouched";

        EXPECT_EQ(MidiGetDeviceName(owner, c.direction, c.device, buffer), c.code);

        EXPECT_STREQ(buffer, "untouched");
        ExpectOnlyErrorBox(owner, c.direction, c.code);
    }
}

TEST_F(MidiDeviceName, MissingBufferAsksNothing)
{
    EXPECT_EQ(MidiGetDeviceName(owner, MIDI_OUTPUT, 0, nullptr), MIDI_NONE);
    EXPECT_TRUE(WinmmLog().empty());
    EXPECT_TRUE(CaughtDialogs().empty());
    EXPECT_TRUE(DebugLines().empty());
}

// ------------------------------------------------------ MidiActivateDevice

using MidiOpenClose = MidiTest;

TEST_F(MidiOpenClose, OpensTheStoredDeviceOnceAndClosesIt)
{
    struct {
        UINT direction;
        int open;
        int close;
        DWORD openFlags;
    } const cases[] = {
        {MIDI_OUTPUT, W_midiOutOpen, W_midiOutClose, CALLBACK_NULL},
        {MIDI_INPUT, W_midiInOpen, W_midiInClose, CALLBACK_WINDOW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction);
        MidiDevice record;
        Prepare(&record, c.direction);
        record.uDeviceId = 1;

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_OPEN), 0u);
        std::vector<WinmmRecord> log = WinmmLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].call, c.open);
        EXPECT_EQ(log[0].device, 1);
        EXPECT_EQ(log[0].arg, c.openFlags);
        EXPECT_EQ(log[0].pointer, 0u) << "no callback";
        EXPECT_EQ(reinterpret_cast<UINT_PTR>(record.hDevice), log[0].handle);
        UINT_PTR handle = log[0].handle;

        // Opening an open record keeps it as it is, whatever device is chosen.
        record.uDeviceId = 2;
        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_OPEN), 0u);
        EXPECT_EQ(reinterpret_cast<UINT_PTR>(record.hDevice), handle);
        EXPECT_EQ(record.uDeviceId, 2u);
        EXPECT_EQ(WinmmLog().size(), 1u);

        ClearWinmmLog();
        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_CLOSE), 0u);
        log = WinmmLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].call, c.close);
        EXPECT_EQ(log[0].handle, handle);
        EXPECT_EQ(record.hDevice, nullptr);
        EXPECT_EQ(record.uDeviceId, 2u) << "a close keeps the device number";

        // A closed record needs nothing, even with its buffer marked in use.
        ClearWinmmLog();
        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_CLOSE), 0u);
        record.uBufferState = MIDI_BUF_IN_USE;
        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_ABANDON), 0u);
        EXPECT_EQ(record.uBufferState, MIDI_BUF_IN_USE);
        EXPECT_TRUE(WinmmLog().empty());
    }
    EXPECT_TRUE(CaughtDialogs().empty());
    EXPECT_TRUE(DebugLines().empty());
}

// A plain close leaves a device alone while the client works on it; an
// abandon closes it at once, busy or not, unless its buffer is in use.
TEST_F(MidiOpenClose, PlainCloseLeavesADeviceInUseOpenAndAbandonClosesABusyOne)
{
    struct {
        UINT action;
        BOOL busy;
        UINT bufferState;
        bool closes;
    } const cases[] = {
        {MIDI_CLOSE, TRUE, MIDI_BUF_IDLE, false},      {MIDI_CLOSE, FALSE, MIDI_BUF_IN_USE, false},
        {MIDI_CLOSE, TRUE, MIDI_BUF_IN_USE, false},    {MIDI_CLOSE, FALSE, MIDI_BUF_NOT_OPEN, true},
        {MIDI_CLOSE, FALSE, MIDI_BUF_IDLE, true},      {MIDI_ABANDON, TRUE, MIDI_BUF_IDLE, true},
        {MIDI_ABANDON, TRUE, MIDI_BUF_NOT_OPEN, true},
    };
    for (UINT direction : kDirections) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "direction " << direction << ", action " << c.action << ", busy "
                         << c.busy << ", buffer state " << c.bufferState);
            MidiDevice record;
            Open(&record, direction);
            HANDLE handle = record.hDevice;
            record.fBusy = c.busy;
            record.uBufferState = c.bufferState;

            EXPECT_EQ(MidiActivateDevice(owner, &record, c.action), 0u);

            EXPECT_EQ(record.hDevice, c.closes ? nullptr : handle);
            std::vector<WinmmRecord> log = WinmmLog();
            ASSERT_EQ(log.size(), c.closes ? 1u : 0u);
            if (c.closes) {
                EXPECT_EQ(log[0].call, CallFor(direction, W_midiInClose, W_midiOutClose));
                EXPECT_EQ(log[0].handle, reinterpret_cast<UINT_PTR>(handle));
            }
            EXPECT_EQ(record.fBusy, c.busy);
            EXPECT_EQ(record.uBufferState, c.bufferState);
        }
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiOpenClose, FailedOpenIsShownAndForgetsTheDeviceNumber)
{
    for (UINT direction : kDirections) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        MidiDevice record;
        Prepare(&record, direction);
        CaughtDialogs().clear();
        int open = CallFor(direction, W_midiInOpen, W_midiOutOpen);
        FailWinmm(open, MMSYSERR_ALLOCATED, 1);
        record.uDeviceId = 1;

        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_OPEN), MMSYSERR_ALLOCATED);
        EXPECT_EQ(record.uDeviceId, MIDI_NONE);
        EXPECT_EQ(record.hDevice, nullptr);

        // Opening again without choosing a device asks the system for the
        // marker as a device number, which it refuses.
        EXPECT_EQ(MidiActivateDevice(owner, &record, MIDI_OPEN), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(record.hDevice, nullptr);
        std::vector<WinmmRecord> opens = WinmmCalls(open);
        ASSERT_EQ(opens.size(), 2u);
        EXPECT_EQ(opens[0].device, 1);
        EXPECT_EQ(opens[1].device, static_cast<int>(MIDI_NONE));

        ASSERT_EQ(CaughtDialogs().size(), 2u);
        ExpectErrorBox(CaughtDialogs()[0], owner, direction, MMSYSERR_ALLOCATED);
        ExpectErrorBox(CaughtDialogs()[1], owner, direction, MMSYSERR_BADDEVICEID);
    }
}

// The system may have freed the handle whatever it answered: it is never
// closed again, by a close or by an abandon.
TEST_F(MidiOpenClose, FailedCloseIsShownAndForgetsTheHandle)
{
    for (UINT direction : kDirections) {
        for (UINT action : {UINT{MIDI_CLOSE}, UINT{MIDI_ABANDON}}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", action " << action);
            MidiDevice record;
            Open(&record, direction, 1);
            int close = CallFor(direction, W_midiInClose, W_midiOutClose);
            FailWinmm(close, MMSYSERR_ERROR, 1);

            EXPECT_EQ(MidiActivateDevice(owner, &record, action), MMSYSERR_ERROR);
            EXPECT_EQ(record.hDevice, nullptr);
            ExpectOnlyErrorBox(owner, direction, MMSYSERR_ERROR);

            EXPECT_EQ(MidiActivateDevice(owner, &record, action), 0u);
            EXPECT_EQ(WinmmCalls(close).size(), 1u);
        }
    }
}

using MidiActivate = MidiTest;

// Every operation given a record, or a direction, that is neither input nor
// output says so to the debugger only; a missing record counts as one
// without a direction.
TEST_F(MidiActivate, BadDirectionGoesToTheDebuggerOnly)
{
    const std::string activate = "\r\nMidiActivateDevice: uDeviceType bad";
    const std::string assign = "\r\nMidiAssignBuffer: uDeviceType bad";
    std::vector<std::string> lines;
    MidiDevice bad = {};
    bad.hDevice = reinterpret_cast<HANDLE>(0x4321);
    bad.uDeviceId = 0;
    bad.uBufferState = MIDI_BUF_IN_USE;
    char data[] = "\xF0\xF7";
    for (UINT type : {0u, 3u, static_cast<UINT>(MIDI_NONE)}) {
        SCOPED_TRACE(testing::Message() << "direction " << type);
        bad.uDeviceType = type;
        for (UINT action : {UINT{MIDI_OPEN}, UINT{MIDI_CLOSE}, UINT{MIDI_ABANDON}, 7u}) {
            EXPECT_EQ(MidiActivateDevice(owner, &bad, action), MIDI_NONE);
            lines.push_back(activate);
        }
        for (BOOL attach : {TRUE, FALSE}) {
            EXPECT_EQ(MidiAssignBuffer(owner, &bad, data, 2, attach), MIDI_NONE);
            lines.push_back(assign);
        }
        char buffer[32] = "untouched";
        EXPECT_EQ(MidiGetDeviceName(owner, type, 0, buffer), MIDI_NONE);
        EXPECT_STREQ(buffer, "untouched");
        lines.push_back("\r\nMidiInit: uDeviceType bad");
        MidiShowError(owner, MMSYSERR_ERROR, type);
        lines.push_back("MidiShowError: Bad MIDI device type\r\n");
    }
    EXPECT_EQ(MidiActivateDevice(owner, nullptr, MIDI_OPEN), MIDI_NONE);
    lines.push_back(activate);
    EXPECT_EQ(MidiAssignBuffer(owner, nullptr, data, 2, TRUE), MIDI_NONE);
    lines.push_back(assign);

    EXPECT_EQ(DebugLines(), lines);
    EXPECT_EQ(bad.hDevice, reinterpret_cast<HANDLE>(0x4321));
    EXPECT_EQ(bad.uBufferState, MIDI_BUF_IN_USE);
    EXPECT_EQ(bad.midiHdr.lpData, nullptr);
    EXPECT_TRUE(WinmmLog().empty());
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiActivate, UnknownActionDoesNothing)
{
    for (UINT direction : kDirections) {
        MidiDevice open, closed;
        Open(&open, direction);
        Prepare(&closed, direction);
        closed.uDeviceId = 0;
        for (UINT action : {0u, 2u, 15u, 18u, 0xFFFFFFFFu}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", action " << action);
            EXPECT_EQ(MidiActivateDevice(owner, &open, action), MIDI_NONE);
            EXPECT_EQ(MidiActivateDevice(owner, &closed, action), MIDI_NONE);
            EXPECT_NE(open.hDevice, nullptr);
            EXPECT_EQ(closed.hDevice, nullptr);
        }
        EXPECT_TRUE(WinmmLog().empty());
    }
    EXPECT_TRUE(CaughtDialogs().empty());
    EXPECT_TRUE(DebugLines().empty());
}

// -------------------------------------------------------- MidiSendShortMsg

using MidiShortMessage = MidiTest;

TEST_F(MidiShortMessage, PacksStatusChannelAndDataBytesIntoOneCall)
{
    struct {
        UINT status, channel, data1, data2;
        DWORD word;
    } const cases[] = {
        {0x90, 3, 60, 110, 0x006E3C93},
        {0x90, 0, 60, 0, 0x00003C90},
        {0xC0, 15, 127, 0, 0x00007FCF},
        {0x80, 0x0A, 0x1FF, 0x2AB, 0x00ABFF8A},         // data bytes keep their low 8 bits
        {0x1B0, 0x101, 0x107, 0xFFFFFF64, 0x006407B1},  // so do status and channel
        {0x93, 0x05, 1, 2, 0x00020197},                 // status and channel are ORed
        {0x80, 0x30, 1, 2, 0x000201B0},                 // the channel's whole low byte
    };
    MidiDevice record;
    Open(&record, MIDI_OUTPUT, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        ClearWinmmLog();

        EXPECT_EQ(MidiSendShortMsg(owner, &record, c.status, c.channel, c.data1, c.data2), 0u);

        std::vector<WinmmRecord> log = WinmmLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].call, W_midiOutShortMsg);
        EXPECT_EQ(log[0].handle, reinterpret_cast<UINT_PTR>(record.hDevice));
        EXPECT_EQ(log[0].arg, c.word);
    }
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(MidiShortMessage, NeedsAnOpenOutputRecordAndSaysSoEveryTime)
{
    MidiDevice input, closedOutput, noDevices = {};
    Open(&input, MIDI_INPUT);
    Prepare(&closedOutput, MIDI_OUTPUT);
    closedOutput.uDeviceId = 0;
    noDevices.uDeviceType = MIDI_NONE;
    struct {
        MidiDevice* record;
        const char* text;
    } const cases[] = {
        {&input, "Must use a MIDI output device"},
        {&noDevices, "Must use a MIDI output device"},
        {nullptr, "Must use a MIDI output device"},
        {&closedOutput, "Must open MIDI output device first"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CaughtDialogs().clear();
        EXPECT_EQ(MidiSendShortMsg(owner, c.record, 0x90, 0, 60, 110), MIDI_NONE);
        EXPECT_EQ(MidiSendShortMsg(owner, c.record, 0x90, 0, 60, 0), MIDI_NONE);
        ASSERT_EQ(CaughtDialogs().size(), 2u);
        for (const CaughtDialog& box : CaughtDialogs()) {
            ExpectBox(box, owner, "MidiSendShortMsg", c.text, MB_ICONERROR);
        }
    }
    EXPECT_TRUE(WinmmLog().empty());
}

TEST_F(MidiShortMessage, FailedSendIsShownAsAnOutputError)
{
    MidiDevice record;
    Open(&record, MIDI_OUTPUT);
    FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);

    EXPECT_EQ(MidiSendShortMsg(owner, &record, 0x90, 0, 60, 110), MIDIERR_NOTREADY);
    ExpectOnlyErrorBox(owner, MIDI_OUTPUT, MIDIERR_NOTREADY);
    EXPECT_NE(record.hDevice, nullptr);

    EXPECT_EQ(MidiSendShortMsg(owner, &record, 0x90, 0, 60, 0), 0u);
    EXPECT_EQ(ShortMessages(), (std::vector<DWORD>{0x006E3C90, 0x00003C90}));
    EXPECT_EQ(CaughtDialogs().size(), 1u);
}

// ----------------------------------------------------------- MidiShowError

using MidiErrors = MidiTest;

// The system's text for the code; failing that, its text for why it has
// none, read into the same buffer; failing that too, the code itself.
TEST_F(MidiErrors, ShowsTheSystemTextInATaskModalBox)
{
    struct {
        UINT code;
        MMRESULT textFailure;
        int failures;  // -1: every time
        std::vector<DWORD> asked;
        std::string text;
    } const cases[] = {
        {MIDIERR_NODEVICE,
         MMSYSERR_NOERROR,
         0,
         {MIDIERR_NODEVICE},
         DoubleErrorText(MIDIERR_NODEVICE)},
        {300,
         MMSYSERR_BADERRNUM,
         1,
         {300, MMSYSERR_BADERRNUM},
         DoubleErrorText(MMSYSERR_BADERRNUM)},
        {300,
         MMSYSERR_NOMEM,
         -1,
         {300, MMSYSERR_NOMEM},
         "MIDI error 300 (no description available)"},
    };
    for (UINT direction : kDirections) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", " << c.text);
            ClearWinmmLog();
            CaughtDialogs().clear();
            int textCall = CallFor(direction, W_midiInGetErrorTextA, W_midiOutGetErrorTextA);
            FailWinmm(textCall, c.textFailure, c.failures);

            MidiShowError(owner, c.code, direction);

            std::vector<WinmmRecord> log = WinmmLog();
            ASSERT_EQ(log.size(), c.asked.size());
            for (size_t i = 0; i < log.size(); i++) {
                EXPECT_EQ(log[i].call, textCall);
                EXPECT_EQ(log[i].arg, c.asked[i]);
                EXPECT_EQ(log[i].pointer, log[0].pointer) << "the same buffer";
            }
            ExpectOnlyBox(owner, ErrorCaption(direction), c.text, MB_TASKMODAL | MB_ICONERROR);
            FailWinmm(textCall, MMSYSERR_NOERROR);
        }
    }
}

TEST_F(MidiErrors, WithoutAnOwnerTheBoxHasNone)
{
    // A task-modal box without an owner disables the thread's other windows
    // while it starts, which would steal its activation; there are none here.
    DestroyWindow(owner);
    owner = nullptr;
    for (UINT direction : kDirections) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        CaughtDialogs().clear();

        MidiShowError(nullptr, MMSYSERR_NOMEM, direction);

        ExpectOnlyErrorBox(nullptr, direction, MMSYSERR_NOMEM);
    }
}

}  // namespace
