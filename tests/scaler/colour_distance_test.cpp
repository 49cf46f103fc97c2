#include "colour_distance.h"

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
    EXPECT_TRUE(sameColour(rgb(16, 16, 16), rgb(45, 45, 45), settings));
    EXPECT_FALSE(sameColour(rgb(16, 16, 16), rgb(46, 46, 46), settings)); // exactly 30.0
    ScaleSettings wider = settings;
    wider.sameColourTolerance = 30.5;
    EXPECT_TRUE(sameColour(rgb(16, 16, 16), rgb(46, 46, 46), wider));
}

} // namespace
} // namespace tessera
