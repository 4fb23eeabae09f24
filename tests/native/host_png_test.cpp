// The host's screenshot writer: PNG files that an independent decoder
// (zlib's inflate) reads back to the same pixels.
#include <gtest/gtest.h>

#include <vector>

#include "demo/png.h"
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

// Sizes whose rows fill less than one stored block, exactly one (65535
// bytes), exactly two, and one and a part.
TEST(PngWriter, DecodesToTheSamePixelsWhateverTheNumberOfBlocks)
{
    const struct {
        uint32_t width, height;
    } sizes[] = {{67, 41}, {1456, 15}, {1456, 30}, {300, 100}};
    for (const auto& s : sizes) {
        std::vector<uint8_t> rgb = Gradient(s.width, s.height);
        uint32_t w = 0, h = 0;
        EXPECT_EQ(DecodeToRgb(EncodePng(rgb.data(), s.width, s.height), &w, &h), rgb);
        EXPECT_EQ(w, s.width);
        EXPECT_EQ(h, s.height);
    }
}

TEST(PngWriter, AnEmptyImageWritesNothing)
{
    EXPECT_TRUE(EncodePng(nullptr, 0, 10).empty());
    EXPECT_TRUE(EncodePng(nullptr, 10, 0).empty());
}

}  // namespace
