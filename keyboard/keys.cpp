// Keys under the mouse: hit testing, note numbers and the pressed-key mark.
#include "keyboard/keys.h"

namespace {

bool Contains(const KeyRect& key, int32_t x, int32_t y)
{
    return key.left <= x && x <= key.right && key.top <= y && y <= key.bottom;
}

}  // namespace

int32_t UsableLastKey(const ToolStateBlock& block)
{
    if (block.lastKey < 0) {
        return -1;
    }
    return block.lastKey < KEY_TABLE_SIZE ? block.lastKey : KEY_TABLE_SIZE - 1;
}

int32_t HitTestKey(const ToolStateBlock& block, int32_t x, int32_t y)
{
    const int32_t last = UsableLastKey(block);
    for (int32_t i = 0; i <= last; i++) {
        if (!Contains(block.keys[i], x, y)) {
            continue;
        }
        // A shorter entry right after the one found is the black key that
        // lies over its right-hand part.
        if (i + 1 <= last && block.keys[i + 1].bottom < block.keys[i].bottom &&
            Contains(block.keys[i + 1], x, y)) {
            return i + 1;
        }
        return i;
    }
    return -1;
}

int32_t NoteBase(int32_t octaves)
{
    if (octaves <= 3) {
        return 48;
    }
    return static_cast<int32_t>(48 - 12 * static_cast<int64_t>(octaves / 3));
}

uint8_t KeyNote(int32_t octaves, int32_t key)
{
    return static_cast<uint8_t>((static_cast<int64_t>(key) + NoteBase(octaves)) & 0xFF);
}

const KeyRect* UsableKey(const ToolStateBlock& block, int32_t key)
{
    if (key < 0 || key > UsableLastKey(block)) {
        return nullptr;
    }
    return &block.keys[key];
}

bool KeyMarkRect(const ToolStateBlock& block, int32_t key, MarkRect* mark)
{
    const KeyRect* found = UsableKey(block, key);
    if (!found) {
        return false;
    }
    const KeyRect& r = *found;
    // Wide arithmetic: a restored table may hold any coordinates.
    auto clamp = [](int64_t v) {
        return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
    };
    mark->left = clamp(static_cast<int64_t>(r.left) + 2);
    mark->top = r.bottom / 2;
    mark->right = clamp(static_cast<int64_t>(r.right) - 1);
    mark->bottom = clamp(static_cast<int64_t>(r.bottom) - 2);
    return true;
}
