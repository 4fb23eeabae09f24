// Keys under the mouse: hit testing, note numbers and the mark rectangle.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "keyboard/keys.h"

namespace {

// The keyboard of one octave laid out in a 100 x 60 client area.
ToolStateBlock OneOctave()
{
    ToolStateBlock block;
    memset(&block, 0, sizeof block);
    const KeyRect keys[] = {
        {2, 2, 14, 58, 0},  {10, 2, 18, 29, 1}, {14, 2, 26, 58, 0}, {22, 2, 30, 29, 1},
        {26, 2, 38, 58, 0}, {38, 2, 50, 58, 0}, {46, 2, 54, 29, 1}, {50, 2, 62, 58, 0},
        {58, 2, 66, 29, 1}, {62, 2, 74, 58, 0}, {70, 2, 78, 29, 1}, {74, 2, 86, 58, 0},
        {86, 2, 98, 58, 0},
    };
    memcpy(block.keys, keys, sizeof keys);
    block.octaves = 1;
    block.lastKey = 12;
    return block;
}

TEST(HitTest, BlackKeysWinInBothHalvesAndEdgesBelongToTheKey)
{
    const ToolStateBlock block = OneOctave();
    const struct {
        int x, y, key;
    } cases[] = {
        {14, 10, 1},   // on white key 0's right edge, inside the C sharp
        {10, 10, 1},   // left half of the C sharp, over key 0
        {17, 10, 1},   // right half, over key 2
        {18, 20, 1},   // a black key's right edge is part of it
        {50, 2, 6},    // F sharp over the boundary of keys 5 and 7
        {10, 29, 1},   // the black key's bottom row
        {10, 30, 0},   // just below it
        {14, 40, 0},   // column shared by keys 0 and 2 goes to the left key
        {86, 58, 11},  // B, not the top C that shares the column
        {98, 30, 12},  // the top C
        {2, 2, 0},     // top-left corner of the first key
        {1, 1, -1},    // the raised edge
        {99, 30, -1},  // right of the keyboard
        {50, 59, -1},  // below it
        {65535, 65535, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HitTestKey(block, c.x, c.y), c.key) << "at (" << c.x << ", " << c.y << ")";
    }
}

TEST(HitTest, SharedWhiteColumnsGoToTheLowerIndex)
{
    // Two octaves in 91 x 40: keys 7 (G) and 9 (A) share columns 30 and 31.
    ToolStateBlock block;
    memset(&block, 0, sizeof block);
    block.keys[7] = {25, 2, 31, 38, 0};
    block.keys[8] = {28, 2, 34, 19, 1};
    block.keys[9] = {30, 2, 36, 38, 0};
    block.lastKey = 9;
    for (int i = 0; i < 7; i++) {
        block.keys[i] = {-10, -10, -9, -9, 0};
    }
    EXPECT_EQ(HitTestKey(block, 30, 30), 7);
    EXPECT_EQ(HitTestKey(block, 31, 30), 7);
    EXPECT_EQ(HitTestKey(block, 30, 19), 8);
    EXPECT_EQ(HitTestKey(block, 35, 30), 9);
}

TEST(HitTest, RestoredLastKeyIndexNeverReadsPastTheTable)
{
    ToolStateBlock block = OneOctave();
    // A table that ends on a black key: the shorter last entry still wins.
    block.lastKey = 1;
    EXPECT_EQ(HitTestKey(block, 10, 10), 1);
    block.keys[94] = {200, 0, 210, 10, 0};
    for (int32_t last : {-1, -100, INT_MIN}) {
        block.lastKey = last;
        EXPECT_EQ(HitTestKey(block, 10, 10), -1);
        EXPECT_EQ(UsableLastKey(block), -1);
    }
    for (int32_t last : {95, 1000, INT_MAX}) {
        block.lastKey = last;
        EXPECT_EQ(UsableLastKey(block), 94);
        EXPECT_EQ(HitTestKey(block, 205, 5), 94);  // the table's last entry is reachable
        EXPECT_EQ(HitTestKey(block, 300, 5), -1);
    }
}

TEST(Notes, LowestKeyDependsOnTheOctaveCount)
{
    const struct {
        int octaves, key, note;
    } cases[] = {
        {1, 0, 48},  {1, 12, 60}, {2, 24, 72}, {3, 0, 48},   {3, 36, 84}, {4, 0, 36},  {4, 48, 84},
        {5, 60, 96}, {6, 0, 24},  {6, 72, 96}, {7, 84, 108}, {0, 0, 48},  {-5, 1, 49}, {1, 1, 49},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KeyNote(c.octaves, c.key), c.note) << c.octaves << " octaves, key " << c.key;
    }
}

TEST(Notes, AnyRestoredCountGivesAByteWithoutOverflow)
{
    EXPECT_EQ(NoteBase(9), 12);
    EXPECT_EQ(NoteBase(12), 0);
    EXPECT_EQ(KeyNote(12, 5), 5);
    EXPECT_EQ(KeyNote(15, 0), 256 - 12);  // a negative base wraps as a byte does
    KeyNote(INT_MAX, 94);
    KeyNote(INT_MIN, 0);
}

TEST(Mark, FillsTheLowerPartOfTheKey)
{
    const ToolStateBlock block = OneOctave();
    const struct {
        int key;
        MarkRect mark;
    } cases[] = {
        {0, {4, 29, 13, 56}},
        {1, {12, 14, 17, 27}},
        {12, {88, 29, 97, 56}},
    };
    for (const auto& c : cases) {
        MarkRect mark;
        ASSERT_TRUE(KeyMarkRect(block, c.key, &mark));
        EXPECT_EQ(mark.left, c.mark.left);
        EXPECT_EQ(mark.top, c.mark.top);
        EXPECT_EQ(mark.right, c.mark.right);
        EXPECT_EQ(mark.bottom, c.mark.bottom);
    }
    MarkRect mark;
    EXPECT_FALSE(KeyMarkRect(block, -1, &mark));
    EXPECT_FALSE(KeyMarkRect(block, 13, &mark));
}

TEST(Mark, ExtremeCoordinatesDoNotOverflow)
{
    ToolStateBlock block = OneOctave();
    block.keys[0] = {INT_MAX, INT_MIN, INT_MIN, INT_MIN, 1};
    MarkRect mark;
    ASSERT_TRUE(KeyMarkRect(block, 0, &mark));
    EXPECT_EQ(mark.left, INT_MAX);
    EXPECT_EQ(mark.right, INT_MIN);
    EXPECT_EQ(mark.bottom, INT_MIN);
}

}  // namespace
