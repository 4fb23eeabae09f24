// PNG writing for the demo's screenshots: an 8-bit RGB image in, the bytes
// of a PNG file out.
#pragma once

#include <cstdint>
#include <vector>

// `rgb` holds height rows of width pixels, three bytes each (red, green,
// blue), top row first. Empty result for an empty image.
std::vector<uint8_t> EncodePng(const uint8_t* rgb, uint32_t width, uint32_t height);
