// The host's screenshot writer: PNG files that an independent decoder
// (zlib's inflate) reads back to the same pixels.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/checksum.h"
#include "host/png.h"

namespace {

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t expectedSize)
{
    std::vector<uint8_t> out(expectedSize + 16);
    uLongf size = static_cast<uLongf>(out.size());
    int r = uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
    EXPECT_EQ(r, Z_OK);
    out.resize(r == Z_OK ? size : 0);
    return out;
}

uint32_t BE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

// Splits a PNG into its chunks, checking each chunk's CRC on the way.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& png)
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
std::vector<uint8_t> DecodeToRgb(const std::vector<uint8_t>& png, uint32_t* width, uint32_t* height)
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

std::vector<uint8_t> Gradient(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> rgb(w * h * 3);
    for (uint32_t y = 0; y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            uint8_t* p = &rgb[(y * w + x) * 3];
            p[0] = static_cast<uint8_t>(x * 7 + y);
            p[1] = static_cast<uint8_t>(y * 3);
            p[2] = static_cast<uint8_t>((x ^ y) * 5);
        }
    }
    return rgb;
}

// A window-like picture: flat areas, edges and a few colours.
std::vector<uint8_t> Screen(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> rgb(w * h * 3, 0xC0);
    for (uint32_t y = 0; y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            uint8_t* p = &rgb[(y * w + x) * 3];
            if (y < 18) {
                p[0] = 0x00;
                p[1] = 0x00;
                p[2] = 0x80;
            } else if (x % 12 == 0 && y > 40) {
                p[0] = p[1] = p[2] = 0;
            } else if (y > 40) {
                p[0] = p[1] = p[2] = 0xFF;
            }
        }
    }
    return rgb;
}

TEST(PngWriter, ManyColoursGoAsTruecolourAndDecodeToTheSamePixels)
{
    std::vector<uint8_t> rgb = Gradient(67, 41);
    std::vector<uint8_t> png = EncodePng(rgb.data(), 67, 41);
    uint32_t w = 0, h = 0;
    EXPECT_EQ(DecodeToRgb(png, &w, &h), rgb);
    EXPECT_EQ(w, 67u);
    EXPECT_EQ(h, 41u);
}

TEST(PngWriter, FewColoursGoIndexedAndCompressWell)
{
    std::vector<uint8_t> rgb = Screen(640, 400);
    std::vector<uint8_t> png = EncodePng(rgb.data(), 640, 400);
    uint32_t w = 0, h = 0;
    EXPECT_EQ(DecodeToRgb(png, &w, &h), rgb);
    std::vector<Chunk> chunks = Chunks(png);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].data[9], 3);
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data.size(), 4u * 3u);
    EXPECT_LT(png.size(), rgb.size() / 50);
}

TEST(PngWriter, ExactlyTwoHundredFiftySixColoursStillIndex)
{
    std::vector<uint8_t> rgb(256 * 3);
    for (int i = 0; i < 256; i++) {
        rgb[i * 3] = static_cast<uint8_t>(i);
    }
    std::vector<uint8_t> png = EncodePng(rgb.data(), 16, 16);
    uint32_t w = 0, h = 0;
    EXPECT_EQ(DecodeToRgb(png, &w, &h), rgb);
    EXPECT_EQ(Chunks(png)[0].data[9], 3);
    rgb.insert(rgb.end(), {1, 2, 3});  // the 257th colour
    png = EncodePng(rgb.data(), 257, 1);
    EXPECT_EQ(DecodeToRgb(png, &w, &h), rgb);
    EXPECT_EQ(Chunks(png)[0].data[9], 2);
}

TEST(PngWriter, AnEmptyImageWritesNothing)
{
    EXPECT_TRUE(EncodePng(nullptr, 0, 10).empty());
    EXPECT_TRUE(EncodePng(nullptr, 10, 0).empty());
}

TEST(Deflate, StreamsThatZlibInflateBackUnchanged)
{
    std::vector<std::vector<uint8_t>> inputs;
    inputs.push_back({});
    inputs.push_back({42});
    inputs.push_back(std::vector<uint8_t>(100000, 7));  // runs longer than a match
    std::vector<uint8_t> text;
    for (int i = 0; i < 5000; i++) {
        const char* words[] = {"key ", "note ", "octave ", "voice "};
        text.insert(text.end(), words[(i * 7) % 4],
                    words[(i * 7) % 4] + strlen(words[(i * 7) % 4]));
    }
    inputs.push_back(text);
    std::vector<uint8_t> noise(70000);
    uint32_t seed = 12345;
    for (uint8_t& b : noise) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<uint8_t>(seed >> 16);
    }
    inputs.push_back(noise);
    // Repeats further back than the window reaches.
    std::vector<uint8_t> far(noise.begin(), noise.begin() + 40000);
    far.insert(far.end(), noise.begin(), noise.begin() + 40000);
    inputs.push_back(far);
    for (const std::vector<uint8_t>& in : inputs) {
        std::vector<uint8_t> z = ZlibCompress(in.data(), in.size());
        EXPECT_EQ(Inflate(z, in.size()), in) << "size " << in.size();
    }
    EXPECT_LT(ZlibCompress(inputs[2].data(), inputs[2].size()).size(), 1000u);
}

}  // namespace
