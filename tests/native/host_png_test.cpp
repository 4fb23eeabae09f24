// The host's screenshot writer: PNG files that an independent decoder
// (zlib's inflate) reads back to the same pixels.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/png.h"
#include "tests/native/png_reader.h"

namespace {

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
