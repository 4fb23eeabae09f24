// The property page and the About box as the host and the user meet them:
// the page inside the host's sheet, its controls, what an apply writes into
// the tool and sends to the device, and the About box from both its places.
#include "tests/wine/harness.h"
#include "tests/wine/record.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// The General MIDI names the page offers, in program order, each after its
// number: "0)  Acoustic Grand Piano".
const char kVoiceNames[] =
    "Acoustic Grand Piano|Bright Acoustic Piano|Electric Grand Piano|Honky-tonk Piano|"
    "Rhodes Piano|Chorused Piano|Harpsichord|Clavinet|Celesta|Glockenspiel|Music box|"
    "Vibraphone|Marimba|Xylophone|Tubular Bells|Dulcimer|Hammond Organ|Percusive Organ|"
    "Rock Organ|Church Organ|Reed Organ|Accordion|Harmonica|Tango Accordian|"
    "Acoustic Guitar (nylon)|Acoustic Guitar (steel)|Electric Guitar (jazz)|"
    "Electric Guitar (clean)|Electric Guitar (muted)|Overdriven Guitar|Distortion Guitar|"
    "Guitar Harmonics|Acoustic Bass|Electric Bass (finger)|Electric Bass (pick)|"
    "Fretless Bass|Slap Bass 1|Slap Bass 2|Synth Bass 1|Synth Bass 2|Violin|Viola|Cello|"
    "Contrabass|Tremolo Strings|Pizzicato Strings|Orchestral Harp|Timpani|String Ensemble 1|"
    "String Ensemble 2|SynthStrings 1|Synth Strings 2|Choir Aahs|Voice Oohs|Synth Voice|"
    "Orchestra  Hit|Trumpet|Trombone|Tuba|Muted Trumpet|French Horn|Brass Section|"
    "Synth Brass 1|Synth Brass 2|Soprano Sax|Alto Sax|Tenor Sax|Baritone Sax|Oboe|"
    "English Horn|Bassoon|Clarinet|Piccolo|Flute|Recorder|Pan Flute|Bottle Blow|Shakuhachi|"
    "Whistle|Ocarina|Synth Lead (square)|Synth Lead (sawtooth)|Synth Lead (caliope lead)|"
    "Synth Lead (chiff lead)|Synth Lead (charang)|Synth Lead (voice)|Synth Lead (fifths)|"
    "Synth Lead (brass + lead)|Synth Pad (new age)|Synth Pad (warm)|Synth Pad (polysynth)|"
    "Synth Pad (choir)|Synth Pad (bowed)|Synth Pad (metallic)  |Synth Pad (halo)|"
    "Synth Pad (sweep)|FX 1 (rain)|FX 2 (soundtrack)|FX 3 (crystal)|FX 4 (atmosphere)|"
    "FX 5 (brightness)|FX 6 (goblins)|FX 7 (echoes)|FX 8 (sci-fi)|Sitar|Banjo|Shamisen|Koto|"
    "Kalimba|Bagpipe|Fiddle|Shanai|Tinkle Bell|Agogo|Steel Drums|WoodBlock|Taiko Drum|"
    "Melodic Tom|Synth Drum|Reverse Cymbal|Guitar Fret Noise|Breath Noise|Seashore|"
    "Bird Tweet|Phone Ring|Helicopter|Applause|Gunshot";

std::string VoiceEntry(int program)
{
    const std::string names = kVoiceNames;
    size_t at = 0;
    for (int i = 0; i < program; i++) {
        at = names.find('|', at) + 1;
    }
    return std::to_string(program) + ")  " + names.substr(at, names.find('|', at) - at);
}

// DialogBoxParamA as the module calls it, so a test sees the owner the
// module named (the system owns a box by the top-level window).
struct DialogBoxCall {
    HINSTANCE instance;
    UINT_PTR resource;
    HWND owner;
    LPARAM param;
    INT_PTR result;
};
std::vector<DialogBoxCall> dialogBoxCalls;
decltype(&DialogBoxParamA) realDialogBoxParamA;

INT_PTR WINAPI RecordingDialogBoxParamA(HINSTANCE instance, LPCSTR resource, HWND owner,
                                        DLGPROC proc, LPARAM param)
{
    INT_PTR result = realDialogBoxParamA(instance, resource, owner, proc, param);
    dialogBoxCalls.push_back(
        {instance, reinterpret_cast<UINT_PTR>(resource), owner, param, result});
    return result;
}

