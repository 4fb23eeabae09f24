// Sound set-up and playing: what reaches the MIDI device and the screen when
// a tool is created, pressed, slid over, released and destroyed.
#include "tests/wine/harness.h"
#include "tests/wine/record.h"

namespace {

const DWORD kNoteOn48 = 0x6E3090;   // 90 30 6E
const DWORD kNoteOff48 = 0x003090;  // 90 30 00
const DWORD kNoteOn50 = 0x6E3290;
const DWORD kNoteOff50 = 0x003290;

class Playing : public MorvaTest {
protected:
    // A one-octave tool laid out in a 100 x 60 client area, on device 0.
    HWND OneOctaveTool(int device = 0)
    {
        HWND tool = PlayableTool(0, 0, 100, 60, 1, device);
        ClearWinmmLog();
        return tool;
    }

    static void Press(HWND tool, int x, int y)
    {
        SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    }
    static void Slide(HWND tool, int x, int y, WPARAM keys = MK_LBUTTON)
    {
        SendMessageA(tool, WM_MOUSEMOVE, keys, MAKELPARAM(x, y));
    }
    static void Release(HWND tool, int x, int y)
    {
        SendMessageA(tool, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }

    // No note is left sounding: the tool's destruction ends none.
    static void ExpectSilentAtDestroy(HWND tool)
    {
        const size_t sent = ShortMessages().size();
        DestroyWindow(tool);
        EXPECT_EQ(ShortMessages().size(), sent) << "a note was left sounding";
    }
};

TEST_F(Playing, AToolFromDefaultsCountsDevicesAndSendsNothing)
{
    CreateTool(0, 0, 96, 20);
    EXPECT_EQ(WinmmCalls(W_midiInGetNumDevs).size(), 1u);
    EXPECT_EQ(WinmmCalls(W_midiOutGetNumDevs).size(), 1u);
    EXPECT_TRUE(WinmmCalls(W_midiOutOpen).empty());
    EXPECT_TRUE(ShortMessages().empty());
    EXPECT_TRUE(WinmmCalls(W_midiOutSetVolume).empty());
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(Playing, ASavedDeviceOpensAndGetsVoiceAndVolume)
{
    ToolStateBlock block = DefaultBlock();
    block.deviceNumber = 0;
    block.voice = 40;
    block.volume = 50;
    HWND tool = CreateTool(0, 0, 96, 20, &block);
    std::vector<WinmmRecord> log = WinmmLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2].call, W_midiOutOpen);
    EXPECT_EQ(log[2].device, 0);
    EXPECT_EQ(log[2].arg, static_cast<DWORD>(CALLBACK_NULL));
    EXPECT_EQ(log[3].call, W_midiOutShortMsg);
    EXPECT_EQ(log[3].arg, 0x28C0u);  // C0 28: program 40 on channel 0
    EXPECT_EQ(log[4].call, W_midiOutSetVolume);
    EXPECT_EQ(log[4].arg, MAKELONG(32750, 32750));
    EXPECT_EQ(log[4].handle, log[2].handle);
    ExpectSilentAtDestroy(tool);
}

TEST_F(Playing, AFailedOpenShowsTheSystemErrorThenTheMissingDevice)
{
    FailWinmm(W_midiOutOpen, MMSYSERR_ALLOCATED);
    ToolStateBlock block = DefaultBlock();
    block.deviceNumber = 0;
    HWND tool = CreateTool(0, 0, 96, 20, &block);
    ASSERT_NE(tool, nullptr);
    std::vector<CaughtDialog>& boxes = CaughtDialogs();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "MIDI Output Error");
    EXPECT_EQ(boxes[0].text, "Double error 4");
    EXPECT_EQ(boxes[0].ownerArg, tool);
    EXPECT_EQ(boxes[0].owner, host);  // the system owns boxes by the top-level window
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_TASKMODAL | MB_ICONERROR));
    EXPECT_EQ(boxes[1].caption, "MidiSendShortMsg");
    EXPECT_EQ(boxes[1].text, "Must open MIDI output device first");
    EXPECT_EQ(boxes[1].ownerArg, tool);
    EXPECT_EQ(boxes[1].icon, "error");
    // No volume reaches a device the tool does not hold open.
    EXPECT_TRUE(WinmmCalls(W_midiOutSetVolume).empty());
}

