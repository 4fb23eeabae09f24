// Fuzz target: any bytes as a restored settings block, a client size, a size
// request and mouse points, through every pure computation the tool runs on
// them: layout, hit test, marks, note numbers and size fitting.
//
// Input: 1936 bytes of block (zero-padded when shorter), then a client width
// and height (uint16 each), a size request (24 bytes), then up to 32 points
// (uint16 x, uint16 y).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "keyboard/keys.h"
#include "keyboard/layout.h"
#include "plugin/sizefit.h"

namespace {

size_t Take(const uint8_t*& data, size_t& size, void* out, size_t n)
{
    size_t got = size < n ? size : n;
    memset(out, 0, n);
    memcpy(out, data, got);
    data += got;
    size -= got;
    return got;
}

void CheckKeyTable(const ToolStateBlock& block)
{
    if (block.lastKey < 0 || block.lastKey >= KEY_TABLE_SIZE) {
        __builtin_trap();  // a layout must leave a usable last key index
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ToolStateBlock block;
    Take(data, size, &block, sizeof block);
    uint16_t client[2];
    Take(data, size, client, sizeof client);
    SizeFitRequest request;
    Take(data, size, &request, sizeof request);

    // A restored table is read as it is before any layout.
    uint16_t point[2];
    Take(data, size, point, sizeof point);
    int32_t key = HitTestKey(block, point[0], point[1]);
    MarkRect mark;
    KeyMarkRect(block, block.currentKey, &mark);
    KeyMarkRect(block, key, &mark);
    KeyNote(block.octaves, key);

    // Layout over the client area inside the raised edge.
    InnerRect inner = {2, 2, client[0] - 2, client[1] - 2};
    LayOutKeys(&block, inner);
    CheckKeyTable(block);
    for (int i = 0; i < 32 && size >= sizeof point; i++) {
        Take(data, size, point, sizeof point);
        key = HitTestKey(block, point[0], point[1]);
        if (key < -1 || key > block.lastKey) {
            __builtin_trap();
        }
        if (key >= 0 && !KeyMarkRect(block, key, &mark)) {
            __builtin_trap();
        }
        KeyNote(block.octaves, key);
    }

    int32_t octaves = block.octaves;
    FitToolSize(&octaves, request);
    if (octaves < 1) {
        __builtin_trap();
    }
    IdealToolSize(block.octaves);
    return 0;
}
