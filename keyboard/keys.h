// Keys under the mouse: hit testing, note numbers and the pressed-key mark.
#pragma once

#include <cstdint>

#include "include/morva.h"

// The last key index a reader may use: a restored block can hold any value,
// but no reader goes past the table's end.
int32_t UsableLastKey(const ToolStateBlock& block);

// Index of the key that contains the point, all four edges included, or -1.
// A black key wins over the white keys under it: its left half over the
// white key before it, its right half over the white key after it.
int32_t HitTestKey(const ToolStateBlock& block, int32_t x, int32_t y);

// The lowest key is a C: 48 up to three octaves, lower for bigger keyboards.
int32_t NoteBase(int32_t octaves);

// Note number of key `key`, kept to a byte as it goes on the wire.
uint8_t KeyNote(int32_t octaves, int32_t key);

// Entry `key` of the table, or null when it is not a usable key.
const KeyRect* UsableKey(const ToolStateBlock& block, int32_t key);

struct MarkRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The red mark of a pressed key: the lower part of its rectangle. False when
// `key` is not a usable key of the table.
bool KeyMarkRect(const ToolStateBlock& block, int32_t key, MarkRect* mark);
