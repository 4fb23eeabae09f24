// The plug-in boundary as a host meets it: enumeration, type set-up, tool
// creation, the settings block and the panel protocol.
#include <cstring>
#include <string>

#include "tests/wine/harness.h"
#include "tests/wine/record.h"

namespace {

// The enumeration and the type's set-up are a module's first calls: their
// tests load it afresh, whatever the tests before them left.
TEST(Enumerate, ReportsTheTypeOnceWithExactNameBytes)
{
    const MorvaModule& morva = ReloadMorva(GetModuleHandleA(nullptr));
    ASSERT_NE(morva.enumerate, nullptr);
    char names[3][32];  // the set-up's, the creation's and the clean-up's
    memset(names, 'x', sizeof names);
    // A call missing a buffer reports nothing and keeps the type for a later one.
    EXPECT_EQ(morva.enumerate(nullptr, names[1], names[2], nullptr, 0), 0);
    EXPECT_EQ(morva.enumerate(names[0], names[1], names[2], reinterpret_cast<HINSTANCE>(0x1000), 7),
              1);
    EXPECT_EQ(memcmp(names[0], "InitMorvaToolType\0xxx", 21), 0);
    EXPECT_EQ(memcmp(names[1], "MorvaToolCreate\0xxx", 19), 0);
    EXPECT_EQ(memcmp(names[2], "MorvaToolCleanup\0xxx", 20), 0);

    // The second call reports nothing and leaves the buffers alone, but it
    // still takes the new host instance: the class is registered under it.
    char again[3][32];
    memset(again, 'y', sizeof again);
    EXPECT_EQ(morva.enumerate(again[0], again[1], again[2], GetModuleHandleA(nullptr), 0), 0);
    EXPECT_EQ(std::string(again[0], sizeof again), std::string(sizeof again, 'y'));
    PanelTypeInfo* info = nullptr;
    morva.init(&info, 0);
    WNDCLASSA wc;
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "MorvaTool", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_DBLCLKS));
    EXPECT_EQ(wc.cbWndExtra, static_cast<int>(sizeof(void*)));
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.hbrBackground, GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
}

int registerCalls;
decltype(&RegisterClassA) realRegisterClassA;
ATOM WINAPI CountingRegisterClassA(const WNDCLASSA* wc)
{
    registerCalls++;
    return realRegisterClassA(wc);
}

