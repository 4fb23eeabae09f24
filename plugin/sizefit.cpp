// Size negotiation: the keyboard keeps 32 pixels of width per octave for 20 of height.
#include "plugin/sizefit.h"

#include <cstring>

namespace {

// The single-precision constant nearest 0.05 lies slightly above it; the host
// relies on exact products such as 20 x 96 x 0.05 giving 96, not 95.
const double kFifth = static_cast<double>(0.05f);

// Truncates toward zero and keeps the low 16 bits, as a 16-bit store does.
// Values beyond any sensible size are cut to 16 bits instead of overflowing.
// The integer part is read from the double's own bits: a 32-bit build has no
// SSE2 conversion to 64 bits and would otherwise go through the x87 unit.
uint16_t Trunc16(double value)
{
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= 18446744073709551616.0) {
        return 0xFFFF;
    }
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int32_t shift = static_cast<int32_t>((bits >> 52) & 0x7FF) - 1075;
    const uint64_t mantissa = (bits & 0xFFFFFFFFFFFFFull) | 0x10000000000000ull;
    // value = mantissa * 2^shift, and value < 2^64 keeps shift at 11 or below.
    uint64_t integer = 0;
    if (shift >= 0) {
        integer = mantissa << shift;
    } else if (shift > -64) {
        integer = mantissa >> -shift;
    }
    return static_cast<uint16_t>(integer & 0xFFFFu);
}

}  // namespace

uint32_t IdealToolSize(int32_t octaves)
{
    uint32_t width = octaves >= 1 ? 32u * static_cast<uint32_t>(octaves) : 32u;
    return PackSize(width, 20);
}

uint32_t FitToolSize(int32_t* octaves, const SizeFitRequest& request)
{
    if (*octaves < 1) {
        *octaves = 1;
    }
    const double perOctave = static_cast<double>(32.0f * static_cast<float>(*octaves));
    uint16_t width;
    uint16_t height;
    if (request.byHeight != 0) {
        height = request.size;
        width = Trunc16(height * perOctave * kFifth);
        if (width > request.maxWidth) {
            width = static_cast<uint16_t>(request.maxWidth);
            height = Trunc16(width / perOctave * 20.0);
        }
    } else {
        width = request.size;
        height = Trunc16(width * 20.0 / perOctave);
        if (height > request.maxHeight) {
            height = static_cast<uint16_t>(request.maxHeight);
            width = Trunc16(perOctave * height * kFifth);
        }
    }
    if (width >= request.minWidth && height >= request.minHeight) {
        return PackSize(width, height);
    }
    return PackSize(static_cast<uint32_t>(request.minWidth),
                    static_cast<uint32_t>(request.minHeight));
}