// The windows the module asked to have repainted.
decltype(&InvalidateRect) realInvalidateRect;
std::vector<HWND> invalidated;
BOOL WINAPI RecordingInvalidateRect(HWND hwnd, const RECT* rc, BOOL erase)
{
    invalidated.push_back(hwnd);
    return realInvalidateRect(hwnd, rc, erase);
}

void WatchRepaints(HMODULE dll)
{
    Watch(dll, "user32.dll", "InvalidateRect", &realInvalidateRect, &RecordingInvalidateRect);
    invalidated.clear();
}

// The calls that give a control of the page its number fail for this one.
int refusedItem;
decltype(&SendDlgItemMessageA) realSendDlgItemMessageA;
decltype(&SetDlgItemInt) realSetDlgItemInt;
LRESULT WINAPI RefusingSendDlgItemMessageA(HWND page, int id, UINT msg, WPARAM wParam,
                                           LPARAM lParam)
{
    return id == refusedItem && msg == CB_SETITEMDATA
               ? CB_ERR
               : realSendDlgItemMessageA(page, id, msg, wParam, lParam);
}
BOOL WINAPI RefusingSetDlgItemInt(HWND page, int id, UINT value, BOOL isSigned)
{
    return id != refusedItem && realSetDlgItemInt(page, id, value, isSigned);
}

void WatchDialogBoxes(HMODULE dll)
{
    Watch(dll, "user32.dll", "SendDlgItemMessageA", &realSendDlgItemMessageA,
          &RefusingSendDlgItemMessageA);
    Watch(dll, "user32.dll", "SetDlgItemInt", &realSetDlgItemInt, &RefusingSetDlgItemInt);
    Watch(dll, "user32.dll", "DialogBoxParamA", &realDialogBoxParamA, &RecordingDialogBoxParamA);
    dialogBoxCalls.clear();
}