TEST(InitType, RegistersTheClassOnceAndFillsTheTypeDescription)
{
    const MorvaModule& morva = ReloadMorva(GetModuleHandleA(nullptr));
    registerCalls = 0;
    realRegisterClassA = reinterpret_cast<decltype(&RegisterClassA)>(
        HookImport(morva.dll, "user32.dll", "RegisterClassA",
                   reinterpret_cast<void*>(&CountingRegisterClassA)));
    ASSERT_NE(realRegisterClassA, nullptr);
    char a[32], b[32], c[32];
    morva.enumerate(a, b, c, GetModuleHandleA(nullptr), 0);

    PanelTypeInfo* first = nullptr;
    PanelTypeInfo* second = nullptr;
    EXPECT_EQ(morva.init(&first, 0), &first);
    ASSERT_NE(first, nullptr);
    const HBITMAP firstImages[] = {first->image, first->monoImage};
    EXPECT_EQ(morva.init(&second, 0), &second);
    EXPECT_EQ(registerCalls, 1);
    EXPECT_EQ(first, second);
    // A later set-up keeps the images the first one loaded.
    EXPECT_EQ(second->image, firstImages[0]);
    EXPECT_EQ(second->monoImage, firstImages[1]);
    EXPECT_STREQ(first->name, "Morva");
    EXPECT_STREQ(first->description, "Morva Tool for Orbiscope");

    BITMAP bm;
    for (HBITMAP image : firstImages) {
        ASSERT_EQ(GetObjectA(image, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, 16);
        EXPECT_EQ(bm.bmHeight, 16);
    }
    EXPECT_EQ(bm.bmBitsPixel, 1);  // the last, the mono image
    EXPECT_EQ(morva.init(nullptr, 0), nullptr);
}

using ToolCreation = MorvaTest;

TEST_F(ToolCreation, WithoutASavedBlockMakesAVisibleChildWithDefaults)
{
    HWND tool = CreateTool(10, 20, 110, 45);
    ASSERT_NE(tool, nullptr);
    char cls[32];
    GetClassNameA(tool, cls, sizeof cls);
    EXPECT_STREQ(cls, "MorvaTool");
    EXPECT_EQ(GetParent(tool), host);
    LONG style = GetWindowLongA(tool, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS),
              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
    EXPECT_EQ(GetWindowLongA(tool, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
    RECT rc;
    GetWindowRect(tool, &rc);
    MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right - rc.left, 100);
    EXPECT_EQ(rc.bottom - rc.top, 25);

    ToolStateBlock expected = DefaultBlock();
    const ToolStateBlock* block = LentBlock(tool);
    EXPECT_EQ(block->octaves, 3);
    EXPECT_EQ(block->deviceNumber, -1);
    EXPECT_EQ(block->volume, 100);
    EXPECT_EQ(memcmp(block, &expected, TOOL_STATE_SIZE), 0);
    // The record's window, which its boxes and marks use; a host never sees it.
    EXPECT_EQ(Record(tool)->hwnd, tool);
}

ToolStateBlock PatternBlock()
{
    ToolStateBlock block;
    auto bytes = reinterpret_cast<unsigned char*>(&block);
    for (int i = 0; i < TOOL_STATE_SIZE; i++) {
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    block.octaves = 5;
    block.deviceNumber = -1;
    block.voice = 40;
    block.volume = 55;
    return block;
}

TEST_F(ToolCreation, FromASavedBlockTakesAllItsBytes)
{
    ToolStateBlock saved = PatternBlock();
    HWND tool = CreateTool(0, 0, 160, 20, &saved);
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(memcmp(LentBlock(tool), &saved, TOOL_STATE_SIZE), 0);
}

// A null placement makes an empty window; a parent that is no window, none.
TEST_F(ToolCreation, ANullPlacementMakesAnEmptyWindowAndNoParentNone)
{
    HWND tool = morva->create(host, nullptr, nullptr, 0, 0);
    ASSERT_NE(tool, nullptr);
    RECT rc;
    GetClientRect(tool, &rc);
    EXPECT_EQ(rc.right, 0);
    EXPECT_EQ(rc.bottom, 0);
    rc = {0, 0, 10, 10};
    EXPECT_EQ(morva->create(reinterpret_cast<HWND>(0xDEAD0), &rc, nullptr, 0, 0), nullptr);
}

using SettingsBlock = MorvaTest;

TEST_F(SettingsBlock, SetStateCopiesTheBytesOnly)
{
    HWND tool = CreateTool(0, 0, 96, 20);
    ToolStateBlock* lent = LentBlock(tool);
    ToolStateBlock block = PatternBlock();
    int shortBefore = static_cast<int>(WinmmLog().size());
    EXPECT_EQ(SendMessageA(tool, PNM_SETSTATE, 0, reinterpret_cast<LPARAM>(&block)), 0);
    EXPECT_EQ(memcmp(lent, &block, TOOL_STATE_SIZE), 0);
    EXPECT_EQ(static_cast<int>(WinmmLog().size()), shortBefore);
    // The record's own fields after the block are left as they were.
    EXPECT_EQ(Record(tool)->hwnd, tool);
    // A host that sends no block changes nothing.
    EXPECT_EQ(SendMessageA(tool, PNM_SETSTATE, 0, 0), 0);
    EXPECT_EQ(memcmp(lent, &block, TOOL_STATE_SIZE), 0);
    // Nor does one that hands back the lent block itself.
    EXPECT_EQ(SendMessageA(tool, PNM_SETSTATE, 0, reinterpret_cast<LPARAM>(lent)), 0);
    EXPECT_EQ(memcmp(lent, &block, TOOL_STATE_SIZE), 0);
}

using SizeProtocol = MorvaTest;

TEST_F(SizeProtocol, IdealSizeIsThirtyTwoPerOctaveByTwenty)
{
    HWND tool = CreateTool(0, 0, 96, 20);
    EXPECT_EQ(SendMessageA(tool, PNM_GETIDEALSIZE, 0, 0), MAKELONG(96, 20));
    LentBlock(tool)->octaves = 0;
    EXPECT_EQ(SendMessageA(tool, PNM_GETIDEALSIZE, 0, 0), MAKELONG(32, 20));
    EXPECT_EQ(LentBlock(tool)->octaves, 0);
}

TEST_F(SizeProtocol, AllThreeFitMessagesFitTheSameWay)
{
    HWND tool = CreateTool(0, 0, 96, 20);
    const struct {
        SizeFitRequest request;
        LRESULT fitted;
    } fits[] = {{{0, 0, 500, 500, 1, 20}, MAKELONG(96, 20)},       // by height
                {{0, 0, 48, 500, 1, 20}, MAKELONG(48, 10)},        // capped
                {{0, 0, 500, 500, 0, 192}, MAKELONG(192, 40)},     // by width
                {{100, 30, 500, 500, 1, 20}, MAKELONG(100, 30)}};  // too small
    for (UINT msg : {PNM_FITSIZE, PNM_FITSIZE2, PNM_FITSIZE3}) {
        for (auto f : fits) {
            EXPECT_EQ(SendMessageA(tool, msg, 0, reinterpret_cast<LPARAM>(&f.request)), f.fitted)
                << msg;
        }
    }
}

int beeps;
DWORD beepArgs[2] = {1, 1};
BOOL WINAPI RecordingBeep(DWORD frequency, DWORD duration)
{
    beeps++;
    beepArgs[0] = frequency;
    beepArgs[1] = duration;
    return TRUE;
}

using HostProtocol = MorvaTest;

TEST_F(HostProtocol, MessagesBeforeTheRecordIsAttachedGoToTheDefaultProcedure)
{
    beeps = 0;
    ASSERT_NE(
        HookImport(morva->dll, "kernel32.dll", "Beep", reinterpret_cast<void*>(&RecordingBeep)),
        nullptr);
    // A window of the class without a record, as during creation.
    HWND bare = CreateWindowExA(0, "MorvaTool", "", WS_CHILD | WS_VISIBLE, 0, 0, 96, 20, host,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(bare, nullptr);
    void* lent = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(SendMessageA(bare, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent)), 0);
    EXPECT_EQ(lent, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(SendMessageA(bare, PNM_GETIDEALSIZE, 0, 0), 0);
    SizeFitRequest request = {0, 0, 500, 500, 1, 20};
    EXPECT_EQ(SendMessageA(bare, PNM_FITSIZE, 0, reinterpret_cast<LPARAM>(&request)), 0);
    EXPECT_EQ(SendMessageA(bare, PNM_CREATEPROPPAGE, reinterpret_cast<WPARAM>(host), 0), 0);
    EXPECT_EQ(SendMessageA(bare, PNM_REFRESH, 0, 0), 0);
    EXPECT_EQ(SendMessageA(bare, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10)), 0);
    EXPECT_EQ(SendMessageA(bare, WM_LBUTTONUP, 0, MAKELPARAM(10, 10)), 0);
    EXPECT_EQ(SendMessageA(bare, WM_SIZE, 0, MAKELPARAM(96, 20)), 0);
    EXPECT_EQ(SendMessageA(bare, PNM_BEEP, 0, 0), 0);  // a tool's beep, which needs no record
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(beepArgs[0], 0u);
    EXPECT_EQ(beepArgs[1], 0u);
    // The menu's Properties command asks the host all the same; another does nothing.
    SendMessageA(bare, WM_COMMAND, IDM_PROPERTIES, 0);
    SendMessageA(bare, WM_COMMAND, 999, 0);
    const std::vector<HostRecord> shown = HostMessages(PNM_SHOWPROPERTIES);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].wParam, reinterpret_cast<WPARAM>(bare));
    UpdateWindow(bare);
    EXPECT_TRUE(DestroyWindow(bare));
    EXPECT_TRUE(WinmmLog().empty());
}

struct MenuItem {
    UINT id;
    UINT type;
    std::string text;
};
std::vector<MenuItem> menuItems;
POINT menuPoint;
UINT menuFlags;
HWND menuOwner;
decltype(&TrackPopupMenu) realTrackPopupMenu;

BOOL WINAPI RecordingTrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                                    const RECT* rc)
{
    menuItems.clear();
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        char text[100] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        menuItems.push_back({info.wID, info.fType, text});
    }
    menuPoint = {x, y};
    menuFlags = flags;
    menuOwner = owner;
    return realTrackPopupMenu(menu, flags, x, y, reserved, owner, rc);
}

