// Reading back the PNG files the host writes, with an independent inflater
// (zlib's), for the tests of the writer and the checks of the demo's
// screenshots.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
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

// Decodes what our encoder writes (8-bit truecolour or indexed, no
// interlace, any of the five filters) back to RGB.
inline std::vector<uint8_t> DecodeToRgb(const std::vector<uint8_t>& png, uint32_t* width,
                                        uint32_t* height)
{
    std::vector<Chunk> chunks = Chunks(png);
    EXPECT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    const std::vector<uint8_t>& h = chunks.front().data;
    *width = BE32(&h[0]);
    *height = BE32(&h[4]);
    EXPECT_EQ(h[8], 8);
    int colourType = h[9];
    size_t bpp = colourType == 3 ? 1 : 3;
    std::vector<uint8_t> palette, idat;
    for (const Chunk& c : chunks) {
        if (c.type == "PLTE") {
            palette = c.data;
        } else if (c.type == "IDAT") {
            idat.insert(idat.end(), c.data.begin(), c.data.end());
        }
    }
    size_t rowBytes = *width * bpp;
    std::vector<uint8_t> raw = Inflate(idat, (rowBytes + 1) * *height);
    EXPECT_EQ(raw.size(), (rowBytes + 1) * *height);
    std::vector<uint8_t> rows(rowBytes * *height);
    for (uint32_t y = 0; y < *height && raw.size() == (rowBytes + 1) * *height; y++) {
        int filter = raw[y * (rowBytes + 1)];
        for (size_t i = 0; i < rowBytes; i++) {
            int a = i >= bpp ? rows[y * rowBytes + i - bpp] : 0;
            int b = y > 0 ? rows[(y - 1) * rowBytes + i] : 0;
            int c = i >= bpp && y > 0 ? rows[(y - 1) * rowBytes + i - bpp] : 0;
            int predictor = 0;
            switch (filter) {
            case 1:
                predictor = a;
                break;
            case 2:
                predictor = b;
                break;
            case 3:
                predictor = (a + b) / 2;
                break;
            case 4: {
                int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
                predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default:
                break;
            }
            rows[y * rowBytes + i] =
                static_cast<uint8_t>(raw[y * (rowBytes + 1) + 1 + i] + predictor);
        }
    }
    if (colourType != 3) {
        EXPECT_EQ(colourType, 2);
        return rows;
    }
    std::vector<uint8_t> rgb;
    for (uint8_t index : rows) {
        EXPECT_LT(index * 3u + 2, palette.size());
        rgb.insert(rgb.end(), palette.begin() + index * 3, palette.begin() + index * 3 + 3);
    }
    return rgb;
}
