// A user's gestures through the system's input queue: a seeded run of
// presses, drags, releases, double clicks and right clicks over a host with
// two tools and between them, while the device refuses some note messages and
// each refusal's box is answered by a click or by Enter, as a user would.
// While the button is held, each tool's mark is on the key it sounds and on
// no other; once it is up and no box is open, nothing sounds, nothing is
// marked and no window holds the capture.
#include "tests/wine/harness.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>

namespace {

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);

// The run's own mouse input carries its number in the extra information,
// which the thread's mouse hook reads as the message is taken from the queue:
// the run waits for each event until it has reached the window under it.
const ULONG_PTR kOurs = 0x4D000000;
const ULONG_PTR kNumber = 0x00FFFFFF;
ULONG_PTR sentInput;
ULONG_PTR seenInput;
POINT cursor = {-1, -1};
bool buttonDown;
bool lastSentMove;
UINT releasedAt;  // the device log's length as the button went up, or UINT_MAX while it is down

void SendMouse(DWORD flags, POINT screen = {});

void ReleaseButton()
{
    buttonDown = false;
    releasedAt = Winmm()->logCount;
    SendMouse(MOUSEEVENTF_LEFTUP);
}

LRESULT CALLBACK SeeInput(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        const MOUSEHOOKSTRUCT* m = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        const ULONG_PTR extra = m->dwExtraInfo;
        if ((extra & ~kNumber) == kOurs && (extra & kNumber) > seenInput) {
            seenInput = extra & kNumber;
        }
        // A move may be merged into one still queued, which keeps that one's
        // extra information; it shows where it went.
        if (lastSentMove && (wParam == WM_MOUSEMOVE || wParam == WM_NCMOUSEMOVE) &&
            m->pt.x == cursor.x && m->pt.y == cursor.y) {
            seenInput = sentInput;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void SendMouse(DWORD flags, POINT screen)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    if (flags & MOUSEEVENTF_MOVE) {
        flags |= MOUSEEVENTF_ABSOLUTE;
        in.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        in.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        cursor = screen;
    }
    lastSentMove = (flags & MOUSEEVENTF_MOVE) != 0;
    in.mi.dwFlags = flags;
    in.mi.dwExtraInfo = kOurs | ++sentInput;
    SendInput(1, &in, sizeof in);
}

void SendKey(WORD key)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = key;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

// Pumps until the last event sent has been taken from the queue, then until
// nothing more is queued: what it caused has run, boxes and menus included.
bool inputLost;  // an event never reached a window, or Esc no menu: the run stops

void AwaitInput()
{
    const DWORD start = GetTickCount();
    while (seenInput < sentInput) {
        if (GetTickCount() - start > Patience(kDialogWaitMs)) {
            inputLost = true;
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        PumpMessages();
    }
    PumpMessages();
}

// Boxes and menus run loops of their own inside the tool's handling; a timer
// there answers them as the user does: a refusal's box after letting go of
// the button, by a click on its button or by Enter, a context menu by Esc.
std::mt19937 rng;
size_t boxesAnswered;
int menusClosed;
DWORD menuSince;

void AnswerBox(HWND box)
{
    boxesAnswered = CaughtDialogs().size();
    if (buttonDown) {
        ReleaseButton();
    }
    HWND ok = GetDlgItem(box, IDOK);
    // A click needs the capture free; a menu opening may hold it.
    const bool click = ok && rng() % 2 && (!GetCapture() || GetCapture() == box);
    if (click) {
        // The catcher's box holds the capture, which would keep the click
        // from its button.
        ReleaseCapture();
        RECT rc;
        GetWindowRect(ok, &rc);
        SendMouse(MOUSEEVENTF_MOVE, {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
    } else {
        SendKey(VK_RETURN);
    }
}

void CALLBACK AnswerModalLoops(HWND, UINT, UINT_PTR, DWORD)
{
    // A box may show as a menu opens, from the capture the menu takes.
    HWND box = FindShownDialog();
    if (box) {
        if (boxesAnswered < CaughtDialogs().size()) {
            AnswerBox(box);
        }
        return;
    }
    if (!FindShownWindow("#32768")) {
        menuSince = 0;
    } else if (!menuSince) {
        menuSince = GetTickCount();
        menusClosed++;
        SendKey(VK_ESCAPE);
    } else if (GetTickCount() - menuSince > Patience(kDialogWaitMs)) {
        ADD_FAILURE() << "the context menu was not closed by Esc";
        inputLost = true;
        EndMenu();
    }
}

// A point the run presses or moves to: on a tool's key, on a tool off its
// keys, or on the host between and around the tools.
struct Spot {
    HWND window;
    POINT at;  // in the window's client area
    int key;   // the key under it, -1 for none
};

struct Tool {
    HWND hwnd;
    int firstNote;    // its lowest key's
    UINT_PTR device;  // its handle, from the device's log
    ToolStateBlock keys;
};

// A point inside the mark of a key: the middle of the lower part of what
// shows of it, below the black keys for a white key.
POINT KeyPoint(const KeyRect& k)
{
    return {(k.left + k.right) / 2, k.top + (k.bottom - k.top) * 3 / 4};
}

bool IsNoteMessage(const WinmmRecord& r)
{
    return r.call == W_midiOutShortMsg && (r.arg & 0xF0) == 0x90;
}
bool IsNoteOn(const WinmmRecord& r)
{
    return IsNoteMessage(r) && (r.arg >> 16 & 0x7F) != 0;
}

// The notes a device sounds, from its log: those it took a note-on of and
// no note-off since; on the tool's side, a refused note-off ends its note too.
std::set<int> Sounding(UINT_PTR device, bool toolSide = true, std::set<int> notes = {},
                       const std::vector<WinmmRecord>& log = WinmmLog())
{
    for (const WinmmRecord& r : log) {
        const int note = (r.arg >> 8) & 0x7F;
        const bool on = IsNoteOn(r);
        if (!IsNoteMessage(r) || r.handle != device) {
            continue;
        }
        if (on && r.result == MMSYSERR_NOERROR) {
            notes.insert(note);
        } else if (!on && (toolSide || r.result == MMSYSERR_NOERROR)) {
            notes.erase(note);
        }
    }
    return notes;
}

class Gestures : public MorvaTest {
protected:
    void SetUp() override
    {
        MorvaTest::SetUp();
        StartObjectLedger(morva->dll);
        SetDialogInspector([](HWND) {});  // the catcher records each box; the timer answers it
    }

    void TearDown() override
    {
        SetDialogInspector(nullptr);
        MorvaTest::TearDown();
    }

    Tool MakeTool(int left, int right, int octaves, int firstNote)
    {
        ClearWinmmLog();
        Tool t = {PlayableTool(left, 10, right, 110, octaves), firstNote, 0, {}};
        EXPECT_EQ(WinmmCalls(W_midiOutOpen).size(), 1u);
        t.device = WinmmCalls(W_midiOutOpen)[0].handle;
        t.keys = *LentBlock(t.hwnd);
        return t;
    }

    Spot RandomSpot()
    {
        const unsigned r = rng() % 20;
        if (r < 14) {
            const Tool& t = tools[r % 2];
            const int key = static_cast<int>(rng() % (t.keys.lastKey + 1));
            return {t.hwnd, KeyPoint(t.keys.keys[key]), key};
        }
        if (r == 14) {
            return {tools[rng() % 2].hwnd, {0, 0}, -1};  // the tool's edge
        }
        if (r == 15) {
            return {
                host, {300 + static_cast<int>(rng() % 40), 20 + static_cast<int>(rng() % 80)}, -1};
        }
        return {
            host, {10 + static_cast<int>(rng() % 580), 130 + static_cast<int>(rng() % 250)}, -1};
    }

    enum Kind { kMove, kDown, kUp, kRightClick, kRefuse };
    struct Step {
        Kind kind;
        Spot spot;
    };

    // A click, a double click or a drag over a few spots, now and then with a
    // right click on the way; the device refuses the next note message before
    // some steps.
    std::vector<Step> NextGesture()
    {
        std::vector<Step> steps;
        Spot at = RandomSpot();
        steps.push_back({kMove, at});
        const int downs = rng() % 5 == 0 ? 2 : 1;
        for (int d = 0; d < downs; d++) {
            steps.push_back({kDown, at});
            for (unsigned m = downs == 1 ? rng() % 5 : 0; m > 0; m--) {
                if (rng() % 6 == 0) {
                    steps.push_back({kRightClick, at});
                }
                at = RandomSpot();
                steps.push_back({kMove, at});
            }
            steps.push_back({kUp, at});
        }
        for (size_t i = 1; i < steps.size(); i++) {
            if (rng() % 8 == 0) {
                steps.insert(steps.begin() + static_cast<long>(i++), {kRefuse, at});
            }
        }
        return steps;
    }

    static std::string Describe(const std::vector<Step>& steps)
    {
        static const char* const kinds[] = {"move", "down", "up", "right click", "refuse"};
        std::string text;
        for (const Step& s : steps) {
            text += std::string(text.empty() ? "" : ", ") + kinds[s.kind] + " (" +
                    std::to_string(s.spot.at.x) + "," + std::to_string(s.spot.at.y) + ") key " +
                    std::to_string(s.spot.key);
        }
        return text;
    }

    // Sends one step and waits for it; false once a box has been answered,
    // after which the user's button is up and the gesture is over.
    bool Play(const Step& s)
    {
        POINT screen = s.spot.at;
        ClientToScreen(s.spot.window, &screen);
        switch (s.kind) {
        case kMove:
            if (screen.x == cursor.x && screen.y == cursor.y) {
                return true;
            }
            SendMouse(MOUSEEVENTF_MOVE, screen);
            break;
        case kDown:
            buttonDown = true;
            releasedAt = UINT_MAX;
            SendMouse(MOUSEEVENTF_LEFTDOWN);
            break;
        case kUp:
            ReleaseButton();
            break;
        case kRightClick:
            menuSince = 0;  // the menu it may open is a new one
            SendMouse(MOUSEEVENTF_RIGHTDOWN);
            AwaitInput();
            SendMouse(MOUSEEVENTF_RIGHTUP);
            break;
        case kRefuse:
            FailWinmm(W_midiOutShortMsg, MIDIERR_NOTREADY, 1);
            return true;
        }
        const size_t boxes = CaughtDialogs().size();
        AwaitInput();
        return CaughtDialogs().size() == boxes;
    }

    // No note starts once the button is up, a box's loop or not.
    static std::string NoteStartedReleased()
    {
        const std::vector<WinmmRecord> log = WinmmLog();
        for (size_t i = releasedAt; i < log.size(); i++) {
            if (IsNoteOn(log[i])) {
                return "a note started with the button up";
            }
        }
        return "";
    }

    // Each tool's keys show the mark on the key it sounds and on no other.
    std::string MarksMatchSound(const Step& last)
    {
        for (const Tool& t : tools) {
            const std::set<int> sounding = Sounding(t.device);
            if (sounding.size() > 1) {
                return "a tool sounds two notes";
            }
            if (last.kind == kDown && last.spot.window == t.hwnd) {
                if (GetCapture() != t.hwnd) {
                    return "the pressed tool does not hold the capture";
                }
                if (last.spot.key >= 0 && sounding != std::set<int>{t.firstNote + last.spot.key}) {
                    return "the pressed key does not sound";
                }
            }
            const Pixels shown = CaptureClient(t.hwnd);
            for (int key = 0; key <= t.keys.lastKey; key++) {
                const KeyRect& k = t.keys.keys[key];
                const POINT p = KeyPoint(k);
                const COLORREF expected = sounding.count(t.firstNote + key) ? kRed
                                          : k.black                         ? kBlack
                                                                            : kWhite;
                if (shown.At(p.x, p.y) != expected) {
                    return "key " + std::to_string(key) + " of a tool shows the wrong colour";
                }
            }
        }
        return "";
    }

    // Once the button is up and the boxes answered: nothing sounds, no mark
    // is drawn anywhere on the tools, no window holds the capture.
    std::string AllAtRest()
    {
        if (GetCapture()) {
            return "a window holds the capture";
        }
        std::string marks = MarksMatchSound({kMove, {}});
        if (!marks.empty()) {
            return marks;
        }
        for (const Tool& t : tools) {
            if (!Sounding(t.device).empty()) {
                return "a note sounds";
            }
            for (COLORREF c : CaptureClient(t.hwnd).colours) {
                if (c == kRed) {
                    return "a mark is drawn";
                }
            }
        }
        return "";
    }

    Tool tools[2] = {};
};

TEST_F(Gestures, ASeededRunThroughTheInputQueueLeavesNothingSounding)
{
    const ProcessFigures processBefore = CurrentProcessFigures();
    const ObjectLedger ledgerBefore = Ledger();
    tools[0] = MakeTool(10, 290, 4, 36);
    tools[1] = MakeTool(330, 530, 1, 48);
    SetForegroundWindow(host);
    PumpMessages();
    ASSERT_EQ(GetForegroundWindow(), host);
    rng.seed(20261210);
    sentInput = seenInput = 0;
    boxesAnswered = CaughtDialogs().size();
    menusClosed = 0;
    buttonDown = inputLost = false;
    ClearWinmmLog();
    HHOOK hook = SetWindowsHookExA(WH_MOUSE, SeeInput, nullptr, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerModalLoops);

    const char* gestures = getenv("MORVA_GESTURES");
    const int count = gestures ? atoi(gestures) : 200;
    int played = 0, notes = 0, leftSounding = 0;
    std::set<int> unended[2];  // notes each device took whose note-off it refused
    for (; played < count; played++) {
        const std::vector<Step> steps = NextGesture();
        std::string fault;
        releasedAt = 0;
        for (const Step& s : steps) {
            const bool boxless = Play(s) && !inputLost;
            if (fault.empty()) {
                fault = NoteStartedReleased();
            }
            if (!boxless) {
                break;
            }
            if (buttonDown && fault.empty()) {
                fault = MarksMatchSound(s);
                fault = fault.empty() ? "" : "while held: " + fault;
            }
        }
        if (buttonDown && !inputLost) {
            Play({kUp, {host, {}, -1}});
        }
        if (inputLost) {
            fault = "the input of step " + std::to_string(sentInput) + " went nowhere";
        }
        FailWinmm(W_midiOutShortMsg, MMSYSERR_NOERROR, 0);
        if (fault.empty()) {
            fault = AllAtRest();
            fault = fault.empty() ? "" : "at rest: " + fault;
        }
        const std::vector<WinmmRecord> log = WinmmLog();
        for (int i = 0; i < 2; i++) {
            leftSounding += static_cast<int>(Sounding(tools[i].device, true, {}, log).size());
            unended[i] = Sounding(tools[i].device, false, unended[i], log);
        }
        for (const WinmmRecord& r : log) {
            notes += IsNoteOn(r) && r.result == MMSYSERR_NOERROR;
        }
        if (!fault.empty()) {
            ADD_FAILURE() << "gesture " << played << " (" << Describe(steps) << "): " << fault;
            break;
        }
        ClearWinmmLog();
    }
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);

    // Each device is sent a note-off for every note it still sounds, and is
    // closed once.
    for (int i = 0; i < 2; i++) {
        ClearWinmmLog();
        DestroyWindow(tools[i].hwnd);
        leftSounding += static_cast<int>(Sounding(tools[i].device, false, unended[i]).size());
        EXPECT_EQ(WinmmCalls(W_midiOutClose).size(), 1u) << "tool " << i;
    }
    PumpMessages();
    EXPECT_EQ(Winmm()->opened, Winmm()->closed);
    const ObjectLedger ledgerAfter = Ledger();
    EXPECT_EQ(memcmp(&ledgerAfter, &ledgerBefore, sizeof ledgerBefore), 0)
        << "drawing objects or menus left behind, or deleted twice";
    const ProcessFigures processAfter = CurrentProcessFigures();
    EXPECT_EQ(processAfter.gdiObjects, processBefore.gdiObjects);
    EXPECT_EQ(processAfter.userObjects, processBefore.userObjects);
    printf("gesture run: %d gestures, %d notes, %d left sounding\n", played, notes, leftSounding);
    printf("(%d boxes answered, %d context menus closed)\n",
           static_cast<int>(CaughtDialogs().size()), menusClosed);
    EXPECT_EQ(played, count);
    EXPECT_EQ(leftSounding, 0);
}

}  // namespace
