// Reading back the PNG files the host writes, with an independent inflater
// (zlib's), for the tests of the writer and the checks of the demo's
// screenshots.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/checksum.h"

inline std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t expectedSize)
{
    std::vector<uint8_t> out(expectedSize + 16);
    uLongf size = static_cast<uLongf>(out.size());
    int r = uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
    EXPECT_EQ(r, Z_OK);
    out.resize(r == Z_OK ? size : 0);
    return out;
}

inline uint32_t BE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

// Splits a PNG into its chunks, checking each chunk's CRC on the way.
inline std::vector<Chunk> Chunks(const std::vector<uint8_t>& png)
{
    std::vector<Chunk> chunks;
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_GE(png.size(), 8u);
    EXPECT_EQ(memcmp(png.data(), signature, 8), 0);
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t length = BE32(&png[at]);
        if (at + 12 + length > png.size()) {
            ADD_FAILURE() << "chunk runs past the end";
            break;
        }
        Chunk c{std::string(png.begin() + at + 4, png.begin() + at + 8),
                std::vector<uint8_t>(png.begin() + at + 8, png.begin() + at + 8 + length)};
        EXPECT_EQ(BE32(&png[at + 8 + length]), Crc32(&png[at + 4], length + 4)) << c.type;
        chunks.push_back(c);
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    return chunks;
}

// Decodes what the writer writes (8-bit truecolour, unfiltered rows, no
// interlace) back to RGB.
inline std::vector<uint8_t> DecodeToRgb(const std::vector<uint8_t>& png, uint32_t* width,
                                        uint32_t* height)
{
    std::vector<Chunk> chunks = Chunks(png);
    EXPECT_EQ(chunks.size(), 3u);
    if (chunks.size() != 3) {
        return {};
    }
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");
    const std::vector<uint8_t>& h = chunks[0].data;
    *width = BE32(&h[0]);
    *height = BE32(&h[4]);
    EXPECT_EQ(std::vector<uint8_t>(h.begin() + 8, h.end()), (std::vector<uint8_t>{8, 2, 0, 0, 0}));
    size_t rowBytes = *width * 3;
    std::vector<uint8_t> raw = Inflate(chunks[1].data, (rowBytes + 1) * *height);
    EXPECT_EQ(raw.size(), (rowBytes + 1) * *height);
    std::vector<uint8_t> rgb;
    for (size_t at = 0; at + rowBytes < raw.size(); at += rowBytes + 1) {
        EXPECT_EQ(raw[at], 0) << "filter";
        rgb.insert(rgb.end(), raw.begin() + at + 1, raw.begin() + at + 1 + rowBytes);
    }
    return rgb;
}
