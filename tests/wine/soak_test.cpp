// Soak: many cycles of everything a tool does, with the objects, memory and
// devices it holds counted before and after. Nothing may grow.
#include "tests/wine/harness.h"

#include <commctrl.h>

#include <cstdio>

namespace {

class Soak : public MorvaTest {
protected:
    void SetUp() override
    {
        MorvaTest::SetUp();
        StartObjectLedger(morva->dll);
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&icc);
    }

    struct Snapshot {
        ObjectLedger ledger;
        ProcessFigures process;
        UINT opened;
        UINT closed;
    };

    static Snapshot Take()
    {
        PumpMessages();
        return {Ledger(), CurrentProcessFigures(), Winmm()->opened, Winmm()->closed};
    }

    // Prints the figures of one run and fails when an object count grew.
    static void Report(const char* what, int count, const Snapshot& before, const Snapshot& after)
    {
        printf(
            "soak %-34s x%-6d gdi %+ld (system %+ld), memory DCs %+ld, window DCs %+ld, "
            "menus %+ld, user objects %+ld, private memory %+lld KiB of %llu KiB, devices "
            "opened %u closed %u\n",
            what, count, after.ledger.gdiObjects - before.ledger.gdiObjects,
            static_cast<long>(after.process.gdiObjects) -
                static_cast<long>(before.process.gdiObjects),
            after.ledger.memoryDcs - before.ledger.memoryDcs,
            after.ledger.windowDcs - before.ledger.windowDcs,
            after.ledger.menus - before.ledger.menus,
            static_cast<long>(after.process.userObjects) -
                static_cast<long>(before.process.userObjects),
            (static_cast<long long>(after.process.privateBytes) -
             static_cast<long long>(before.process.privateBytes)) /
                1024,
            static_cast<unsigned long long>(after.process.privateBytes) / 1024,
            after.opened - before.opened, after.closed - before.closed);
        EXPECT_LE(after.ledger.gdiObjects, before.ledger.gdiObjects) << what;
        EXPECT_LE(after.ledger.memoryDcs, before.ledger.memoryDcs) << what;
        EXPECT_LE(after.ledger.windowDcs, before.ledger.windowDcs) << what;
        EXPECT_LE(after.ledger.menus, before.ledger.menus) << what;
        EXPECT_LE(after.process.gdiObjects, before.process.gdiObjects) << what;
        EXPECT_LE(after.process.userObjects, before.process.userObjects) << what;
        EXPECT_EQ(after.ledger.failedDeletes, 0) << what;
        EXPECT_EQ(after.opened - before.opened, after.closed - before.closed) << what;
    }
};

TEST_F(Soak, PressSlideReleaseCycles)
{
    HWND tool = PlayableTool(0, 0, 100, 60, 1);
    const int cycles = SoakCount(100000);
    Snapshot before = Take();
    for (int i = 0; i < cycles; i++) {
        SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 40));
        SendMessageA(tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 40));
        SendMessageA(tool, WM_LBUTTONUP, 0, MAKELPARAM(20, 40));
    }
    Report("press, slide and release", cycles, before, Take());
    EXPECT_EQ(Winmm()->logCount, static_cast<UINT>(4 * cycles + 5));
}

TEST_F(Soak, Resizes)
{
    HWND tool = PlayableTool(0, 0, 100, 60, 1);
    const int resizes = SoakCount(10000);
    Snapshot before = Take();
    for (int i = 0; i < resizes; i++) {
        SetWindowPos(tool, nullptr, 0, 0, 100 + i % 200, 20 + i % 60, SWP_NOMOVE | SWP_NOZORDER);
        if (i % 100 == 0) {
            InvalidateRect(tool, nullptr, FALSE);
            UpdateWindow(tool);
        }
    }
    Report("resizes with layout and paint", resizes, before, Take());
}

TEST_F(Soak, ToolsCreatedAndDestroyed)
{
    const int tools = SoakCount(1000);
    Snapshot before = Take();
    for (int i = 0; i < tools; i++) {
        HWND tool = PlayableTool(0, 0, 100, 60, 1);
        SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 40));
        DestroyWindow(tool);
    }
    Snapshot after = Take();
    Report("tools created and destroyed", tools, before, after);
    EXPECT_EQ(after.opened - before.opened, static_cast<UINT>(tools));
}

TEST_F(Soak, PropertyPagesOpenedAppliedAndDestroyed)
{
    const int pages = SoakCount(1000);
    Snapshot before = Take();
    HWND tool = PlayableTool(0, 0, 100, 60, 1);
    for (int i = 0; i < pages; i++) {
        HWND page = reinterpret_cast<HWND>(SendMessageA(
            tool, PNM_CREATEPROPPAGE, reinterpret_cast<WPARAM>(host), MAKELPARAM(4, 4)));
        ASSERT_NE(page, nullptr);
        SendMessageA(page, WM_COMMAND, ID_PAGE_APPLY, 0);
        DestroyWindow(page);
    }
    DestroyWindow(tool);
    Report("property pages opened and applied", pages, before, Take());
    EXPECT_TRUE(CaughtDialogs().empty());
}

}  // namespace
