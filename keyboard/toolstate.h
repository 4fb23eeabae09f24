// The persisted settings block of a tool and the key table inside it.
#pragma once

#include <cstddef>
#include <cstdint>

// One key of the laid-out keyboard, in client pixels. As a hit area all four
// edges belong to the key.
struct KeyRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t black;  // 1 for a black key, 0 for a white key
};

enum {
    KEY_TABLE_SIZE = 95,     // room for 95 keys; seven octaves use 85
    MAX_OCTAVES = 7,         // the most octaves the key table can hold
    TOOL_STATE_SIZE = 1936,  // bytes the host stores per tool
};

// The first 1936 bytes of every tool record. The host stores these bytes as
// they are and hands them back, so the layout is fixed to the byte.
struct ToolStateBlock {
    int32_t reserved0;
    int32_t octaves;     // octaves drawn; the property page offers 1..7
    int32_t lastKey;     // index of the last valid key table entry
    int32_t currentKey;  // key last found under the mouse, -1 for none
    int32_t voice;       // General MIDI program, 0..126
    int32_t reserved20;
    int32_t reserved24;
    int32_t deviceNumber;  // MIDI output device, -1 when none is chosen
    int16_t volume;        // output volume in percent
    int16_t reserved34;
    KeyRect keys[KEY_TABLE_SIZE];
};

static_assert(sizeof(KeyRect) == 20, "KeyRect is five 32-bit values");
static_assert(sizeof(ToolStateBlock) == TOOL_STATE_SIZE, "stored block size");
static_assert(offsetof(ToolStateBlock, octaves) == 4, "stored layout");
static_assert(offsetof(ToolStateBlock, lastKey) == 8, "stored layout");
static_assert(offsetof(ToolStateBlock, currentKey) == 12, "stored layout");
static_assert(offsetof(ToolStateBlock, voice) == 16, "stored layout");
static_assert(offsetof(ToolStateBlock, deviceNumber) == 28, "stored layout");
static_assert(offsetof(ToolStateBlock, volume) == 32, "stored layout");
static_assert(offsetof(ToolStateBlock, reserved34) == 34, "stored layout");
static_assert(offsetof(ToolStateBlock, keys) == 36, "stored layout");

// Settings of a tool created without a saved block.
inline void SetDefaultState(ToolStateBlock* block)
{
    block->reserved0 = 0;
    block->octaves = 3;
    block->deviceNumber = -1;
    block->voice = 0;
    block->volume = 100;
}
