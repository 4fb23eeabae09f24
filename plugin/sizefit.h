// Size negotiation with the host: ideal size and fitting to a given dimension.
#pragma once

#include <cstddef>
#include <cstdint>

// Built by the host for PNM_FITSIZE; only these fields are read.
struct SizeFitRequest {
    int32_t minWidth;
    int32_t minHeight;
    int32_t maxWidth;
    int32_t maxHeight;
    int32_t byHeight;  // nonzero: size is a height; zero: size is a width
    uint16_t size;
};

static_assert(offsetof(SizeFitRequest, byHeight) == 16, "host record layout");
static_assert(offsetof(SizeFitRequest, size) == 20, "host record layout");

// Width in the low 16 bits, height in the high 16 bits.
inline uint32_t PackSize(uint32_t width, uint32_t height)
{
    return (width & 0xFFFFu) | ((height & 0xFFFFu) << 16);
}

// 32 pixels of width per octave for 20 of height.
uint32_t IdealToolSize(int32_t octaves);

// Fits the keyboard's proportion to the request. An octave count below 1 is
// raised to 1 in place, as the tool keeps it.
uint32_t FitToolSize(int32_t* octaves, const SizeFitRequest& request);
