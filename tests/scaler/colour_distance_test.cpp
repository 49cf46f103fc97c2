#include "colour_distance.h"
#include "colour_rules.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tessera {
namespace {

constexpr Pixel rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return 0xFF000000u | r << 16 | g << 8 | b;
}

struct DistanceCase {
    const char* name;
    Pixel a;
    Pixel b;
    double expected;
    double tolerance; // 0 for an exact double
};

class ColourDistance : public testing::TestWithParam<DistanceCase> {};

TEST_P(ColourDistance, MatchesTheExactDouble) {
    const DistanceCase& c = GetParam();
    const double forward = colourDistance(c.a, c.b, 1.0);
    if (c.tolerance == 0.0)
        EXPECT_EQ(forward, c.expected) << c.name;
    else
        EXPECT_NEAR(forward, c.expected, c.tolerance) << c.name;
    // The measure must not depend on the order of its arguments, to the last bit.
    EXPECT_EQ(forward, colourDistance(c.b, c.a, 1.0)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColourDistance,
    testing::Values(DistanceCase{"identical words", rgb(10, 20, 30), rgb(10, 20, 30), 0.0, 0.0},
                    // Only alpha differs: the formula runs and gives 0.
                    DistanceCase{"alpha only", 0x00102030u, 0xFF102030u, 0.0, 0.0},
                    DistanceCase{"greys 29 apart", rgb(16, 16, 16), rgb(45, 45, 45), 29.0, 0.0},
                    DistanceCase{"greys 30 apart", rgb(16, 16, 16), rgb(46, 46, 46), 30.0, 0.0},
                    DistanceCase{"greys 12 apart", rgb(128, 128, 128), rgb(140, 140, 140), 12.0, 0.0},
                    // Luma terms added green, red, blue: one ulp below 255. A fused multiply-add
                    // or another order would give exactly 255.
                    DistanceCase{"black and white", rgb(0, 0, 0), rgb(255, 255, 255), 254.99999999999997,
                                 0.0},
                    DistanceCase{"black and red", rgb(0, 0, 0), rgb(255, 0, 0), 141.594, 0.0005},
                    DistanceCase{"black and green", rgb(0, 0, 0), rgb(0, 255, 0), 237.345, 0.0005},
                    DistanceCase{"black and blue", rgb(0, 0, 0), rgb(0, 0, 255), 129.352, 0.0005}));

TEST(ColourDistance, LumaWeightScalesOnlyTheLumaTerm) {
    // Greys have (next to) no chroma, so the distance is the luma difference times
    // the weight.
    EXPECT_NEAR(colourDistance(rgb(100, 100, 100), rgb(120, 120, 120), 2.0), 40.0, 1e-9);
    EXPECT_NEAR(colourDistance(rgb(100, 100, 100), rgb(120, 120, 120), 0.0), 0.0, 1e-9);
    // Pure blue against black: the weight changes the result.
    EXPECT_GT(colourDistance(rgb(0, 0, 255), rgb(0, 0, 0), 2.0),
              colourDistance(rgb(0, 0, 255), rgb(0, 0, 0), 1.0));
}

TEST(SameColour, IsStrictlyBelowTheTolerance) {
    const ScaleSettings settings;
    EXPECT_TRUE(sameColour(colourDistance(rgb(16, 16, 16), rgb(45, 45, 45), 1.0), settings));
    EXPECT_FALSE(sameColour(colourDistance(rgb(16, 16, 16), rgb(46, 46, 46), 1.0), settings)); // exactly 30.0
    ScaleSettings wider = settings;
    wider.sameColourTolerance = 30.5;
    EXPECT_TRUE(sameColour(30.0, wider));
}

constexpr Pixel withAlpha(Pixel p, std::uint32_t alpha) {
    return (p & 0x00FFFFFFu) | alpha << 24;
}

// The alpha-aware distance: the colour distance scaled by the fainter alpha over 255,
// multiplied before it is divided, plus the difference of the alphas.
TEST_P(ColourDistance, AlphaModeKeepsTheOpaqueDistanceOfOpaquePairs) {
    const DistanceCase& c = GetParam();
    EXPECT_EQ(AlphaColours::distance(c.a | 0xFF000000u, c.b | 0xFF000000u, 1.0),
              colourDistance(c.a | 0xFF000000u, c.b | 0xFF000000u, 1.0))
        << c.name;
}

TEST(AlphaDistance, WeighsColourByTheFainterPixelAndAddsTheAlphaGap) {
    const Pixel grey16 = rgb(16, 16, 16), grey45 = rgb(45, 45, 45);
    // 29 * 54 / 255 + 201; dividing first, or 29 * (54 / 255), gives ...822.
    EXPECT_EQ(AlphaColours::distance(withAlpha(grey16, 54), grey45, 1.0), 207.14117647058825);
    EXPECT_EQ(AlphaColours::distance(grey45, withAlpha(grey16, 54), 1.0), 207.14117647058825);
    // The same colour at two alphas: only the gap counts.
    EXPECT_EQ(AlphaColours::distance(withAlpha(grey16, 200), withAlpha(grey16, 73), 1.0), 127.0);
    // Transparent against opaque is a hard edge whatever the colours; all transparent
    // words are one pixel.
    EXPECT_EQ(AlphaColours::distance(0x00FFFFFFu, rgb(255, 255, 255), 1.0), 255.0);
    EXPECT_EQ(AlphaColours::distance(0x00000000u, rgb(0, 0, 0), 1.0), 255.0);
    EXPECT_EQ(AlphaColours::distance(0x00FF00FFu, 0x0000FF00u, 1.0), 0.0);
    EXPECT_TRUE(AlphaColours::samePixel(0x00FF00FFu, 0x0000FF00u));
    EXPECT_FALSE(AlphaColours::samePixel(0x01FF00FFu, 0x0000FF00u));
    // Equal words are 0 apart even where the formula would not give 0.
    EXPECT_EQ(AlphaColours::distance(withAlpha(grey16, 9), withAlpha(grey16, 9), std::nan("")), 0.0);
}

} // namespace
} // namespace tessera
