// PNG writing for the host's screenshots: an 8-bit RGB image in, the bytes
// of a PNG file out (indexed colour when 256 colours or fewer are used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A zlib stream (RFC 1950) of `data`, compressed with fixed Huffman codes.
std::vector<uint8_t> ZlibCompress(const uint8_t* data, size_t size);

// `rgb` holds height rows of width pixels, three bytes each (red, green,
// blue), top row first. Empty result for an empty image.
std::vector<uint8_t> EncodePng(const uint8_t* rgb, uint32_t width, uint32_t height);