std::string ItemText(HWND dialog, int id)
{
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::vector<std::string> ComboEntries(HWND page, int id)
{
    std::vector<std::string> entries;
    LRESULT count = SendDlgItemMessageA(page, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char text[256] = "";
        SendDlgItemMessageA(page, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

LRESULT Selected(HWND page, int id)
{
    return SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
}

void Select(HWND page, int id, int entry)
{
    SendDlgItemMessageA(page, id, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
}

void SetArrows(HWND page, int spinId, int position)
{
    SendDlgItemMessageA(page, spinId, UDM_SETPOS, 0, MAKELONG(position, 0));
}

// A press and release on the upper or lower arrow of an up-down control.
void ClickArrow(HWND page, int spinId, bool up)
{
    HWND spin = GetDlgItem(page, spinId);
    RECT rc;
    GetClientRect(spin, &rc);
    LPARAM at = MAKELPARAM(rc.right / 2, up ? rc.bottom / 4 : rc.bottom * 3 / 4);
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(spin, WM_LBUTTONUP, 0, at);
}

// The message boxes shown, in order: the owner the module named for each,
// and its caption and text.
using Boxes = std::vector<std::pair<HWND, std::string>>;
Boxes BoxesShown()
{
    Boxes boxes;
    for (const CaughtDialog& d : CaughtDialogs()) {
        boxes.push_back({d.ownerArg, d.caption + ": " + d.text});
    }
    return boxes;
}

std::vector<int> CallKinds()
{
    std::vector<int> kinds;
    for (const WinmmRecord& r : WinmmLog()) {
        kinds.push_back(r.call);
    }
    return kinds;
}

constexpr DWORD kVolume40 = 40 * 655 * 0x10001u;
constexpr DWORD kVolume50 = 50 * 655 * 0x10001u;
constexpr DWORD kVolume100 = 65500 * 0x10001u;

class PageTest : public MorvaTest {
protected:
    void SetUp() override
    {
        MorvaTest::SetUp();
        WatchDialogBoxes(morva->dll);
        sheet = CreatePageContainer(host, 150, 100, 460, 220);
        ASSERT_NE(sheet, nullptr);
    }

    // A tool of three octaves in a known place, laid out once so that its
    // back buffer exists, with the given number of output devices.
    HWND NewTool(UINT outDevs, int32_t device, int32_t voice, int16_t volume = 100,
                 int32_t octaves = 3)
    {
        ResetWinmm(0, outDevs);
        ToolStateBlock block = DefaultBlock();
        block.deviceNumber = device;
        block.voice = voice;
        block.volume = volume;
        block.octaves = octaves;
        block.reserved34 = 0x5A5A;
        HWND tool = CreateTool(0, 0, 96, 20, &block);
        EXPECT_NE(tool, nullptr);
        std::vector<WinmmRecord> opens = WinmmCalls(W_midiOutOpen);
        opened = opens.empty() ? 0 : opens.back().handle;
        MoveWindow(tool, 4, 4, 224, 40, TRUE);
        PumpMessages();
        return tool;
    }

    HWND Page(HWND tool)
    {
        HWND page = OpenPropertyPage(tool, sheet, 5, 10);
        EXPECT_NE(page, nullptr);
        return page;
    }

    // A page with every field edited: six octaves, volume 20, voice 10 and
    // the second device.
    HWND EditedPage(HWND tool)
    {
        HWND page = Page(tool);
        SetArrows(page, IDC_OCTAVES_SPIN, 6);
        SetArrows(page, IDC_VOLUME_SPIN, 20);
        Select(page, IDC_VOICE, 10);
        Select(page, IDC_DEVICE, 1);
        return page;
    }

    // Applies, and tells whether the apply asked for the tool to be
    // repainted. The module's request is watched rather than the update
    // region, which other programs' windows on the display touch at will.
    bool ApplyAndSeeRepaint(HWND page, HWND tool)
    {
        WatchRepaints(morva->dll);
        ApplyPropertyPage(page);
        return std::count(invalidated.begin(), invalidated.end(), tool) > 0;
    }

    HWND sheet = nullptr;
    UINT_PTR opened = 0;  // the handle the last new tool's device was opened with
};

using PropertyPage = PageTest;

// Its size from the template is the dialog layout's to check.
TEST_F(PropertyPage, IsCreatedInTheSheetAtTheHostsPoint)
{
    HWND tool = NewTool(1, -1, 0);
    HWND page = OpenPropertyPage(tool, sheet, 7, 11);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(GetParent(page), sheet);
    EXPECT_EQ(GetWindow(sheet, GW_CHILD), page);
    EXPECT_TRUE(IsWindowVisible(page));
    RECT rc;
    GetWindowRect(page, &rc);
    MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 7);
    EXPECT_EQ(rc.top, 11);
    EXPECT_EQ(ItemText(page, IDC_OCTAVES_LABEL), "&Octaves");
    EXPECT_EQ(ItemText(page, IDC_VOLUME_LABEL), "Volume");
    EXPECT_EQ(ItemText(page, IDC_DEVICE_LABEL), "Midi Device:");
    EXPECT_EQ(ItemText(page, IDC_VOICE_LABEL), "Voice:");
    EXPECT_EQ(ItemText(page, IDM_ABOUT), "About Morva...");
    // Filling the page sends nothing to the host and nothing to the device
    // beyond reading the device names.
    EXPECT_TRUE(HostMessages(PNM_SHOWPROPERTIES).empty());
    EXPECT_TRUE(ShortMessages().empty());
    EXPECT_TRUE(WinmmCalls(W_midiOutOpen).empty());
    // Without a container the page cannot be made.
    EXPECT_EQ(SendMessageA(tool, PNM_CREATEPROPPAGE, 0, MAKELPARAM(7, 11)), 0);
}

TEST_F(PropertyPage, ShowsTheToolsSettingsAsStored)
{
    struct Case {
        int32_t octaves;
        int16_t volume;
        int32_t voice;
        const char* octaveText;
        const char* volumeText;
        LRESULT voiceEntry;
    } const cases[] = {
        {3, 100, 0, "3", "100", 0},
        {9, 50, 126, "9", "50", 126},
        {-1, -5, 127, "4294967295", "4294967291", CB_ERR},
        {0, 0, -1, "0", "0", CB_ERR},
        {7, 32767, 100000, "7", "32767", CB_ERR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.octaveText);
        HWND tool = NewTool(1, -1, c.voice, c.volume, c.octaves);
        HWND page = Page(tool);
        EXPECT_EQ(ItemText(page, IDC_OCTAVES), c.octaveText);
        EXPECT_EQ(ItemText(page, IDC_VOLUME), c.volumeText);
        EXPECT_EQ(Selected(page, IDC_VOICE), c.voiceEntry);  // the entries' names: the next row
        EXPECT_EQ(SendDlgItemMessageA(page, IDC_OCTAVES_SPIN, UDM_GETRANGE, 0, 0), MAKELONG(7, 1));
        EXPECT_EQ(SendDlgItemMessageA(page, IDC_VOLUME_SPIN, UDM_GETRANGE, 0, 0), MAKELONG(100, 0));
        DestroyWindow(page);
        DestroyWindow(tool);
    }
}

TEST_F(PropertyPage, OffersTheFirst127VoicesInProgramOrder)
{
    HWND tool = NewTool(1, -1, 0);
    HWND page = Page(tool);
    std::vector<std::string> entries = ComboEntries(page, IDC_VOICE);
    ASSERT_EQ(entries.size(), 127u);  // the last program cannot be chosen
    for (int i = 0; i < 127; i++) {
        EXPECT_EQ(entries[i], VoiceEntry(i)) << "entry " << i;
    }
}

TEST_F(PropertyPage, ApplyWritesTheEditsAndSendsVolumeAndVoice)
{
    HWND tool = NewTool(1, 0, 0);
    HWND page = Page(tool);
    SetArrows(page, IDC_OCTAVES_SPIN, 5);
    SetArrows(page, IDC_VOLUME_SPIN, 40);
    Select(page, IDC_VOICE, 40);
    Select(page, IDC_DEVICE, -1);
    // Nothing happens before the host applies.
    EXPECT_EQ(LentBlock(tool)->octaves, 3);
    ClearWinmmLog();
    EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
    ToolStateBlock state = *LentBlock(tool);
    EXPECT_EQ(state.octaves, 5);
    EXPECT_EQ(state.volume, 40);
    EXPECT_EQ(state.reserved34, 0x5A5A);
    EXPECT_EQ(state.voice, 40);
    EXPECT_EQ(state.deviceNumber, 0);
    EXPECT_EQ(state.lastKey, 60);
    std::vector<WinmmRecord> volume = WinmmCalls(W_midiOutSetVolume);
    ASSERT_EQ(volume.size(), 1u);
    EXPECT_EQ(volume[0].arg, kVolume40);
    EXPECT_EQ(volume[0].handle, opened);
    EXPECT_EQ(ShortMessages(), std::vector<DWORD>{0x28C0});  // the tool's program is now 40
    EXPECT_TRUE(CaughtDialogs().empty());
}

TEST_F(PropertyPage, ArrowsStepTheFieldsWithinTheirRanges)
{
    HWND tool = NewTool(1, -1, 127, 100, 6);
    HWND page = Page(tool);
    ClickArrow(page, IDC_OCTAVES_SPIN, true);
    EXPECT_EQ(ItemText(page, IDC_OCTAVES), "7");
    ClickArrow(page, IDC_OCTAVES_SPIN, true);
    EXPECT_EQ(ItemText(page, IDC_OCTAVES), "7");
    ClickArrow(page, IDC_VOLUME_SPIN, true);
    EXPECT_EQ(ItemText(page, IDC_VOLUME), "100");
    ClickArrow(page, IDC_VOLUME_SPIN, false);
    EXPECT_EQ(ItemText(page, IDC_VOLUME), "99");
    ApplyPropertyPage(page);
    EXPECT_EQ(LentBlock(tool)->octaves, 7);
    EXPECT_EQ(LentBlock(tool)->volume, 99);
}

TEST_F(PropertyPage, OctaveCountsOutsideTheRangeAreAppliedAsOne)
{
    // A restored block may carry any count; the field shows it and an apply
    // without the arrows corrects it.
    struct Case {
        int32_t stored;
        int32_t applied;
        bool repainted;
    } const cases[] = {{9, 1, true}, {8, 1, true}, {-1, 1, true}, {7, 7, false}, {1, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        HWND tool = NewTool(1, -1, 127, 100, c.stored);
        HWND page = Page(tool);
        EXPECT_EQ(ApplyAndSeeRepaint(page, tool), c.repainted);
        EXPECT_EQ(LentBlock(tool)->octaves, c.applied);
        DestroyWindow(page);
        DestroyWindow(tool);
    }
}

TEST_F(PropertyPage, AnOctaveFieldReadingZeroIsAppliedAsZero)
{
    HWND tool = NewTool(1, -1, 127, 100, 0);
    HWND page = Page(tool);
    EXPECT_EQ(ItemText(page, IDC_OCTAVES), "0");
    // Fitting the tool's size raises its count while the page is open.
    SizeFitRequest request = {0, 0, 500, 500, 1, 20};
    SendMessageA(tool, PNM_FITSIZE, 0, reinterpret_cast<LPARAM>(&request));
    ASSERT_EQ(LentBlock(tool)->octaves, 1);
    EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
    EXPECT_EQ(LentBlock(tool)->octaves, 0);

    // A field that does not read as a number counts as zero too.
    LentBlock(tool)->octaves = 4;
    SetDlgItemTextA(page, IDC_OCTAVES, "many");
    EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
    EXPECT_EQ(LentBlock(tool)->octaves, 0);

    // Unless the field was never given the count; another page given it
    // meanwhile changes nothing for this one.
    LentBlock(tool)->octaves = 4;
    refusedItem = IDC_OCTAVES;
    HWND unshown = Page(tool);
    refusedItem = 0;
    Page(tool);
    ApplyPropertyPage(unshown);
    EXPECT_EQ(LentBlock(tool)->octaves, 4);
}

TEST_F(PropertyPage, AVolumeShownAsStoredIsNotSentAgain)
{
    // With nothing selected or changed, an apply leaves the tool alone,
    // whatever volume it stored: it does not even lay the keys out again.
    for (int16_t stored : {int16_t(-1), int16_t(300), int16_t(100)}) {
        SCOPED_TRACE(stored);
        HWND tool = NewTool(2, 1, 5, stored);
        HWND page = Page(tool);
        Select(page, IDC_DEVICE, -1);
        Select(page, IDC_VOICE, -1);
        LentBlock(tool)->keys[0] = {-9, -9, -9, -9, 9};
        const ToolStateBlock before = *LentBlock(tool);
        ClearWinmmLog();
        EXPECT_FALSE(ApplyAndSeeRepaint(page, tool));
        EXPECT_EQ(memcmp(LentBlock(tool), &before, sizeof before), 0);
        EXPECT_TRUE(WinmmLog().empty());  // the device, voice and volume as they were
        EXPECT_TRUE(CaughtDialogs().empty());

        // The new volume and octave count: the device stays, given the volume,
        // and the keys are laid out again, the first a white C once more.
        SetArrows(page, IDC_VOLUME_SPIN, 0);
        SetArrows(page, IDC_OCTAVES_SPIN, 2);
        EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
        EXPECT_EQ(LentBlock(tool)->volume, 0);
        EXPECT_EQ(LentBlock(tool)->lastKey, 24);
        EXPECT_EQ(LentBlock(tool)->keys[0].black, 0);
        EXPECT_EQ(CallKinds(), std::vector<int>{W_midiOutSetVolume});
        EXPECT_EQ(WinmmLog()[0].arg, 0u);
        EXPECT_EQ(WinmmLog()[0].handle, opened);
        DestroyWindow(page);
        DestroyWindow(tool);
    }
}

using PageDevices = PageTest;

TEST_F(PageDevices, ListsReadableDevicesWithTheirNumbers)
{
    ResetWinmm(0, 3);
    strcpy(Winmm()->outNames[0], "Port A");
    strcpy(Winmm()->outNames[1], "Port B");
    strcpy(Winmm()->outNames[2], "Port C");
    HWND tool = NewTool(3, -1, 127);
    FailWinmm(W_midiOutGetDevCapsA, MMSYSERR_NODRIVER, -1, 1);
    HWND page = Page(tool);
    EXPECT_EQ(ComboEntries(page, IDC_DEVICE), (std::vector<std::string>{"Port A", "Port C"}));
    EXPECT_EQ(Selected(page, IDC_DEVICE), CB_ERR);
    EXPECT_EQ(BoxesShown(), (Boxes{{tool, "MIDI Output Error: Double error 6"}}));
    std::vector<WinmmRecord> caps = WinmmCalls(W_midiOutGetDevCapsA);
    ASSERT_EQ(caps.size(), 3u);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(caps[i].device, i);
    }

    Select(page, IDC_DEVICE, 1);
    ClearWinmmLog();
    EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
    // Nothing was open to close; the device opened is given the volume.
    EXPECT_EQ(CallKinds(), (std::vector<int>{W_midiOutOpen, W_midiOutSetVolume}));
    std::vector<WinmmRecord> opens = WinmmCalls(W_midiOutOpen);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].device, 2);
    EXPECT_EQ(LentBlock(tool)->deviceNumber, 2);

    // A page opened again finds the device by its number, not its position.
    DestroyWindow(page);
    page = Page(tool);
    EXPECT_EQ(Selected(page, IDC_DEVICE), 1);

    // An entry that cannot carry its number is left out: it would read as 0.
    DestroyWindow(page);
    refusedItem = IDC_DEVICE;
    page = Page(tool);
    refusedItem = 0;
    EXPECT_TRUE(ComboEntries(page, IDC_DEVICE).empty());
}

TEST_F(PageDevices, AStoredDeviceOutsideTheListSelectsNothing)
{
    struct Case {
        int32_t stored;
        LRESULT entry;
    } const cases[] = {{-1, CB_ERR},        {3, CB_ERR}, {1000, CB_ERR},
                       {INT32_MIN, CB_ERR}, {0, 0},      {2, 2}};
    HWND tool = NewTool(3, -1, 127);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ToolStateBlock block = *LentBlock(tool);
        block.deviceNumber = c.stored;
        SendMessageA(tool, PNM_SETSTATE, 0, reinterpret_cast<LPARAM>(&block));
        HWND page = Page(tool);
        EXPECT_EQ(ComboEntries(page, IDC_DEVICE).size(), 3u);
        EXPECT_EQ(Selected(page, IDC_DEVICE), c.entry);
        DestroyWindow(page);
    }
}

TEST_F(PageDevices, EveryApplyWithADeviceSelectedReopensItAndLaysOutAgain)
{
    HWND tool = NewTool(2, 0, 3);
    HWND page = Page(tool);
    EXPECT_EQ(Selected(page, IDC_DEVICE), 0);
    UINT_PTR old = opened;
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        ASSERT_NE(old, 0u);
        // The second round with a key held after a refused note-off: the
        // old device is sent both note-offs, the held one first.
        std::vector<DWORD> ends;
        if (round == 1) {
            ClearWinmmLog();
            SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 30));
            FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
            SendMessageA(tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(16, 30));
            SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(16, 30));
            std::vector<DWORD> sent = ShortMessages();  // on, refused off, on
            ASSERT_EQ(sent.size(), 3u);
            ends = {sent[2] & 0xFFFF, sent[1]};
        }
        KeyRect laidOut = LentBlock(tool)->keys[0];
        LentBlock(tool)->keys[0] = {-9, -9, -9, -9, 9};
        ClearWinmmLog();
        EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
        std::vector<int> kinds(ends.size(), W_midiOutShortMsg);
        kinds.insert(kinds.end(),
                     {W_midiOutClose, W_midiOutOpen, W_midiOutSetVolume, W_midiOutShortMsg});
        ASSERT_EQ(CallKinds(), kinds);
        ends.push_back(0x03C0);  // the voice, to the new device
        EXPECT_EQ(ShortMessages(), ends);
        std::vector<WinmmRecord> all = WinmmLog();
        const WinmmRecord* log = &all[ends.size() - 1];
        EXPECT_EQ(log[0].handle, old);
        EXPECT_EQ(log[1].device, 0);
        EXPECT_EQ(log[2].handle, log[1].handle);
        EXPECT_EQ(log[2].arg, kVolume100);
        EXPECT_EQ(log[3].handle, log[1].handle);
        old = log[1].handle;  // the next round closes the device opened now
        EXPECT_EQ(memcmp(&LentBlock(tool)->keys[0], &laidOut, sizeof laidOut), 0);
    }
    EXPECT_EQ(CaughtDialogs().size(), 1u) << "the refused note-off's box only";
}

