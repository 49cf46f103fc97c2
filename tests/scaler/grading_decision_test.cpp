// Which corners get graded, and which pattern, turn and colour each graded corner
// receives, observed through the row grader and the decision.
#include "blend_decision.h"
#include "colour_rules.h"
#include "row_grader.h"
#include "test_images.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
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

// Grade bytes of every graded pixel, row by row as the pass grades them (the images
// here fit in one strip).
std::map<Position, CornerGrades> gradesOf(const Image& image) {
    std::vector<std::uint8_t> workingRow(static_cast<std::size_t>(image.width), 0);
    const Strip strip = stripFrom(0, image.width, image.width);
    StripWindow<OpaqueColours> window(ImageView{image.pixels.data(), image.width, image.width, image.height},
                                      strip, 0, ScaleSettings{}.lumaWeight);
    std::map<Position, CornerGrades> graded;
    for (std::int32_t y = 0; y < image.height; ++y) {
        if (y > 0)
            window.advance();
        std::uint32_t grades[stripColumns];
        gradeRow(window, image.width, ScaleSettings{}.dominantRatio, workingRow.data(), grades);
        for (std::int32_t x = 0; x < image.width; ++x)
            if (grades[x] != 0)
                graded[{x, y}] = static_cast<CornerGrades>(grades[x]);
    }
    return graded;
}

// The neighbourhood N(-1..1, -1..1) row by row.
using Neighbourhood = Pixel[9];

// A neighbourhood given as its nine words, every distance measured on the spot.
struct PlainCells {
    const Neighbourhood& cells;

    template <int Cell>
    Pixel pixel() const {
        return cells[Cell];
    }
    template <int A, int B>
    double between() const {
        return OpaqueColours::distance(cells[A], cells[B], ScaleSettings{}.lumaWeight);
    }
};

struct CornerBlend {
    PatternKind kind;
    Pixel colour;
    auto operator<=>(const CornerBlend&) const = default;
};

template <QuarterTurn Turn>
std::optional<CornerBlend> decide(const Neighbourhood& n, CornerGrades grades) {
    const PlainCells cells{n};
    const CornerDecision d = decideCorner<OpaqueColours, Turn>(cells, grades, ScaleSettings{});
    if (d.pattern == noPattern)
        return std::nullopt;
    using Spans = SlopeSpans<Turn>;
    const std::uint32_t pattern =
        slopesPending(d.pattern)
            ? settleSlopes(d.pattern, cells.between<Spans::sideFrom, Spans::sideTo>(),
                           cells.between<Spans::lowerFrom, Spans::lowerTo>(), ScaleSettings{})
            : d.pattern;
    return CornerBlend{static_cast<PatternKind>(pattern), d.colour};
}

struct Decision {
    std::int32_t x, y;
    int turn;
    PatternKind kind;
    Pixel colour;
    auto operator<=>(const Decision&) const = default;
};

template <QuarterTurn Turn>
void decide(std::vector<Decision>& out, Position at, const Neighbourhood& n, CornerGrades grades) {
    if (const auto blend = decide<Turn>(n, grades))
        out.push_back({at.x, at.y, Turn, blend->kind, blend->colour});
}

