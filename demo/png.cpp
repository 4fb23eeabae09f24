// PNG writing: truecolour rows, unfiltered, in a zlib stream of stored
// (uncompressed) deflate blocks. A screenshot of the demo is looked at, not
// shipped, so its size does not matter.
#include "demo/png.h"

#include <algorithm>

#include "host/checksum.h"

namespace {

void PutBE32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 3; i >= 0; i--) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
    PutBE32(png, static_cast<uint32_t>(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBE32(png, Crc32(png.data() + start, png.size() - start));
}

// A zlib stream (RFC 1950) of stored blocks (RFC 1951), each at most 65535
// bytes: a byte for the final flag and the type, the length and its
// complement, then the bytes as they are.
std::vector<uint8_t> ZlibStore(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t n = std::min<size_t>(data.size() - at, 0xFFFF);
        out.push_back(at + n == data.size() ? 1 : 0);
        out.insert(out.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                               static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
        out.insert(out.end(), &data[at], &data[at] + n);
        at += n;
    } while (at < data.size());
    PutBE32(out, Adler32(data.data(), data.size()));
    return out;
}

}  // namespace

std::vector<uint8_t> EncodePng(const uint8_t* rgb, uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0) {
        return {};
    }
    size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> rows;
    rows.reserve((rowBytes + 1) * height);
    for (uint32_t y = 0; y < height; y++) {
        rows.push_back(0);  // no filter
        rows.insert(rows.end(), rgb + y * rowBytes, rgb + (y + 1) * rowBytes);
    }
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, width);
    PutBE32(ihdr, height);
    // 8 bits a sample, truecolour, deflate, adaptive filtering, no interlace.
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", ZlibStore(rows));
    PutChunk(png, "IEND", {});
    return png;
}