TEST_F(PageDevices, VolumeAndDeviceChangedTogetherReachBothDevices)
{
    HWND tool = NewTool(2, 0, 0);
    HWND page = Page(tool);
    UINT_PTR first = opened;
    SetArrows(page, IDC_VOLUME_SPIN, 50);
    Select(page, IDC_DEVICE, 1);
    ClearWinmmLog();
    ApplyPropertyPage(page);
    std::vector<WinmmRecord> log = WinmmLog();
    ASSERT_EQ(CallKinds(), (std::vector<int>{W_midiOutSetVolume, W_midiOutClose, W_midiOutOpen,
                                             W_midiOutSetVolume, W_midiOutShortMsg}));
    // The new volume goes first to the device that was open...
    EXPECT_EQ(log[0].handle, first);
    EXPECT_EQ(log[0].arg, kVolume50);
    EXPECT_EQ(log[1].handle, first);
    EXPECT_EQ(log[2].device, 1);
    // ...and then to the one opened in its place, before the voice.
    UINT_PTR second = log[2].handle;
    EXPECT_EQ(log[3].handle, second);
    EXPECT_EQ(log[3].arg, kVolume50);
    EXPECT_EQ(log[4].handle, second);
    EXPECT_EQ(log[4].arg, 0x00C0u);
    EXPECT_EQ(LentBlock(tool)->deviceNumber, 1);
    EXPECT_EQ(LentBlock(tool)->volume, 50);
}

