// Which corners get graded, and which pattern, turn and colour each graded corner
// receives, observed through the pass itself.
#include "blend_decision.h"
#include "scale_pass.h"
#include "test_images.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <tuple>
#include <vector>

namespace tessera {
namespace {

using test::black;
using test::Image;
using test::white;

struct Position {
    std::int32_t x, y;
    auto operator<=>(const Position&) const = default;
};

// Grade bytes of every pixel the pass hands on for blending.
std::map<Position, CornerGrades> gradesOf(const Image& image, std::int32_t rowEnd = INT32_MAX) {
    constexpr int factor = 2;
    const std::int32_t lastRow = std::min(rowEnd, image.height);
    std::vector<Pixel> target(static_cast<std::size_t>(image.width) * lastRow * factor * factor);
    const std::ptrdiff_t targetWidth = image.width * factor;
    std::map<Position, CornerGrades> graded;
    scalePass<factor>(image.pixels.data(), target.data(), image.width, image.height, ScaleSettings{}, 0,
                      lastRow, [&](const Neighbourhood&, CornerGrades grades, const OutputBlock& block) {
                          const std::ptrdiff_t offset = block.topLeft - target.data();
                          const Position at{static_cast<std::int32_t>(offset % targetWidth / factor),
                                            static_cast<std::int32_t>(offset / targetWidth / factor)};
                          graded[at] = grades;
                      });
    return graded;
}

struct Decision {
    std::int32_t x, y;
    int turn;
    PatternKind kind;
    Pixel colour;
    auto operator<=>(const Decision&) const = default;
};

template <int Turn>
void decide(std::vector<Decision>& out, Position at, const Neighbourhood& n, CornerGrades grades) {
    NeighbourhoodDistances distances{n, ScaleSettings{}.lumaWeight};
    if (const auto blend = decideCorner<Turn>(distances, grades, ScaleSettings{}))
        out.push_back({at.x, at.y, Turn, blend->kind, blend->colour});
}

std::vector<Decision> decisionsOf(const Image& image) {
    std::vector<Decision> out;
    for (const auto& entry : gradesOf(image)) {
        const Position at = entry.first;
        const CornerGrades grades = entry.second;
        const auto cell = [&](int dx, int dy) {
            return image.at(std::clamp(at.x + dx, 0, image.width - 1),
                            std::clamp(at.y + dy, 0, image.height - 1));
        };
        const Neighbourhood n = {cell(-1, -1), cell(0, -1), cell(1, -1), cell(-1, 0), cell(0, 0),
                                 cell(1, 0),   cell(-1, 1), cell(0, 1),  cell(1, 1)};
        decide<0>(out, at, n, grades);
        decide<1>(out, at, n, grades);
        decide<2>(out, at, n, grades);
        decide<3>(out, at, n, grades);
    }
    std::sort(out.begin(), out.end());
    return out;
}

constexpr CornerGrades soft(int shift) {
    return static_cast<CornerGrades>(1 << shift);
}
constexpr CornerGrades strong(int shift) {
    return static_cast<CornerGrades>(2 << shift);
}

TEST(CornerGrading, FlatImagesGradeNothing) {
    const Image flat = test::makeImage(7, 5, [](auto, auto) { return 0xFF445566u; });
    const Image checkerboard =
        test::makeImage(9, 6, [](auto x, auto y) { return (x + y) % 2 ? white : black; });
    const Image column = test::makeImage(1, 9, [](auto, auto y) { return y % 3 ? white : black; });
    const Image row = test::makeImage(9, 1, [](auto x, auto) { return x % 2 ? white : black; });
    const Image single = test::makeImage(1, 1, [](auto, auto) { return white; });
    for (const Image* image : {&flat, &checkerboard, &column, &row, &single})
        EXPECT_TRUE(gradesOf(*image).empty()) << image->width << "x" << image->height;
}

TEST(CornerGrading, LoneDotIsSoftAtAllFourCorners) {
    const auto middle = gradesOf(test::dotImage(5, 2, 2, white, black));
    EXPECT_EQ(middle, (std::map<Position, CornerGrades>{{{2, 2}, 0x55}}));
    // At the image's corner only the bottom-right corner is a real corner.
    const auto origin = gradesOf(test::dotImage(5, 0, 0, white, black));
    EXPECT_EQ(origin, (std::map<Position, CornerGrades>{{{0, 0}, soft(bottomRightShift)}}));
}

TEST(CornerGrading, DiagonalEdgeIsStrongOnBothSides) {
    std::map<Position, CornerGrades> expected;
    for (std::int32_t x = 0; x <= 6; ++x)
        expected[{x, x + 1}] = strong(topRightShift);
    for (std::int32_t x = 1; x <= 6; ++x)
        expected[{x, x}] = strong(bottomLeftShift);
    EXPECT_EQ(gradesOf(test::diagonalImage()), expected);
}

TEST(CornerGrading, StoppingEarlyStillGradesTheLastRowsBottomCorners) {
    // Rows at and below rowEnd are read as neighbours, so every pixel above rowEnd
    // gets the grades it gets in a whole-image pass.
    const Image image = test::diagonalImage();
    for (std::int32_t rowEnd = 1; rowEnd <= 8; ++rowEnd) {
        std::map<Position, CornerGrades> expected;
        for (const auto& [at, grades] : gradesOf(image))
            if (at.y < rowEnd)
                expected[at] = grades;
        EXPECT_EQ(gradesOf(image, rowEnd), expected) << "rowEnd " << rowEnd;
    }
}

using K = PatternKind;

TEST(BlendDecision, LoneDotGetsFourCornersOfTheFieldColour) {
    const std::vector<Decision> expected = {{2, 2, 0, K::Corner, white},
                                            {2, 2, 1, K::Corner, white},
                                            {2, 2, 2, K::Corner, white},
                                            {2, 2, 3, K::Corner, white}};
    EXPECT_EQ(decisionsOf(test::dotImage(5, 2, 2, white, black)), expected);
}

TEST(BlendDecision, DiagonalEdge) {
    std::vector<Decision> expected = {{0, 1, 1, K::SteepSlope, white}, {6, 7, 1, K::ShallowSlope, white}};
    for (std::int32_t x = 1; x <= 5; ++x)
        expected.push_back({x, x + 1, 1, K::Diagonal, white});
    for (std::int32_t x = 1; x <= 6; ++x)
        expected.push_back({x, x, 3, K::Diagonal, black});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(decisionsOf(test::diagonalImage()), expected);
}

TEST(BlendDecision, ShallowEdgeGetsSteepSlopesOnTurnsOneAndThree) {
    std::vector<Decision> expected = {{9, 5, 1, K::Corner, white}};
    for (const Position at : {Position{1, 1}, Position{3, 2}, Position{5, 3}, Position{7, 4}})
        expected.push_back({at.x, at.y, 1, K::SteepSlope, white});
    for (const Position at : {Position{2, 1}, Position{4, 2}, Position{6, 3}, Position{8, 4}})
        expected.push_back({at.x, at.y, 3, K::SteepSlope, black});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(decisionsOf(test::shallowEdgeImage()), expected);
}

// Neighbourhoods built by hand, row by row from N(-1,-1) to N(1,1), for the rules
// that whole images do not reach easily.
constexpr Pixel grey40 = 0xFF282828u;
constexpr Pixel grey40Clear = 0x00282828u; // another word at the same distance

struct DecisionCase {
    const char* rule;
    Neighbourhood n;
    CornerGrades grades;
    std::optional<CornerBlend> expected;
};

class TurnZeroDecision : public testing::TestWithParam<DecisionCase> {};

TEST_P(TurnZeroDecision, FollowsTheRule) {
    const DecisionCase& c = GetParam();
    NeighbourhoodDistances distances{c.n, ScaleSettings{}.lumaWeight};
    const auto got = decideCorner<0>(distances, c.grades, ScaleSettings{});
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.rule;
    if (got) {
        EXPECT_EQ(got->kind, c.expected->kind) << c.rule;
        EXPECT_EQ(got->colour, c.expected->colour) << c.rule;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TurnZeroDecision,
    testing::Values(DecisionCase{"an ungraded own corner decides nothing",
                                 {black, black, black, black, black, white, black, white, white},
                                 soft(topRightShift),
                                 std::nullopt},
                    // Side and lower neighbours equally far from the pixel: the side one wins.
                    DecisionCase{"tie goes to the side neighbour",
                                 {white, white, white, white, black, grey40, white, grey40Clear, white},
                                 strong(bottomRightShift),
                                 CornerBlend{K::Diagonal, grey40}},
                    DecisionCase{"strong takes the line blend despite a graded ahead corner",
                                 {black, black, black, black, black, white, white, white, white},
                                 static_cast<CornerGrades>(strong(bottomRightShift) | soft(topRightShift)),
                                 CornerBlend{K::ShallowSlope, white}},
                    DecisionCase{"soft with a graded ahead corner across a colour change is a corner",
                                 {black, black, black, black, black, white, white, white, white},
                                 static_cast<CornerGrades>(soft(bottomRightShift) | soft(topRightShift)),
                                 CornerBlend{K::Corner, white}},
                    // Five cells round the corner in one colour and the pixel unlike the cell
                    // across the corner: the corner of a shape.
                    DecisionCase{"chain of five round the corner is a corner",
                                 {black, black, white, black, black, white, white, white, white},
                                 soft(bottomRightShift),
                                 CornerBlend{K::Corner, white}},
                    DecisionCase{"side and lower spans both zero give both slopes",
                                 {black, black, white, black, black, white, white, white, white},
                                 strong(bottomRightShift),
                                 CornerBlend{K::BothSlopes, white}}));

} // namespace
} // namespace tessera