TEST_F(Playing, WithoutOutputDevicesTheToolSaysSoAndEveryNoteComplains)
{
    ResetWinmm(0, 0);
    HWND tool = OneOctaveTool();
    std::vector<CaughtDialog> boxes = CaughtDialogs();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "MidiInit");
    EXPECT_EQ(boxes[0].text, "No MIDI input or output devices are present");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].ownerArg, nullptr);
    CaughtDialogs().clear();
    Press(tool, 5, 40);
    Release(tool, 5, 40);
    ASSERT_EQ(CaughtDialogs().size(), 2u);
    for (const CaughtDialog& box : CaughtDialogs()) {
        EXPECT_EQ(box.caption, "MidiSendShortMsg");
        EXPECT_EQ(box.text, "Must use a MIDI output device");
        EXPECT_EQ(box.ownerArg, tool);
    }
    EXPECT_TRUE(ShortMessages().empty());
}

TEST_F(Playing, PressSlideReleaseSendTheExactBytes)
{
    HWND tool = OneOctaveTool();
    Press(tool, 1, 1);  // on no key: its release ends the stored note, 0
    Release(tool, 1, 1);
    Press(tool, 5, 40);
    EXPECT_EQ(GetCapture(), tool);
    Slide(tool, 20, 40);
    Slide(tool, 21, 41);  // same key: nothing
    // With Shift, Ctrl or the right button also held, or the button up, a
    // move back to the first key plays nothing.
    for (WPARAM keys :
         {MK_LBUTTON | MK_SHIFT, MK_LBUTTON | MK_CONTROL, MK_LBUTTON | MK_RBUTTON, 0}) {
        Slide(tool, 5, 40, keys);
    }
    Slide(tool, 1, 1);  // onto no key: key 2 keeps sounding
    Release(tool, 1, 1);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(ShortMessages(),
              (std::vector<DWORD>{0x000090, kNoteOn48, kNoteOff48, kNoteOn50, kNoteOff50}));
    EXPECT_EQ(LentBlock(tool)->currentKey, 2);
    ExpectSilentAtDestroy(tool);
}

TEST_F(Playing, DestroyingAToolEndsEveryNoteItsDeviceTookThenClosesItOnce)
{
    // Steps: p press at 48, s slide to 50, q press at 50, r release there, x
    // the device refuses the next message (at the end: the destroy's first).
    // A refused note-off's box takes the capture: no note follows it.
    struct {
        const char* steps;
        std::vector<DWORD> atDestroy;  // what the destroy sends
    } const cases[] = {
        {"ps", {kNoteOff50}},
        {"pxsxr", {kNoteOff48}},
        {"pxsqx", {kNoteOff50, kNoteOff48, kNoteOff50}},
        {"xpxsr", {}},  // a note the device never took
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        HWND tool = OneOctaveTool();
        for (const char* step = c.steps; *step; step++) {
            if (*step == 'x') {
                FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
            }
            if (*step == 'p' || *step == 'q') {
                Press(tool, *step == 'p' ? 5 : 20, 40);
            }
            if (*step == 's') {
                Slide(tool, 20, 40);
            }
            if (*step == 'r') {
                Release(tool, 20, 40);
            }
        }
        const size_t sent = ShortMessages().size();
        DestroyWindow(tool);
        std::vector<DWORD> all = ShortMessages();
        EXPECT_EQ(std::vector<DWORD>(all.begin() + static_cast<long>(sent), all.end()),
                  c.atDestroy);
        EXPECT_EQ(WinmmCalls(W_midiOutClose).size(), 1u);
        EXPECT_EQ(Winmm()->opened, Winmm()->closed);
    }
}