TEST_F(PageDevices, AFailedOpenKeepsTheChosenNumberAndSendsNoVolume)
{
    HWND tool = NewTool(2, 0, 7);
    HWND page = Page(tool);
    Select(page, IDC_DEVICE, 1);
    FailWinmm(W_midiOutOpen, MMSYSERR_ALLOCATED, -1, 1);
    ClearWinmmLog();
    ApplyPropertyPage(page);
    EXPECT_EQ(CallKinds(),
              (std::vector<int>{W_midiOutClose, W_midiOutOpen, W_midiOutGetErrorTextA}));
    EXPECT_EQ(BoxesShown(),
              (Boxes{{tool, "MIDI Output Error: Double error 4"},
                     {tool, "MidiSendShortMsg: Must open MIDI output device first"}}));
    EXPECT_EQ(LentBlock(tool)->deviceNumber, 1);
}

TEST_F(PageDevices, AFailedCloseIsNotTriedAgainAndTheChosenDeviceOpens)
{
    HWND tool = NewTool(2, 0, 127);
    HWND page = Page(tool);
    Select(page, IDC_DEVICE, 1);
    FailWinmm(W_midiOutClose, MMSYSERR_ERROR, 1);
    ClearWinmmLog();
    EXPECT_TRUE(ApplyAndSeeRepaint(page, tool));
    EXPECT_EQ(CallKinds(), (std::vector<int>{W_midiOutClose, W_midiOutGetErrorTextA, W_midiOutOpen,
                                             W_midiOutSetVolume}));
    EXPECT_EQ(BoxesShown(), (Boxes{{tool, "MIDI Output Error: Double error 1"}}));
    EXPECT_EQ(WinmmCalls(W_midiOutOpen)[0].device, 1);
    EXPECT_EQ(Record(tool)->midi.hDevice, reinterpret_cast<HANDLE>(WinmmLog()[2].handle));
    EXPECT_EQ(LentBlock(tool)->deviceNumber, 1);
}

