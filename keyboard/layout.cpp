// Key layout: white keys placed by a running edge, black keys centred on the
// boundaries between white keys.
#include "keyboard/layout.h"

namespace {

// White keys 0, 1, 3, 4 and 5 of an octave (C, D, F, G, A) have a black key
// to their right; E and B have none.
const bool kBlackAfter[7] = {true, true, false, true, true, true, false};

// Truncates toward zero. Coordinates far outside any window are pinned to the
// 32-bit range instead of overflowing the conversion.
int32_t Trunc(double v)
{
    if (v >= 2147483647.0) {
        return INT32_MAX;
    }
    if (v <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}

static_assert(12 * MAX_OCTAVES + 1 <= KEY_TABLE_SIZE, "seven octaves fit the key table");

}  // namespace

// A count above 7 can only come from a restored block: 8 octaves would need 97
// entries and the table holds 95, so such a block gets the largest keyboard
// that fits. A negative count gets the single top C over the inner width, the
// same as 0, rather than a key of negative width.
int32_t LaidOutOctaves(int32_t octaves)
{
    if (octaves > MAX_OCTAVES) {
        return MAX_OCTAVES;
    }
    return octaves < 0 ? 0 : octaves;
}

void LayOutKeys(ToolStateBlock* block, const InnerRect& inner)
{
    const int32_t octaves = LaidOutOctaves(block->octaves);
    // The width is an integer, but the division is not: the fraction of a
    // pixel per key is carried along in x. Both edges and their difference
    // are exact in a double, even for edges at the ends of the 32-bit range.
    const double width = static_cast<double>(inner.right) - static_cast<double>(inner.left);
    const double K = width / static_cast<double>(7 * octaves + 1);
    const int32_t blackBottom = inner.bottom / 2;

    // x is the right edge of the white key being placed. It grows by repeated
    // addition and is never recomputed from the key's number: the stored
    // tables of existing tools depend on the pixel this sometimes loses.
    double x = inner.left + K;
    int32_t n = 0;
    for (int32_t octave = 0; octave < octaves; octave++) {
        for (int w = 0; w < 7; w++) {
            // The left edge comes from x - K afresh, not from the previous
            // separator; the two can differ by a pixel.
            block->keys[n] = {Trunc(x - K), inner.top, Trunc(x), inner.bottom, 0};
            n++;
            if (kBlackAfter[w]) {
                const double h = K * (1.0 / 3.0);
                block->keys[n] = {Trunc(x - h), inner.top, Trunc(x + h), blackBottom, 1};
                n++;
            }
            x += K;
        }
    }
    block->keys[n] = {Trunc(x - K), inner.top, Trunc(x), inner.bottom, 0};
    block->lastKey = n;
}
