// Size negotiation: ideal size and fitting the keyboard's proportion.
#include <gtest/gtest.h>

#include "plugin/sizefit.h"

namespace {

struct Fit {
    int32_t octaves;
    int32_t byHeight;
    uint16_t size;
    int32_t minW, minH, maxW, maxH;
    uint32_t width, height;
};

SizeFitRequest Request(const Fit& f)
{
    SizeFitRequest r{};
    r.minWidth = f.minW;
    r.minHeight = f.minH;
    r.maxWidth = f.maxW;
    r.maxHeight = f.maxH;
    r.byHeight = f.byHeight;
    r.size = f.size;
    return r;
}

TEST(SizeFit, KeepsThirtyTwoPixelsPerOctaveForTwentyOfHeight)
{
    const Fit cases[] = {
        // by height
        {3, 1, 20, 0, 0, 500, 500, 96, 20},
        {3, 1, 20, 0, 0, 48, 500, 48, 10},  // capped width gives the height back
        {1, 1, 40, 0, 0, 500, 500, 64, 40},
        {7, 1, 20, 0, 0, 1000, 500, 224, 20},
        {3, -1, 20, 0, 0, 500, 500, 96, 20},  // any nonzero flag, a negative one too
        // by width
        {3, 0, 192, 0, 0, 500, 500, 192, 40},
        {3, 0, 192, 0, 0, 500, 20, 96, 20},  // capped height gives the width back
        {2, 0, 100, 0, 0, 500, 500, 100, 31},
        {3, 0, 100, 0, 0, 500, 500, 100, 20},  // 20.8 is cut, not rounded
        // exactly at a limit: a maximum met is no cap, a minimum met is enough
        {3, 1, 21, 0, 0, 100, 500, 100, 21},
        {2, 0, 100, 0, 0, 500, 31, 100, 31},
        {3, 1, 20, 96, 0, 500, 500, 96, 20},
        {3, 0, 192, 0, 40, 500, 500, 192, 40},
        // restored counts far above seven: 8403 x 32032 x 0.05 is 13458244.8,
        // which the single-precision twentieth, a hair above 0.05, lifts to
        // 13458245.0005 (23365 in 16 bits) where a double one would not; and
        // a height far below a pixel is none
        {1001, 1, 8403, 0, 0, 65535, 65535, 23365, 8403},
        {2000, 0, 1, 0, 0, 500, 500, 1, 0},
    };
    for (const Fit& f : cases) {
        int32_t octaves = f.octaves;
        EXPECT_EQ(FitToolSize(&octaves, Request(f)), PackSize(f.width, f.height))
            << "octaves " << f.octaves << " byHeight " << f.byHeight << " size " << f.size;
    }
}

TEST(SizeFit, WholeTwentiethsAreNotTruncatedDown)
{
    // 20 x 96 / 20 and 10 x 32 / 20 are whole. The constant for a twentieth
    // lies just above it, in single precision as in double (the two give the
    // same fit for every 16-bit size at one to seven octaves; only a restored
    // count far above seven tells them apart), so the products
    // truncate to 96 and 16; a constant just below a twentieth gives 95 and 15.
    int32_t octaves = 3;
    EXPECT_EQ(FitToolSize(&octaves, Request({3, 1, 20, 0, 0, 1000, 1000, 0, 0})) & 0xFFFF, 96u);
    octaves = 1;
    EXPECT_EQ(FitToolSize(&octaves, Request({1, 1, 10, 0, 0, 1000, 1000, 0, 0})) & 0xFFFF, 16u);
}

TEST(SizeFit, BelowTheMinimumReturnsTheMinimumPair)
{
    int32_t octaves = 3;
    EXPECT_EQ(FitToolSize(&octaves, Request({3, 1, 20, 100, 0, 500, 500, 0, 0})), PackSize(100, 0));
    EXPECT_EQ(FitToolSize(&octaves, Request({3, 0, 192, 0, 50, 500, 500, 0, 0})), PackSize(0, 50));
    // A minimum above the maximum still answers with the minimum, cut to 16 bits.
    EXPECT_EQ(FitToolSize(&octaves, Request({3, 1, 20, 70000, 5, 10, 10, 0, 0})),
              PackSize(70000 & 0xFFFF, 5));
}

TEST(SizeFit, RaisesAnOctaveCountBelowOneToOne)
{
    for (int32_t start : {0, -1, -2147483647 - 1}) {
        int32_t octaves = start;
        EXPECT_EQ(FitToolSize(&octaves, Request({0, 1, 20, 0, 0, 500, 500, 0, 0})),
                  PackSize(32, 20));
        EXPECT_EQ(octaves, 1);
    }
}

TEST(SizeFit, ExtremeValuesStayWithinSixteenBits)
{
    int32_t octaves = 2147483647;
    uint32_t fit =
        FitToolSize(&octaves, Request({0, 1, 65535, 0, 0, 2147483647, 2147483647, 0, 0}));
    EXPECT_EQ(fit >> 16, 65535u);
    octaves = 3;
    // A negative maximum height is stored in 16 bits (65531) and the width
    // follows from it, kept to its low 16 bits.
    fit = FitToolSize(&octaves, Request({0, 0, 65535, 0, 0, -5, -5, 0, 0}));
    EXPECT_EQ(fit, PackSize(314548 & 0xFFFF, 65531));
    EXPECT_EQ(octaves, 3);
    octaves = 7;
    EXPECT_EQ(FitToolSize(&octaves, Request({0, 0, 0, 0, 0, 500, 500, 0, 0})), PackSize(0, 0));
}

TEST(IdealSize, ThirtyTwoPerOctaveByTwenty)
{
    EXPECT_EQ(IdealToolSize(3), PackSize(96, 20));
    EXPECT_EQ(IdealToolSize(7), PackSize(224, 20));
    EXPECT_EQ(IdealToolSize(0), PackSize(32, 20));
    EXPECT_EQ(IdealToolSize(-4), PackSize(32, 20));
    EXPECT_EQ(IdealToolSize(2048), PackSize(0, 20));  // width taken modulo 65536
}

}  // namespace