// A selected voice is sent on every apply, changed or not: without a device
// at all, or with none chosen of two, each shows the box of its own.
TEST_F(PageDevices, WithoutADeviceEveryApplyReportsTheVoice)
{
    const struct {
        UINT devices;
        std::string box;
    } cases[] = {{0, "MidiSendShortMsg: Must use a MIDI output device"},
                 {2, "MidiSendShortMsg: Must open MIDI output device first"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        HWND tool = NewTool(c.devices, -1, 0);
        HWND page = Page(tool);
        EXPECT_EQ(ComboEntries(page, IDC_DEVICE).size(), c.devices);
        EXPECT_EQ(Selected(page, IDC_DEVICE), CB_ERR);
        ClearWinmmLog();
        CaughtDialogs().clear();
        ApplyPropertyPage(page);
        ApplyPropertyPage(page);
        EXPECT_EQ(BoxesShown(), (Boxes{{tool, c.box}, {tool, c.box}}));
        EXPECT_TRUE(WinmmCalls(W_midiOutOpen).empty());
        EXPECT_TRUE(ShortMessages().empty());
        EXPECT_EQ(LentBlock(tool)->deviceNumber, -1);
        DestroyWindow(page);
        DestroyWindow(tool);
    }
}

using PageTarget = PageTest;

TEST_F(PageTarget, APageWhoseToolIsGoneAppliesNothing)
{
    HWND other = NewTool(2, 1, 9);
    HWND tool = NewTool(2, 0, 3);
    HWND page = EditedPage(tool);
    ToolStateBlock before = *LentBlock(other);
    DestroyWindow(tool);
    ClearWinmmLog();
    CaughtDialogs().clear();
    ApplyPropertyPage(page);
    ApplyPropertyPage(page);
    EXPECT_TRUE(WinmmLog().empty());
    EXPECT_TRUE(CaughtDialogs().empty());
    EXPECT_EQ(memcmp(LentBlock(other), &before, sizeof before), 0);
    EXPECT_TRUE(IsWindow(page));
    // The controls keep the edits; only the tool is missing.
    EXPECT_EQ(ItemText(page, IDC_OCTAVES), "6");
}

TEST_F(PageTarget, AToolDestroyedInThePagesBoxIsLeftAlone)
{
    GuardModuleHeap(morva->dll);
    // The first box of the page's device list as it opens, or of an apply.
    const struct {
        int failing;
        bool opening;
    } cases[] = {{W_midiOutGetDevCapsA, true},
                 {W_midiOutClose, false},
                 {W_midiOutOpen, false},
                 {W_midiOutShortMsg, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(WinmmCallName(c.failing));
        HWND tool = NewTool(2, 0, 3);
        HWND page = c.opening ? nullptr : EditedPage(tool);
        FailWinmm(c.failing, MMSYSERR_NOMEM, 1);
        CaughtDialogs().clear();
        DestroyInBox(tool, 0);
        const int touches = FreedBlockTouches();
        if (c.opening) {
            page = Page(tool);
        } else {
            ApplyPropertyPage(page);
        }
        EXPECT_FALSE(IsWindow(tool));
        EXPECT_EQ(FreedBlockTouches(), touches) << "reads or writes of the freed record";
        EXPECT_EQ(CaughtDialogs().size(), 1u);
        SetDialogInspector(nullptr);
        DestroyWindow(page);
    }
}

TEST_F(PageTarget, TheLastToolAskedIsTheOneEveryOpenPageEdits)
{
    HWND first = NewTool(1, -1, 127, 100, 3);
    HWND second = NewTool(1, -1, 127, 100, 5);
    HWND firstPage = Page(first);
    HWND secondPage = OpenPropertyPage(second, sheet, 5, 120);
    ASSERT_NE(secondPage, nullptr);
    SetArrows(firstPage, IDC_OCTAVES_SPIN, 2);
    ApplyPropertyPage(firstPage);
    EXPECT_EQ(LentBlock(first)->octaves, 3);
    EXPECT_EQ(LentBlock(second)->octaves, 2);
    // Destroying a tool that is not the target keeps the target.
    DestroyWindow(first);
    SetArrows(secondPage, IDC_OCTAVES_SPIN, 4);
    ApplyPropertyPage(secondPage);
    EXPECT_EQ(LentBlock(second)->octaves, 4);
}

// The About box, found from a timer once its loop shows it, read, and then
// closed the way the test says.
struct AboutView {
    HWND box;
    std::vector<std::string> texts;  // the caption, the tool's name and the two credits
    LONG style;
};
AboutView aboutView;
int aboutCloseKey;  // a virtual key, or 0 to click OK

void InspectAboutBox(HWND box)
{
    char caption[128] = "";
    GetWindowTextA(box, caption, sizeof caption);
    aboutView = {box,
                 {caption, ItemText(box, IDC_TOOLNAME), ItemText(box, IDC_CREDIT1),
                  ItemText(box, IDC_CREDIT2)},
                 GetWindowLongA(box, GWL_STYLE)};
    HWND ok = GetDlgItem(box, IDOK);
    if (aboutCloseKey) {
        PostMessageA(ok, WM_KEYDOWN, aboutCloseKey, 0);
    } else {
        PostMessageA(ok, BM_CLICK, 0, 0);
    }
}

// The catcher only records the box; the watch answers it.
void LeaveToWatch(HWND) {}

void WatchAboutBox(int closeKey)
{
    aboutView = {};
    aboutCloseKey = closeKey;
    SetDialogInspector(LeaveToWatch);
    WatchForShownDialog("the About box", InspectAboutBox);
}

// The module's one DialogBoxParamA call, over `owner`, and the box it showed.
void ExpectAboutBoxShown(HMODULE dll, HWND owner)
{
    ASSERT_EQ(dialogBoxCalls.size(), 1u);
    EXPECT_EQ(dialogBoxCalls[0].instance, dll);
    EXPECT_EQ(dialogBoxCalls[0].resource, static_cast<UINT_PTR>(IDD_ABOUT));
    EXPECT_EQ(dialogBoxCalls[0].owner, owner);
    EXPECT_EQ(dialogBoxCalls[0].param, 0);
    EXPECT_EQ(dialogBoxCalls[0].result, 1);
    EXPECT_EQ(aboutView.texts, (std::vector<std::string>{"About Morva...", "Morva Tool",
                                                         "Copyright (C) 2026 The Morva developers",
                                                         "A keyboard for General MIDI"}));
    EXPECT_EQ(aboutView.style & WS_SYSMENU, 0);
    EXPECT_NE(aboutView.box, nullptr);
    EXPECT_FALSE(IsWindow(aboutView.box));
}

using AboutBox = PageTest;

TEST_F(AboutBox, TheContextMenuOpensItOverTheTool)
{
    HWND tool = NewTool(1, -1, 0);
    WatchAboutBox(0);
    // The menu's loop reads these keys: down to About, then Enter.
    PostMessageA(tool, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(tool, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(tool, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
    PumpMessages();
    ExpectAboutBoxShown(morva->dll, tool);
    ASSERT_EQ(CaughtDialogs().size(), 1u);
    EXPECT_EQ(CaughtDialogs()[0].caption, "About Morva...");
}

TEST_F(AboutBox, ThePageButtonOpensItOverThePage)
{
    HWND tool = NewTool(1, -1, 0);
    HWND page = Page(tool);
    WatchAboutBox(VK_ESCAPE);  // Esc closes it as OK does
    SendDlgItemMessageA(page, IDM_ABOUT, BM_CLICK, 0, 0);
    PumpMessages();
    ExpectAboutBoxShown(morva->dll, page);
    // The box changes nothing on the page or the tool.
    EXPECT_EQ(LentBlock(tool)->octaves, 3);
    EXPECT_TRUE(WinmmCalls(W_midiOutShortMsg).empty());
}

}  // namespace