std::vector<Decision> decisionsOf(const Image& image) {
    std::vector<Decision> out;
    for (const auto& [at, grades] : gradesOf(image)) {
        const auto cell = [&, at = at](int dx, int dy) {
            return image.at(std::clamp(at.x + dx, 0, image.width - 1),
                            std::clamp(at.y + dy, 0, image.height - 1));
        };
        const Neighbourhood n = {cell(-1, -1), cell(0, -1), cell(1, -1), cell(-1, 0), cell(0, 0),
                                 cell(1, 0),   cell(-1, 1), cell(0, 1),  cell(1, 1)};
        decide<BottomRight>(out, at, n, grades);
        decide<TopRight>(out, at, n, grades);
        decide<TopLeft>(out, at, n, grades);
        decide<BottomLeft>(out, at, n, grades);
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
    EXPECT_EQ(decide<BottomRight>(c.n, c.grades), c.expected) << c.rule;
}

const DecisionCase turnZeroCases[] = {
    {"an ungraded own corner decides nothing",
     {black, black, black, black, black, white, black, white, white},
     soft(topRightShift),
     std::nullopt},
    // Side and lower neighbours equally far from the pixel: the side one wins.
    {"tie goes to the side neighbour",
     {white, white, white, white, black, grey40, white, grey40Clear, white},
     strong(bottomRightShift),
     CornerBlend{K::Diagonal, grey40}},
    {"strong takes the line blend despite a graded ahead corner",
     {black, black, black, black, black, white, white, white, white},
     static_cast<CornerGrades>(strong(bottomRightShift) | soft(topRightShift)),
     CornerBlend{K::ShallowSlope, white}},
    {"soft with a graded ahead corner across a colour change is a corner",
     {black, black, black, black, black, white, white, white, white},
     static_cast<CornerGrades>(soft(bottomRightShift) | soft(topRightShift)),
     CornerBlend{K::Corner, white}},
    // Five cells round the corner in one colour and the pixel unlike the cell across
    // the corner: the corner of a shape.
    {"chain of five round the corner is a corner",
     {black, black, white, black, black, white, white, white, white},
     soft(bottomRightShift),
     CornerBlend{K::Corner, white}},
    {"side and lower spans both zero give both slopes",
     {black, black, white, black, black, white, white, white, white},
     strong(bottomRightShift),
     CornerBlend{K::BothSlopes, white}},
    // The pixel differs from N(1,-1) but N(0,-1) equals it: not steep, only shallow.
    {"a slope needs the cell beyond it to differ",
     {black, white, white, black, black, white, white, white, white},
     strong(bottomRightShift),
     CornerBlend{K::ShallowSlope, white}},
};

INSTANTIATE_TEST_SUITE_P(Table, TurnZeroDecision, testing::ValuesIn(turnZeroCases));

// The same cases at the top-left and bottom-left corners: each neighbourhood turned by
// hand, cell (dx, dy) of the turn-0 case moved to where the turn reads it, and the own,
// ahead and behind grades moved to the turn's fields. The cases are not symmetric
// (shallow and steep differ), so a neighbourhood or grade byte turned the wrong way, or
// mirrored, gives another result.
struct TurnedCase {
    QuarterTurn turn;
    int moved[9];   // index in the turned neighbourhood of each turn-0 cell
    int fieldOf[4]; // grade field (bit position) of each turn-0 field 0, 2, 4, 6
};

constexpr TurnedCase turnedCases[] = {
    // Half a turn: (dx, dy) to (-dx, -dy); own top-left, ahead bottom-left, behind top-right.
    {TopLeft, {8, 7, 6, 5, 4, 3, 2, 1, 0}, {4, 6, 0, 2}},
    // Three quarters: (dx, dy) to (-dy, dx); own bottom-left, ahead bottom-right, behind top-left.
    {BottomLeft, {2, 5, 8, 1, 4, 7, 0, 3, 6}, {2, 4, 6, 0}},
};

TEST(TurnedDecision, AnswersTheTurnedNeighbourhoodAsTurnZeroDoes) {
    for (const TurnedCase& t : turnedCases)
        for (const DecisionCase& c : turnZeroCases) {
            Neighbourhood n{};
            for (int i = 0; i < 9; ++i)
                n[t.moved[i]] = c.n[i];
            CornerGrades grades = 0;
            for (int field = 0; field < 4; ++field)
                grades |= static_cast<CornerGrades>(((c.grades >> (2 * field)) & 3) << t.fieldOf[field]);
            const auto got = t.turn == TopLeft ? decide<TopLeft>(n, grades) : decide<BottomLeft>(n, grades);
            EXPECT_EQ(got, c.expected) << c.rule << ", turn " << t.turn;
        }
}

} // namespace
} // namespace tessera
