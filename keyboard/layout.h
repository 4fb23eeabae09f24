// Where the keys of the keyboard lie: the key table computed from the
// rectangle inside the raised edge and the octave count.
#pragma once

#include <cstdint>

#include "include/morva.h"

enum {
    MAX_OCTAVES = 7,  // the most octaves the key table can hold
};

// The client rectangle inside the keyboard's 2-pixel raised edge.
struct InnerRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The number of octaves a stored count lays out: the count itself for 0..7,
// 7 above that and 0 below it.
int32_t LaidOutOctaves(int32_t octaves);

// Writes entries 0 to lastKey of the block's key table, and lastKey, for the
// block's octave count over the inner rectangle. Later entries are left as
// they are.
void LayOutKeys(ToolStateBlock* block, const InnerRect& inner);

// Drawing walks the entries below lastKey in table order. Every white key but
// the top C has a separator line on its right edge, from its top to its
// bottom; every black key is drawn as its own rounded rectangle. Table order
// is also the drawing order, so each black key covers the top of the
// separator at its centre.
inline bool HasSeparator(const ToolStateBlock& block, int32_t i)
{
    return i >= 0 && i < block.lastKey && i < KEY_TABLE_SIZE && block.keys[i].black == 0;
}

inline bool IsBlackKey(const ToolStateBlock& block, int32_t i)
{
    return i >= 0 && i < block.lastKey && i < KEY_TABLE_SIZE && block.keys[i].black != 0;
}