// The first tool's close is refused; in the loop of its box another tool is
// made, which the system gives the handle the refusal freed.
HWND madeInTheBox;
HWND hostOfTheBox;
void MakeAToolInTheBox(HWND box)
{
    ToolStateBlock block = {};
    SetDefaultState(&block);
    block.deviceNumber = 0;
    RECT rc = {0, 0, 96, 20};
    madeInTheBox = LoadMorva().create(hostOfTheBox, &rc, &block, 0, 0);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(Playing, AToolOpenedInAnotherToolsRefusedCloseKeepsItsDevice)
{
    HWND tool = OneOctaveTool();
    FailWinmm(W_midiOutClose, MMSYSERR_ERROR, 1);
    madeInTheBox = nullptr;
    hostOfTheBox = host;
    SetDialogInspector(MakeAToolInTheBox);
    DestroyWindow(tool);
    SetDialogInspector(nullptr);
    ASSERT_NE(madeInTheBox, nullptr);
    UINT_PTR handle = reinterpret_cast<UINT_PTR>(Record(madeInTheBox)->midi.hDevice);
    EXPECT_EQ(handle, WinmmCalls(W_midiOutClose)[0].handle) << "the handle the refusal freed";
    EXPECT_TRUE(WinmmHandleOpen(Winmm(), handle));
    EXPECT_EQ(WinmmCalls(W_midiOutClose).size(), 1u);
    EXPECT_EQ(CaughtDialogs().size(), 1u);
}

HDC WINAPI NoDeviceContext(HWND)
{
    return nullptr;
}

TEST_F(Playing, AReleaseWithoutADeviceContextStillEndsTheNote)
{
    HWND tool = OneOctaveTool();
    Press(tool, 5, 40);
    void* realGetDC =
        HookImport(morva->dll, "user32.dll", "GetDC", reinterpret_cast<void*>(&NoDeviceContext));
    ASSERT_NE(realGetDC, nullptr);
    Slide(tool, 20, 40);  // no mark can move: nor does the note
    Release(tool, 5, 40);
    HookImport(morva->dll, "user32.dll", "GetDC", realGetDC);
    EXPECT_EQ(ShortMessages(), (std::vector<DWORD>{kNoteOn48, kNoteOff48}));
    EXPECT_EQ(GetCapture(), nullptr);
    ExpectSilentAtDestroy(tool);
}

TEST_F(Playing, RestoredKeyTablesAreReadWithinBounds)
{
    HWND tool = OneOctaveTool();
    ToolStateBlock block = *LentBlock(tool);
    block.lastKey = 100000;
    block.currentKey = 5000;
    for (KeyRect& key : block.keys) {
        key = {0, 0, 100, 60, 0};
    }
    SendMessageA(tool, PNM_SETSTATE, 0, reinterpret_cast<LPARAM>(&block));
    Press(tool, 50, 30);
    Slide(tool, 60, 30);
    Release(tool, 60, 30);
    EXPECT_EQ(LentBlock(tool)->currentKey, 0);
    EXPECT_EQ(ShortMessages().size(), 2u);
}

// A host may destroy a tool inside the loop of a message box the tool raised.
// The module's freed blocks are guarded: a read or write of the freed record
// after the box faults at once, and a message or a box of its own after the
// box shows in the counts taken when the record was freed.
HWND doomedTool;
void* doomedRecord;  // the address PNM_GETSTATE lends
bool doomedRecordFreed;
int touchesBefore;
UINT winmmCallsAtFree;
size_t boxesAtFree;

void NoteFreedRecord(void* block)
{
    if (block != doomedRecord) {
        return;
    }
    doomedRecordFreed = true;
    winmmCallsAtFree = Winmm()->logCount;
    boxesAtFree = CaughtDialogs().size();
}

class DestroyedInABox : public Playing {
protected:
    void SetUp() override
    {
        Playing::SetUp();
        GuardModuleHeap(morva->dll, NoteFreedRecord);
    }

    void TearDown() override
    {
        Playing::TearDown();
        doomedRecord = nullptr;
    }

    // The host destroys `tool` in the loop of the box numbered `box` (from 0)
    // of those raised from now on.
    void DestroyInBox(HWND tool, int box)
    {
        doomedTool = tool;
        doomedRecord = LentBlock(tool);
        doomedRecordFreed = false;
        touchesBefore = FreedBlockTouches();
        CaughtDialogs().clear();
        ::DestroyInBox(tool, box);
    }

    static void ExpectLeftAlone()
    {
        EXPECT_FALSE(IsWindow(doomedTool));
        ASSERT_TRUE(doomedRecordFreed);
        EXPECT_EQ(FreedBlockTouches(), touchesBefore) << "reads or writes of the freed record";
        EXPECT_EQ(Winmm()->logCount, winmmCallsAtFree) << "winmm calls after the box";
        EXPECT_EQ(CaughtDialogs().size(), boxesAtFree) << "boxes after the box";
    }

    // The slide's note-off box takes the capture: no note-on follows it.
    static void PressSlideRelease(HWND tool)
    {
        Press(tool, 5, 40);
        Slide(tool, 20, 40);
        Release(tool, 20, 40);
    }

    // The host takes the capture while the note sounds.
    static void PressAndLoseCapture(HWND tool)
    {
        Press(tool, 5, 40);
        SetCapture(tool);
        SetCapture(GetParent(tool));
        ReleaseCapture();
    }

    // The host destroys the tool when the tool tells it of a paint.
    static LRESULT CALLBACK DestroyingHostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == PNM_PAINTNOTIFY) {
            DestroyWindow(doomedTool);
        }
        return CallWindowProcA(hostProc, hwnd, msg, wParam, lParam);
    }
    static void PaintWhileTheHostDestroys(HWND tool)
    {
        HWND host = GetParent(tool);
        hostProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DestroyingHostProc)));
        InvalidateRect(tool, nullptr, FALSE);
        UpdateWindow(tool);
        SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hostProc));
    }
    static WNDPROC hostProc;

    // The host, watching the thread's messages, destroys the tool as the
    // tool's own release takes the capture from it.
    static LRESULT CALLBACK DestroyOnCaptureChange(int code, WPARAM wParam, LPARAM lParam)
    {
        auto sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && sent->message == WM_CAPTURECHANGED && sent->hwnd == doomedTool) {
            DestroyWindow(doomedTool);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static void ReleaseWhileTheHostDestroys(HWND tool)
    {
        Press(tool, 5, 40);
        SetCapture(tool);  // the press's box may have taken it
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, DestroyOnCaptureChange, nullptr,
                                       GetCurrentThreadId());
        Release(tool, 5, 40);
        UnhookWindowsHookEx(hook);
    }
};
WNDPROC DestroyedInABox::hostProc;

