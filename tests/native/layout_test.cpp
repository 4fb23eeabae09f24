// Key layout: the key table for given client sizes and octave counts.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "keyboard/layout.h"

// Found by the test macros through the key's own (global) namespace.
static bool operator==(const KeyRect& a, const KeyRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom &&
           a.black == b.black;
}

static std::ostream& operator<<(std::ostream& os, const KeyRect& k)
{
    return os << "(" << k.left << ", " << k.top << ", " << k.right << ", " << k.bottom
              << (k.black ? ") black" : ") white");
}

namespace {

const KeyRect kSentinel = {0x5A5A5A5A, -0x5A5A5A5B, 0x0BADF00D, -7, 0x7E7E7E7E};

// A block whose table is filled with a pattern no layout writes, so any
// entry the layout leaves alone is recognisable.
ToolStateBlock SentinelBlock(int32_t octaves)
{
    ToolStateBlock block;
    memset(&block, 0xA5, sizeof block);
    block.octaves = octaves;
    block.lastKey = -12345;
    for (KeyRect& k : block.keys) {
        k = kSentinel;
    }
    return block;
}

// A client area of width x height has its inner rectangle 2 pixels in.
ToolStateBlock LaidOut(int width, int height, int32_t octaves)
{
    ToolStateBlock block = SentinelBlock(octaves);
    LayOutKeys(&block, {2, 2, width - 2, height - 2});
    return block;
}

void ExpectUntouchedFrom(const ToolStateBlock& block, int first)
{
    for (int i = first; i < KEY_TABLE_SIZE; i++) {
        EXPECT_EQ(block.keys[i], kSentinel) << "entry " << i;
    }
}

std::vector<int32_t> Separators(const ToolStateBlock& block)
{
    std::vector<int32_t> xs;
    for (int i = 0; i < KEY_TABLE_SIZE; i++) {
        if (HasSeparator(block, i)) {
            xs.push_back(block.keys[i].right);
        }
    }
    return xs;
}

TEST(Layout, IdealSizeOfThreeOctaves)
{
    ToolStateBlock block = LaidOut(96, 20, 3);
    EXPECT_EQ(block.lastKey, 36);
    // The eleventh separator lies at 47: the running edge is just below 48.
    EXPECT_EQ(Separators(block), (std::vector<int32_t>{6,  10, 14, 18, 22, 27, 31, 35, 39, 43, 47,
                                                       52, 56, 60, 64, 68, 73, 77, 81, 85, 89}));
    EXPECT_EQ(block.keys[0], (KeyRect{2, 2, 6, 18, 0}));
    EXPECT_EQ(block.keys[1], (KeyRect{4, 2, 7, 9, 1}));
    EXPECT_EQ(block.keys[36], (KeyRect{89, 2, 94, 18, 0}));
    ExpectUntouchedFrom(block, 37);
}

TEST(Layout, OneOctaveOfWholePixelKeys)
{
    ToolStateBlock block = LaidOut(100, 60, 1);
    const KeyRect expected[13] = {
        {2, 2, 14, 58, 0},  {10, 2, 18, 29, 1}, {14, 2, 26, 58, 0}, {22, 2, 30, 29, 1},
        {26, 2, 38, 58, 0}, {38, 2, 50, 58, 0}, {46, 2, 54, 29, 1}, {50, 2, 62, 58, 0},
        {58, 2, 66, 29, 1}, {62, 2, 74, 58, 0}, {70, 2, 78, 29, 1}, {74, 2, 86, 58, 0},
        {86, 2, 98, 58, 0},
    };
    for (int i = 0; i < 13; i++) {
        EXPECT_EQ(block.keys[i], expected[i]) << "entry " << i;
    }
    EXPECT_EQ(block.lastKey, 12);
    EXPECT_EQ(Separators(block), (std::vector<int32_t>{14, 26, 38, 50, 62, 74, 86}));
    ExpectUntouchedFrom(block, 13);
}

// Sizes where the running edge and truncation lose a pixel against the exact
// position; stored tables depend on these pixels.
TEST(Layout, AccumulatedEdgeLosesAPixelWhereItShould)
{
    struct Case {
        int width, height, octaves, entry;
        KeyRect key;
    } const cases[] = {
        // The top C ends one short of the inner right edge 198.
        {200, 60, 2, 24, {184, 2, 197, 58, 0}},
        // (2 + K) - K falls just below 2.
        {100, 40, 4, 0, {1, 2, 5, 38, 0}},
        // The A starts one pixel left of the G's separator.
        {91, 40, 2, 7, {25, 2, 31, 38, 0}},
        {91, 40, 2, 9, {30, 2, 36, 38, 0}},
        // Half a black key is K times the double nearest one third; K / 3
        // would start this D sharp at 30.
        {265, 40, 2, 3, {31, 2, 42, 19, 1}},
    };
    for (const Case& c : cases) {
        ToolStateBlock block = LaidOut(c.width, c.height, c.octaves);
        EXPECT_EQ(block.keys[c.entry], c.key)
            << c.width << " x " << c.height << ", " << c.octaves << " octaves, entry " << c.entry;
        EXPECT_EQ(block.lastKey, 12 * c.octaves);
    }
}

TEST(Layout, BlackKeyBottomIsHalfTheInnerBottomNotTheMiddle)
{
    ToolStateBlock block = SentinelBlock(1);
    LayOutKeys(&block, {2, 30, 98, 91});  // a tool whose inner top is far down
    EXPECT_EQ(block.keys[1].top, 30);
    EXPECT_EQ(block.keys[1].bottom, 45);
    EXPECT_EQ(block.keys[0].bottom, 91);
}

// Sweep of sizes and counts: the pattern of the keys, which key input and
// note numbering rely on, and the bounds of every entry.
TEST(Layout, EveryOctaveFollowsTheKeyPattern)
{
    const int32_t pattern[12] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
    for (int32_t octaves = 1; octaves <= 7; octaves++) {
        for (int width = 8; width <= 700; width += 7) {
            ToolStateBlock block = LaidOut(width, 24, octaves);
            ASSERT_EQ(block.lastKey, 12 * octaves);
            for (int i = 0; i <= block.lastKey; i++) {
                const KeyRect& k = block.keys[i];
                ASSERT_EQ(k.black, i == block.lastKey ? 0 : pattern[i % 12]) << i;
                ASSERT_EQ(k.top, 2);
                ASSERT_EQ(k.bottom, k.black ? 11 : 22);
                ASSERT_LE(k.left, k.right);
                ASSERT_GE(k.left, 1) << width << " " << octaves << " " << i;
                ASSERT_LE(k.right, width - 2);
            }
            // The running edge drifts by less than a pixel over the whole board.
            ASSERT_GE(block.keys[block.lastKey].right, width - 3);
            ASSERT_EQ(Separators(block).size(), 7u * octaves);
            ExpectUntouchedFrom(block, block.lastKey + 1);
        }
    }
}

TEST(Layout, FewerOctavesLeaveTheLaterEntriesOfALargerLayout)
{
    ToolStateBlock block = LaidOut(226, 20, 7);
    ToolStateBlock seven = block;
    block.octaves = 1;
    LayOutKeys(&block, {2, 2, 224, 18});
    EXPECT_EQ(block.lastKey, 12);
    EXPECT_EQ(block.keys[12], (KeyRect{196, 2, 224, 18, 0}));
    EXPECT_EQ(memcmp(&block.keys[13], &seven.keys[13], sizeof(KeyRect) * (KEY_TABLE_SIZE - 13)), 0);
}

TEST(Layout, NoOctaveIsOneWhiteKeyOverTheInnerWidth)
{
    ToolStateBlock block = LaidOut(96, 20, 0);
    EXPECT_EQ(block.lastKey, 0);
    EXPECT_EQ(block.keys[0], (KeyRect{2, 2, 94, 18, 0}));
    EXPECT_TRUE(Separators(block).empty());
    EXPECT_FALSE(IsBlackKey(block, 0));
    ExpectUntouchedFrom(block, 1);
}

// Counts the module never stores itself, brought by a restored block.
TEST(Layout, OctaveCountsBeyondTheTableLayOutSevenAndWriteNothingPastIt)
{
    const ToolStateBlock seven = LaidOut(226, 20, 7);
    ASSERT_EQ(seven.lastKey, 84);
    for (int32_t octaves : {8, 14, 1000, INT_MAX}) {
        ToolStateBlock block = LaidOut(226, 20, octaves);
        EXPECT_EQ(block.octaves, octaves) << "the stored count is not corrected";
        EXPECT_EQ(block.lastKey, 84) << octaves;
        EXPECT_EQ(memcmp(block.keys, seven.keys, sizeof block.keys), 0) << octaves;
        ExpectUntouchedFrom(block, 85);
    }
}

TEST(Layout, NegativeOctaveCountsLayOutAsNone)
{
    const ToolStateBlock none = LaidOut(96, 20, 0);
    for (int32_t octaves : {-1, -7, INT_MIN}) {
        ToolStateBlock block = LaidOut(96, 20, octaves);
        EXPECT_EQ(block.octaves, octaves);
        EXPECT_EQ(block.lastKey, 0) << octaves;
        EXPECT_EQ(block.keys[0], none.keys[0]) << octaves;
        ExpectUntouchedFrom(block, 1);
    }
}

TEST(Layout, TinyAndEmptyClientAreasStillFillOnlyTheirEntries)
{
    // Inner width zero: every key collapses onto x = 2.
    ToolStateBlock flat = LaidOut(4, 4, 3);
    EXPECT_EQ(flat.lastKey, 36);
    for (int i = 0; i <= 36; i++) {
        EXPECT_EQ(flat.keys[i], (KeyRect{2, 2, 2, flat.keys[i].black ? 1 : 2, flat.keys[i].black}))
            << i;
    }
    ExpectUntouchedFrom(flat, 37);

    // An empty client area has an inside-out inner rectangle and a negative
    // key width; the layout still only writes its own entries.
    for (int size : {0, 1, 3}) {
        for (int32_t octaves : {1, 3, 7}) {
            ToolStateBlock block = LaidOut(size, size, octaves);
            EXPECT_EQ(block.lastKey, 12 * octaves);
            for (int i = 0; i <= block.lastKey; i++) {
                EXPECT_EQ(block.keys[i].top, 2);
                EXPECT_EQ(block.keys[i].bottom, block.keys[i].black ? (size - 2) / 2 : size - 2);
            }
            ExpectUntouchedFrom(block, block.lastKey + 1);
        }
    }
}

TEST(Layout, ExtremeRectanglesPinCoordinatesInsteadOfOverflowing)
{
    ToolStateBlock block = SentinelBlock(7);
    LayOutKeys(&block, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    EXPECT_EQ(block.lastKey, 84);
    EXPECT_LE(block.keys[0].left, INT_MIN + 1);
    EXPECT_EQ(block.keys[1].bottom, INT_MAX / 2);
    EXPECT_GE(block.keys[84].right, INT_MAX - 1);
    ExpectUntouchedFrom(block, 85);

    block = SentinelBlock(1);
    LayOutKeys(&block, {INT_MAX, 0, INT_MIN, 0});
    EXPECT_EQ(block.lastKey, 12);
    EXPECT_GE(block.keys[0].left, INT_MAX - 1);
    ExpectUntouchedFrom(block, 13);
}

}  // namespace
