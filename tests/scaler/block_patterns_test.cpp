// Blend arithmetic in both colour modes, the quarter-turn mappings and every factor's
// patterns, applied to single blocks.
#include "colour_rules.h"
#include "output_block.h"
#include "patterns_scale2.h"
#include "patterns_scale3.h"
#include "patterns_scale4.h"
#include "patterns_scale5.h"
#include "quarter_turn.h"
#include "test_images.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace tessera {
namespace {

using test::black;
using test::grey;
using test::white;

template <int K, int N>
Pixel blendedOnce(Pixel colour, Pixel into) {
    return OpaqueColours::blend<K, N>(colour, into);
}

struct FractionCase {
    const char* fraction;
    Pixel (*blend)(Pixel, Pixel);
    std::uint32_t blackIntoWhite; // channel value
    std::uint32_t whiteIntoBlack;
};

class BlendFraction : public testing::TestWithParam<FractionCase> {};

// Every blend truncates: floor((k * colour + (n - k) * current) / n) per channel,
// and the blended cell's alpha is 0 even where both colours are opaque.
TEST_P(BlendFraction, TruncatesPerChannelAndClearsAlpha) {
    const FractionCase& c = GetParam();
    EXPECT_EQ(c.blend(black, white), grey(c.blackIntoWhite, 0)) << c.fraction;
    EXPECT_EQ(c.blend(white, black), grey(c.whiteIntoBlack, 0)) << c.fraction;
    // Channels never spill into each other, whatever the mix of values.
    const Pixel mixed = c.blend(0xFF01FF80u, 0x80FE0103u);
    const Pixel reference = c.blend(0xFF010101u, 0x80FEFEFEu);
    EXPECT_EQ((mixed >> 16) & 0xFFu, (reference >> 16) & 0xFFu) << c.fraction;
    // Blending a colour into itself keeps the channels and clears alpha.
    EXPECT_EQ(c.blend(0xFF336699u, 0xFF336699u), 0x00336699u) << c.fraction;
}

INSTANTIATE_TEST_SUITE_P(Table, BlendFraction,
                         testing::Values(FractionCase{"1/2", blendedOnce<1, 2>, 127, 127},
                                         FractionCase{"1/3", blendedOnce<1, 3>, 170, 85},
                                         FractionCase{"2/3", blendedOnce<2, 3>, 85, 170},
                                         FractionCase{"1/4", blendedOnce<1, 4>, 191, 63},
                                         FractionCase{"3/4", blendedOnce<3, 4>, 63, 191},
                                         FractionCase{"5/6", blendedOnce<5, 6>, 42, 212},
                                         FractionCase{"1/8", blendedOnce<1, 8>, 223, 31},
                                         FractionCase{"7/8", blendedOnce<7, 8>, 31, 223},
                                         FractionCase{"21/100", blendedOnce<21, 100>, 201, 53},
                                         FractionCase{"45/100", blendedOnce<45, 100>, 140, 114},
                                         FractionCase{"9/100", blendedOnce<9, 100>, 232, 22},
                                         FractionCase{"68/100", blendedOnce<68, 100>, 81, 173},
                                         FractionCase{"23/100", blendedOnce<23, 100>, 196, 58},
                                         FractionCase{"86/100", blendedOnce<86, 100>, 35, 219}));

TEST(BlendArithmetic, PackedAndPerChannelPathsAgreeOnEveryChannelPair) {
    // n = 4 takes the packed path; compare it with the plain formula over a grid
    // of channel values placed in all three channels at once.
    for (std::uint32_t a = 0; a < 256; a += 5)
        for (std::uint32_t b = 0; b < 256; b += 3) {
            const Pixel colour = 0xFF000000u | a << 16 | b << 8 | (a ^ b);
            const Pixel current = 0x7F000000u | b << 16 | a << 8 | (255 - a);
            const Pixel got = blendedOnce<3, 4>(colour, current);
            const auto channel = [&](int shift) {
                return ((((colour >> shift) & 0xFFu) * 3 + ((current >> shift) & 0xFFu)) / 4) << shift;
            };
            ASSERT_EQ(got, channel(16) | channel(8) | channel(0)) << a << "," << b;
        }
}

struct AlphaBlendCase {
    const char* name;
    Pixel (*blend)(Pixel, Pixel);
    Pixel colour;
    Pixel into;
    Pixel expected;
};

class AlphaBlend : public testing::TestWithParam<AlphaBlendCase> {};

// Premultiplied: each channel is the alpha-weighted mean, truncated; alpha is the mean
// of the alphas, truncated; no weight at all is the transparent 0.
TEST_P(AlphaBlend, WeighsChannelsByAlpha) {
    const AlphaBlendCase& c = GetParam();
    EXPECT_EQ(c.blend(c.colour, c.into), c.expected) << c.name;
}

template <int K, int N>
Pixel alphaBlend(Pixel colour, Pixel into) {
    return AlphaColours::blend<K, N>(colour, into);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlphaBlend,
    testing::Values(
        AlphaBlendCase{"opaque white half into transparent", alphaBlend<1, 2>, 0xFFFFFFFFu, 0x00123456u,
                       0x7FFFFFFFu},
        // A transparent colour keeps the cell's colour and scales its alpha by (n - k) / n.
        AlphaBlendCase{"transparent 3/4 into opaque", alphaBlend<3, 4>, 0x00FFFFFFu, 0xFF336699u,
                       0x3F336699u},
        AlphaBlendCase{"transparent 45/100 into half", alphaBlend<45, 100>, 0x00000000u, 0x80336699u,
                       0x46336699u},
        AlphaBlendCase{"two transparent words", alphaBlend<1, 2>, 0x00FFFFFFu, 0x00123456u, 0x00000000u},
        // Weight 7 * 1 over 8 leaves alpha 0: the word is transparent black, not dark blue.
        AlphaBlendCase{"alpha 1 under 1/8 of transparent", alphaBlend<1, 8>, 0x00FFFFFFu, 0x010000FFu,
                       0x00000000u},
        // Weight 1 * 1 + 1 * 1 over 2 is the smallest that keeps a colour: alpha 1.
        AlphaBlendCase{"two alpha-1 words half and half", alphaBlend<1, 2>, 0x01FF0000u, 0x010000FFu,
                       0x017F007Fu},
        // Opaque colours blend as in the opaque mode, with alpha 255.
        AlphaBlendCase{"opaque black 5/6 into opaque white", alphaBlend<5, 6>, 0xFF000000u, 0xFFFFFFFFu,
                       0xFF2A2A2Au},
        // 1/3 of red at alpha 255 into blue at alpha 51: weights 255 and 102, so red
        // 255 * 255 / 357 = 182, blue 102 * 255 / 357 = 72; alpha 357 / 3 = 119.
        AlphaBlendCase{"translucent weights", alphaBlend<1, 3>, 0xFFFF0000u, 0x330000FFu, 0x77B60048u}));

TEST(BlockCell, StoredWordsOfTransparentPixelsAreZero) {
    EXPECT_EQ(AlphaColours::stored(0x00ABCDEFu), 0u);
    EXPECT_EQ(AlphaColours::stored(0x01ABCDEFu), 0x01ABCDEFu);
    EXPECT_EQ(OpaqueColours::stored(0x00ABCDEFu), 0x00ABCDEFu);
}

// The three mappings of a quarter turn, each against its table written out by hand.
TEST(QuarterTurn, MapsEveryCellOfAThreeBlock) {
    // Rows of: turn-0 cell, then its image under turns 1, 2 and 3.
    const int table[9][8] = {
        {0, 0, 2, 0, 2, 2, 0, 2}, {0, 1, 1, 0, 2, 1, 1, 2}, {0, 2, 0, 0, 2, 0, 2, 2},
        {1, 0, 2, 1, 1, 2, 0, 1}, {1, 1, 1, 1, 1, 1, 1, 1}, {1, 2, 0, 1, 1, 0, 2, 1},
        {2, 0, 2, 2, 0, 2, 0, 0}, {2, 1, 1, 2, 0, 1, 1, 0}, {2, 2, 0, 2, 0, 0, 2, 0},
    };
    for (const auto& row : table)
        for (int turn = 0; turn <= 3; ++turn) {
            const BlockCell got = turnedCell(3, static_cast<QuarterTurn>(turn), BlockCell{row[0], row[1]});
            EXPECT_EQ(got.row, row[2 * turn]) << "(" << row[0] << "," << row[1] << ") turn " << turn;
            EXPECT_EQ(got.column, row[2 * turn + 1]) << "(" << row[0] << "," << row[1] << ") turn " << turn;
        }
}

TEST(QuarterTurn, TakesTheBottomRightCornerRoundTheBlock) {
    for (int factor = 2; factor <= 5; ++factor) {
        const BlockCell corner{factor - 1, factor - 1};
        const BlockCell expected[4] = {corner, {0, factor - 1}, {0, 0}, {factor - 1, 0}};
        for (int turn = 0; turn < 4; ++turn) {
            const BlockCell got = turnedCell(factor, static_cast<QuarterTurn>(turn), corner);
            EXPECT_EQ(got.row, expected[turn].row) << "factor " << factor << " turn " << turn;
            EXPECT_EQ(got.column, expected[turn].column) << "factor " << factor << " turn " << turn;
        }
    }
}

TEST(QuarterTurn, ReadsTheNeighbourhoodTurned) {
    // The cell (dx, dy) that plays each part, under turns 0 to 3; cells numbered row by
    // row from (-1, -1).
    struct Part {
        int dx, dy;
        int cell[4];
    };
    const Part parts[] = {
        {1, 0, {5, 1, 3, 7}},  // side neighbour: N(1,0), N(0,-1), N(-1,0), N(0,1)
        {0, 1, {7, 5, 1, 3}},  // lower neighbour
        {1, 1, {8, 2, 0, 6}},  // across the corner: N(1,1), N(1,-1), N(-1,-1), N(-1,1)
        {-1, 1, {6, 8, 2, 0}}, // N(-1,1), N(1,1), N(1,-1), N(-1,-1)
        {1, -1, {2, 0, 6, 8}}, // N(1,-1), N(-1,-1), N(-1,1), N(1,1)
        {0, 0, {4, 4, 4, 4}},
    };
    for (const Part& p : parts)
        for (int turn = 0; turn < 4; ++turn)
            EXPECT_EQ(neighbourIndex(static_cast<QuarterTurn>(turn), p.dx, p.dy), p.cell[turn])
                << "(" << p.dx << "," << p.dy << ") turn " << turn;
}

TEST(QuarterTurn, SeesTheGradeByteFromEachCorner) {
    // Fields, bits 0-1 to 6-7: top-left 1, top-right 2, bottom-right 3, bottom-left 0.
    constexpr CornerGrades grades = 0b00'11'10'01;
    // Each turn's own corner lands in bits 4-5, the one ahead in 2-3, behind in 6-7.
    EXPECT_EQ(turnedGrades<BottomRight>(grades), 0b00'11'10'01);
    EXPECT_EQ(turnedGrades<TopRight>(grades), 0b11'10'01'00);
    EXPECT_EQ(turnedGrades<TopLeft>(grades), 0b10'01'00'11);
    EXPECT_EQ(turnedGrades<BottomLeft>(grades), 0b01'00'11'10);
}

template <int Factor, QuarterTurn Turn>
void applyAt(PatternKind kind, Pixel colour, const OutputBlock& block) {
    switch (kind) {
    case PatternKind::BothSlopes:
        return applyPattern<OpaqueColours, Factor, Turn, PatternKind::BothSlopes>(colour, block);
    case PatternKind::ShallowSlope:
        return applyPattern<OpaqueColours, Factor, Turn, PatternKind::ShallowSlope>(colour, block);
    case PatternKind::SteepSlope:
        return applyPattern<OpaqueColours, Factor, Turn, PatternKind::SteepSlope>(colour, block);
    case PatternKind::Diagonal:
        return applyPattern<OpaqueColours, Factor, Turn, PatternKind::Diagonal>(colour, block);
    case PatternKind::Corner:
        return applyPattern<OpaqueColours, Factor, Turn, PatternKind::Corner>(colour, block);
    }
}

template <int Factor>
void applyAt(int turn, PatternKind kind, Pixel colour, const OutputBlock& block) {
    switch (turn) {
    case 0:
        return applyAt<Factor, BottomRight>(kind, colour, block);
    case 1:
        return applyAt<Factor, TopRight>(kind, colour, block);
    case 2:
        return applyAt<Factor, TopLeft>(kind, colour, block);
    default:
        return applyAt<Factor, BottomLeft>(kind, colour, block);
    }
}

void applyAt(int factor, int turn, PatternKind kind, Pixel colour, const OutputBlock& block) {
    switch (factor) {
    case 2:
        return applyAt<2>(turn, kind, colour, block);
    case 3:
        return applyAt<3>(turn, kind, colour, block);
    case 4:
        return applyAt<4>(turn, kind, colour, block);
    default:
        return applyAt<5>(turn, kind, colour, block);
    }
}

struct Application {
    int turn;
    PatternKind kind;
};

// Expected blocks are written row by row: "." keeps the fill, "S" is the blend
// colour set outright (its alpha kept), a number is a blended grey with alpha 0.
struct PatternCase {
    const char* name;
    int factor;
    Pixel fill;
    Pixel colour;
    std::vector<Application> applications;
    std::vector<std::string> expected;
};

class PatternBlock : public testing::TestWithParam<PatternCase> {};

TEST_P(PatternBlock, WritesExactlyTheListedCells) {
    const PatternCase& c = GetParam();
    // The block sits inside a larger target so that writes outside it would show.
    const int stride = c.factor + 2;
    std::vector<Pixel> target(static_cast<std::size_t>(stride) * (c.factor + 2), c.fill);
    const OutputBlock block{target.data() + stride + 1, stride};
    for (const Application& a : c.applications)
        applyAt(c.factor, a.turn, a.kind, c.colour, block);

    ASSERT_EQ(c.expected.size(), static_cast<std::size_t>(c.factor)) << c.name;
    for (int row = -1; row <= c.factor; ++row) {
        std::istringstream tokens(row >= 0 && row < c.factor ? c.expected[row] : std::string());
        for (int column = -1; column <= c.factor; ++column) {
            const Pixel got = block.topLeft[row * stride + column];
            if (row < 0 || column < 0 || row == c.factor || column == c.factor) {
                EXPECT_EQ(got, c.fill) << c.name << ": outside the block at (" << row << "," << column << ")";
                continue;
            }
            std::string token;
            tokens >> token;
            const Pixel expected = token == "."   ? c.fill
                                   : token == "S" ? c.colour
                                                  : grey(static_cast<std::uint32_t>(std::stoul(token)), 0);
            EXPECT_EQ(got, expected) << c.name << ": cell (" << row << "," << column << ")";
        }
    }
}

using K = PatternKind;

INSTANTIATE_TEST_SUITE_P(
    FactorTwo, PatternBlock,
    testing::Values(PatternCase{"both slopes", 2, white, black, {{0, K::BothSlopes}}, {". 191", "191 42"}},
                    PatternCase{"shallow", 2, white, black, {{0, K::ShallowSlope}}, {". .", "191 63"}},
                    PatternCase{"steep", 2, white, black, {{0, K::SteepSlope}}, {". 191", ". 63"}},
                    PatternCase{"shallow turn 1", 2, white, black, {{1, K::ShallowSlope}}, {". 63", ". 191"}},
                    PatternCase{"diagonal", 2, white, black, {{0, K::Diagonal}}, {". .", ". 127"}},
                    PatternCase{"corner", 2, white, black, {{0, K::Corner}}, {". .", ". 201"}},
                    PatternCase{"corner turn 2", 2, white, black, {{2, K::Corner}}, {"201 .", ". ."}},
                    // Turn 1 blends into what turn 0 left in the shared cell.
                    PatternCase{"diagonal then both slopes turn 1",
                                2,
                                white,
                                black,
                                {{0, K::Diagonal}, {1, K::BothSlopes}},
                                {"191 42", ". 95"}}));

INSTANTIATE_TEST_SUITE_P(
    FactorThree, PatternBlock,
    testing::Values(
        PatternCase{"both slopes", 3, white, black, {{0, K::BothSlopes}}, {". . 191", ". . 63", "191 63 S"}},
        PatternCase{"shallow", 3, white, black, {{0, K::ShallowSlope}}, {". . .", ". . 191", "191 63 S"}},
        PatternCase{"steep", 3, white, black, {{0, K::SteepSlope}}, {". . 191", ". . 63", ". 191 S"}},
        PatternCase{"steep turn 2", 3, white, black, {{2, K::SteepSlope}}, {"S 191 .", "63 . .", "191 . ."}},
        PatternCase{"diagonal", 3, white, black, {{0, K::Diagonal}}, {". . .", ". . 223", ". 223 31"}},
        PatternCase{"corner", 3, white, black, {{0, K::Corner}}, {". . .", ". . .", ". . 140"}},
        PatternCase{"corner turn 3", 3, white, black, {{3, K::Corner}}, {". . .", ". . .", "140 . ."}},
        // Turn 1 sets the cell turn 0 blended, and blends the cell turn 0 set.
        PatternCase{"both slopes turns 0 and 1",
                    3,
                    white,
                    black,
                    {{0, K::BothSlopes}, {1, K::BothSlopes}},
                    {"191 63 S", ". . 15", "191 63 0"}}));

INSTANTIATE_TEST_SUITE_P(FactorFour, PatternBlock,
                         testing::Values(PatternCase{"both slopes white into black",
                                                     4,
                                                     black,
                                                     white,
                                                     {{0, K::BothSlopes}},
                                                     {". . . 63", ". . . 191", ". . 85 S", "63 191 S S"}},
                                         PatternCase{"both slopes black into white",
                                                     4,
                                                     white,
                                                     black,
                                                     {{0, K::BothSlopes}},
                                                     {". . . 191", ". . . 63", ". . 170 S", "191 63 S S"}},
                                         PatternCase{"shallow",
                                                     4,
                                                     black,
                                                     white,
                                                     {{0, K::ShallowSlope}},
                                                     {". . . .", ". . . .", ". . 63 191", "63 191 S S"}},
                                         PatternCase{"steep",
                                                     4,
                                                     black,
                                                     white,
                                                     {{0, K::SteepSlope}},
                                                     {". . . 63", ". . . 191", ". . 63 S", ". . 191 S"}},
                                         PatternCase{"diagonal",
                                                     4,
                                                     black,
                                                     white,
                                                     {{0, K::Diagonal}},
                                                     {". . . .", ". . . .", ". . . 127", ". . 127 S"}},
                                         PatternCase{"corner white into black",
                                                     4,
                                                     black,
                                                     white,
                                                     {{0, K::Corner}},
                                                     {". . . .", ". . . .", ". . . 22", ". . 22 173"}},
                                         PatternCase{"corner black into white",
                                                     4,
                                                     white,
                                                     black,
                                                     {{0, K::Corner}},
                                                     {". . . .", ". . . .", ". . . 232", ". . 232 81"}},
                                         PatternCase{"corner turn 2",
                                                     4,
                                                     black,
                                                     white,
                                                     {{2, K::Corner}},
                                                     {"173 22 . .", "22 . . .", ". . . .", ". . . ."}},
                                         PatternCase{"shallow turn 2",
                                                     4,
                                                     black,
                                                     white,
                                                     {{2, K::ShallowSlope}},
                                                     {"S S 191 63", "191 63 . .", ". . . .", ". . . ."}},
                                         PatternCase{"diagonal then shallow turn 1",
                                                     4,
                                                     black,
                                                     white,
                                                     {{0, K::Diagonal}, {1, K::ShallowSlope}},
                                                     {". . 191 S", ". . 63 S", ". . . 223", ". . 127 255"}}));

INSTANTIATE_TEST_SUITE_P(
    FactorFive, PatternBlock,
    testing::Values(PatternCase{"both slopes white into black",
                                5,
                                black,
                                white,
                                {{0, K::BothSlopes}},
                                {". . . . 63", ". . . . 191", ". . . 63 S", ". . 63 170 S", "63 191 S S S"}},
                    PatternCase{"both slopes black into white",
                                5,
                                white,
                                black,
                                {{0, K::BothSlopes}},
                                {". . . . 191", ". . . . 63", ". . . 191 S", ". . 191 85 S", "191 63 S S S"}},
                    PatternCase{"shallow",
                                5,
                                black,
                                white,
                                {{0, K::ShallowSlope}},
                                {". . . . .", ". . . . .", ". . . . 63", ". . 63 191 S", "63 191 S S S"}},
                    PatternCase{"diagonal white into black",
                                5,
                                black,
                                white,
                                {{0, K::Diagonal}},
                                {". . . . .", ". . . . .", ". . . . 31", ". . . 31 223", ". . 31 223 S"}},
                    PatternCase{"diagonal black into white",
                                5,
                                white,
                                black,
                                {{0, K::Diagonal}},
                                {". . . . .", ". . . . .", ". . . . 223", ". . . 223 31", ". . 223 31 S"}},
                    PatternCase{"corner white into black",
                                5,
                                black,
                                white,
                                {{0, K::Corner}},
                                {". . . . .", ". . . . .", ". . . . .", ". . . . 58", ". . . 58 219"}},
                    PatternCase{"corner black into white",
                                5,
                                white,
                                black,
                                {{0, K::Corner}},
                                {". . . . .", ". . . . .", ". . . . .", ". . . . 196", ". . . 196 35"}},
                    PatternCase{"diagonal turn 2",
                                5,
                                black,
                                white,
                                {{2, K::Diagonal}},
                                {"S 223 31 . .", "223 31 . . .", "31 . . . .", ". . . . .", ". . . . ."}},
                    PatternCase{
                        "steep then shallow turn 1",
                        5,
                        black,
                        white,
                        {{0, K::SteepSlope}, {1, K::ShallowSlope}},
                        {". . 63 S S", ". . . 191 S", ". . . 111 S", ". . . 191 255", ". . 63 S 255"}}));

} // namespace
} // namespace tessera