using ContextMenu = MorvaTest;

TEST_F(ContextMenu, RightClickShowsTheMenuAndPropertiesAsksTheHost)
{
    realTrackPopupMenu = reinterpret_cast<decltype(&TrackPopupMenu)>(
        HookImport(morva->dll, "user32.dll", "TrackPopupMenu",
                   reinterpret_cast<void*>(&RecordingTrackPopupMenu)));
    ASSERT_NE(realTrackPopupMenu, nullptr);
    HWND tool = CreateTool(30, 40, 126, 60);
    // The menu's own loop reads these keys: down to About, down to
    // Properties (over the separator), Enter.
    PostMessageA(tool, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(tool, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(tool, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(tool, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
    PumpMessages();

    ASSERT_EQ(menuItems.size(), 3u);
    EXPECT_EQ(menuItems[0].id, static_cast<UINT>(IDM_ABOUT));
    EXPECT_EQ(menuItems[0].text, "About Morva...");
    EXPECT_EQ(menuItems[1].type & MFT_SEPARATOR, static_cast<UINT>(MFT_SEPARATOR));
    EXPECT_EQ(menuItems[2].id, static_cast<UINT>(IDM_PROPERTIES));
    EXPECT_EQ(menuItems[2].text, "Properties...");
    POINT expected = {5, 6};
    ClientToScreen(tool, &expected);
    EXPECT_EQ(menuPoint.x, expected.x);
    EXPECT_EQ(menuPoint.y, expected.y);
    EXPECT_EQ(menuFlags, static_cast<UINT>(TPM_RIGHTBUTTON));
    EXPECT_EQ(menuOwner, tool);

    std::vector<HostRecord> shown = HostMessages(PNM_SHOWPROPERTIES);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].wParam, reinterpret_cast<WPARAM>(tool));
}

}  // namespace