TEST_F(DestroyedInABox, NothingOfTheToolIsTouchedAfterTheBox)
{
    // With no device open every note message shows a box; the host may also
    // destroy the tool in a message the tool sends it.
    struct Case {
        const char* when;
        int box;             // the box in whose loop the host destroys it, -1 for none
        size_t boxesAtFree;  // boxes shown until then
        void (*play)(HWND tool);
    } const cases[] = {
        {"the press's note-on", 0, 1, PressSlideRelease},
        {"the slide's note-off", 1, 2, PressSlideRelease},
        {"the release's note-off", 2, 3, PressSlideRelease},
        {"the note-off of a lost capture", 1, 2, PressAndLoseCapture},
        {"the host's paint notice", -1, 0, PaintWhileTheHostDestroys},
        {"the release's capture change", -1, 1, ReleaseWhileTheHostDestroys},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        HWND tool = OneOctaveTool(-1);
        DestroyInBox(tool, c.box);
        c.play(tool);
        ExpectLeftAlone();
        EXPECT_EQ(boxesAtFree, c.boxesAtFree);
    }
}

TEST_F(DestroyedInABox, ACreationWhoseSetUpBoxDestroysTheWindowLeavesNoDeviceOpen)
{
    // The set-up's first box: the open's error, or the voice's after the open.
    for (int failing : {W_midiOutOpen, W_midiOutShortMsg}) {
        SCOPED_TRACE(WinmmCallName(failing));
        ResetWinmm(0, 1);
        FailWinmm(failing, MMSYSERR_NOMEM, 1);
        ::DestroyInBox(nullptr, 0);
        ToolStateBlock block = DefaultBlock();
        block.deviceNumber = 0;
        const int touches = FreedBlockTouches();
        EXPECT_EQ(CreateTool(0, 0, 96, 20, &block), nullptr);
        EXPECT_EQ(Winmm()->closed, Winmm()->opened);
        EXPECT_EQ(FreedBlockTouches(), touches);
    }
}

