// Bad input at the boundary: odd host messages, restored blocks holding any
// values, degenerate rectangles and sizes. Each ends in the documented
// behaviour or a safe one, never in a crash or a read or write out of bounds.
#include <climits>
#include <cstring>

#include "tests/wine/harness.h"
#include "tests/wine/record.h"

namespace {

using BadInput = MorvaTest;

LRESULT Fit(HWND tool, int32_t minW, int32_t minH, int32_t maxW, int32_t maxH, int32_t byHeight,
            uint16_t size)
{
    SizeFitRequest request = {minW, minH, maxW, maxH, byHeight, size};
    return SendMessageA(tool, PNM_FITSIZE, 0, reinterpret_cast<LPARAM>(&request));
}

LRESULT Packed(uint32_t width, uint32_t height)
{
    return static_cast<LRESULT>(PackSize(width, height));
}

TEST_F(BadInput, SizeRequestsWithOddLimits)
{
    HWND tool = CreateTool(0, 0, 96, 20);
    // A minimum above the maximum: the computed size falls below the minimum.
    EXPECT_EQ(Fit(tool, 200, 50, 100, 30, 1, 20), Packed(200, 50));
    EXPECT_EQ(Fit(tool, 0, 0, 500, 500, 1, 0), Packed(0, 0));
    EXPECT_EQ(Fit(tool, 0, 0, 500, 500, 0, 0), Packed(0, 0));
    // 65535 by height: 65535 x 96 x 0.05 = 314568, capped by the maximum.
    EXPECT_EQ(Fit(tool, 0, 0, 1000, 70000, 1, 65535), Packed(1000, 208));
    EXPECT_EQ(Fit(tool, 0, 0, 70000, 70000, 0, 65535), Packed(65535, 13653));
    // Negative limits are taken as 16-bit sizes once they cap a dimension.
    EXPECT_EQ(Fit(tool, -10, -10, -1, -1, 1, 20), Packed(65535, 13653));
    EXPECT_EQ(Fit(tool, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1, 65535),
              Packed(314568 & 0xFFFF, 65535));
    EXPECT_EQ(LentBlock(tool)->octaves, 3);
}

ToolStateBlock ExtremeBlock(int32_t octaves, int32_t lastKey, int32_t currentKey, int32_t voice,
                            int16_t volume)
{
    ToolStateBlock block;
    memset(&block, 0x7F, sizeof block);
    block.octaves = octaves;
    block.lastKey = lastKey;
    block.currentKey = currentKey;
    block.voice = voice;
    block.volume = volume;
    block.deviceNumber = 0;
    return block;
}

void Exercise(HWND tool)
{
    SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageA(tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 15));
    SendMessageA(tool, WM_LBUTTONUP, 0, MAKELPARAM(40, 15));
    SendMessageA(tool, PNM_GETIDEALSIZE, 0, 0);
    InvalidateRect(tool, nullptr, TRUE);
    UpdateWindow(tool);
    SetWindowPos(tool, nullptr, 0, 0, 300, 40, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(tool, PNM_REFRESH, 0, 0);
    UpdateWindow(tool);
    SendMessageA(tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 30));
    SendMessageA(tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(280, 30));
    SendMessageA(tool, WM_LBUTTONUP, 0, MAKELPARAM(280, 30));
}

TEST_F(BadInput, RestoredBlocksWithExtremeValues)
{
    const ToolStateBlock blocks[] = {
        ExtremeBlock(INT_MAX, INT_MAX, INT_MAX, INT_MAX, SHRT_MAX),
        ExtremeBlock(INT_MIN, INT_MIN, INT_MIN, INT_MIN, SHRT_MIN),
        ExtremeBlock(8, 96, 95, 127, 101),
        ExtremeBlock(-1, -1, -1, -1, -1),
        ExtremeBlock(0, 94, 94, 126, 0),
        ExtremeBlock(7, 1000, -1000, 1000, 100),
    };
    HWND tool = CreateTool(0, 0, 200, 30);
    SendMessageA(tool, WM_MOVE, 0, 0);
    for (const ToolStateBlock& block : blocks) {
        SendMessageA(tool, PNM_SETSTATE, 0, reinterpret_cast<LPARAM>(&block));
        Exercise(tool);
        const ToolStateBlock& state = *LentBlock(tool);
        EXPECT_GE(state.lastKey, 0);
        EXPECT_LE(state.lastKey, 84);
        EXPECT_GE(state.currentKey, -1);
        EXPECT_LE(state.currentKey, state.lastKey);
        // Creation from the same bytes, with its sound set-up, is safe too.
        HWND copy = CreateTool(0, 40, 200, 70, &block);
        ASSERT_NE(copy, nullptr);
        Exercise(copy);
        DestroyWindow(copy);
    }
    EXPECT_EQ(Winmm()->opened, 6u);
    EXPECT_EQ(Winmm()->closed, 6u);
}

TEST_F(BadInput, EmptyAndInvertedPlacements)
{
    const RECT rects[] = {{0, 0, 0, 0},
                          {50, 50, 10, 10},
                          {-100, -100, -50, -50},
                          {0, 0, 1, 1},
                          {INT_MIN / 2, 0, INT_MAX / 2, 5}};
    for (const RECT& rc : rects) {
        HWND tool = morva->create(host, &rc, nullptr, 0, 0);
        if (!tool) {
            continue;  // the system refused the window: nothing is left behind
        }
        SendMessageA(tool, WM_MOVE, 0, 0);
        Exercise(tool);
        DestroyWindow(tool);
    }
}

TEST_F(BadInput, SizesDownToNothingAndBeyondWhatABitmapCanHold)
{
    HWND tool = CreateTool(0, 0, 96, 20);
    SendMessageA(tool, WM_SIZE, 0, MAKELPARAM(0, 0));
    Exercise(tool);
    SendMessageA(tool, WM_SIZE, 0, MAKELPARAM(65535, 65535));
    SendMessageA(tool, PNM_REFRESH, 0, 0);
    UpdateWindow(tool);
    Exercise(tool);
    SendMessageA(tool, WM_SIZE, 0, MAKELPARAM(96, 20));
    SendMessageA(tool, PNM_REFRESH, 0, 0);
    // The buffer, made again once a size allows it: its life shows in the record.
    EXPECT_NE(Record(tool)->backBuffer, nullptr);
}

TEST_F(BadInput, MissingPointersInHostMessages)
{
    HWND tool = CreateTool(0, 0, 96, 20);
    EXPECT_EQ(SendMessageA(tool, PNM_GETSTATE, 0, 0), 1936);
    EXPECT_EQ(SendMessageA(tool, PNM_FITSIZE, 0, 0), 0);
    EXPECT_EQ(SendMessageA(tool, PNM_CREATEPROPPAGE, 0, MAKELPARAM(65535, 65535)), 0);
    EXPECT_EQ(LentBlock(tool)->octaves, 3);
}

}  // namespace