TEST_F(DestroyedInABox, APressWhoseCaptureEndsAnotherToolsNote)
{
    HWND sounding = OneOctaveTool();
    HWND tool = OneOctaveTool(-1);
    Press(sounding, 5, 40);
    // Taking the capture ends the other tool's note, whose send fails.
    FailWinmm(W_midiOutShortMsg, MMSYSERR_NOMEM, 1);
    DestroyInBox(tool, 0);
    Press(tool, 5, 40);
    ExpectLeftAlone();
    EXPECT_EQ(ShortMessages(), (std::vector<DWORD>{kNoteOn48, kNoteOff48}));
}

// The page's device switch ends the old device's notes, and the host
// destroys the tool in the box of the first one refused. A held key is still
// held in that box, so the close at the destroy sends its note-off again; a
// refused note remembered from a slide has already left the set.
TEST_F(DestroyedInABox, ADeviceSwitchsRefusedNoteOffIsSentAgainOnlyForAHeldKey)
{
    HWND sheet = CreatePageContainer(host, 0, 100, 300, 300);
    for (bool slid : {false, true}) {
        SCOPED_TRACE(slid ? "remembered" : "held");
        HWND tool = OneOctaveTool();
        Press(tool, 5, 40);
        if (slid) {
            FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
            Slide(tool, 20, 40);
        }
        HWND page = OpenPropertyPage(tool, sheet, 0, 0);
        ClearWinmmLog();
        FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
        DestroyInBox(tool, 0);
        ApplyPropertyPage(page);
        ExpectLeftAlone();
        EXPECT_EQ(ShortMessages().size(), slid ? 1u : 2u);
    }
}

HWND otherTool;  // the tool a box's inspector plays or asks
// A tool being destroyed is no tool to the messages that reach it while its
// note-off's box is up: they go to the default window procedure.
LRESULT lentInTheBox;
void AskTheDyingToolForItsBlock(HWND box)
{
    void* lent = nullptr;
    lentInTheBox = SendMessageA(otherTool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(DestroyedInABox, MessagesInTheBoxOfItsOwnDestroyFindNoTool)
{
    otherTool = OneOctaveTool();
    Press(otherTool, 5, 40);
    FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
    lentInTheBox = -1;
    SetDialogInspector(AskTheDyingToolForItsBlock);
    DestroyWindow(otherTool);
    EXPECT_EQ(CaughtDialogs().size(), 1u);
    EXPECT_EQ(lentInTheBox, 0);
}

// A note message whose box takes the capture (as a box may) ends no note of
// its own tool; but another tool losing its capture in that box, as the user
// plays it and the host takes its capture, still ends that tool's note.
void PlayTheOtherToolAndTakeItsCapture(HWND box)
{
    if (otherTool) {
        SendMessageA(otherTool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 40));
        SetCapture(GetParent(otherTool));
        ReleaseCapture();
        otherTool = nullptr;
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(Playing, ACaptureTakenInANotesBoxEndsOnlyAnotherToolsNote)
{
    // The slide's note-off fails, and its box takes the capture from the
    // sounding tool: its note ends once, by that note-off, not twice, and
    // the key slid onto does not sound, as no release is to come.
    HWND tool = OneOctaveTool();
    Press(tool, 5, 40);
    FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
    Slide(tool, 20, 40);
    EXPECT_EQ(ShortMessages(), (std::vector<DWORD>{kNoteOn48, kNoteOff48}));
    EXPECT_EQ(CaughtDialogs().size(), 1u);
    // So too a press whose capture ends another tool's note, refused.
    Press(tool, 5, 40);
    HWND pressed = OneOctaveTool();
    FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
    Press(pressed, 20, 40);
    EXPECT_EQ(ShortMessages(), (std::vector<DWORD>{kNoteOff48}));
    DestroyWindow(tool);

    HWND silent = OneOctaveTool(-1);
    otherTool = OneOctaveTool();
    SetDialogInspector(PlayTheOtherToolAndTakeItsCapture);
    Press(silent, 5, 40);
    EXPECT_EQ(ShortMessages(), (std::vector<DWORD>{kNoteOn48, kNoteOff48}));
}

}  // namespace
