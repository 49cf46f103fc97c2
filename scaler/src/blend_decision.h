// The blend decision: for each graded corner of one source pixel, which pattern,
// with which colour, is blended into the pixel's block.
//
// The rule is written once, for the bottom-right corner (turn 0). The other corners
// read the neighbourhood through a quarter turn fixed at compile time, so every turn
// is its own straight-line instance with its cells at constant positions.
#pragma once

#include "colour_distance.h"
#include "corner_grades.h"
#include "output_block.h"
#include "patterns_scale2.h"
#include "patterns_scale3.h"
#include "patterns_scale4.h"
#include "patterns_scale5.h"

#include <cstdint>
#include <optional>

namespace tessera {

// The 3 x 3 neighbourhood N(-1..1, -1..1) of the pixel, row by row; clamped at the
// image border by the caller.
using Neighbourhood = Pixel[9];

// Index of the cell that plays N(dx, dy) under a turn: N(R^t(dx, dy)) with
// R(dx, dy) = (dy, -dx), a quarter turn counter-clockwise on screen.
constexpr int turnedIndex(int turn, int dx, int dy) {
    for (int i = 0; i < turn; ++i) {
        const int previousDx = dx;
        dx = dy;
        dy = -previousDx;
    }
    return (dy + 1) * 3 + (dx + 1);
}

template <int Factor, int Turn>
inline void applyPattern(PatternKind kind, Pixel colour, const OutputBlock& block) {
    using Patterns = FactorPatterns<Factor>;
    switch (kind) {
    case PatternKind::BothSlopes:
        return applySteps<Factor, Turn, Patterns::bothSlopes>(colour, block);
    case PatternKind::ShallowSlope:
        return applySteps<Factor, Turn, Patterns::shallowSlope>(colour, block);
    case PatternKind::SteepSlope:
        return applySteps<Factor, Turn, Patterns::steepSlope>(colour, block);
    case PatternKind::Diagonal:
        return applySteps<Factor, Turn, Patterns::diagonal>(colour, block);
    case PatternKind::Corner:
        return applySteps<Factor, Turn, Patterns::corner>(colour, block);
    }
}

// Grade byte as seen from a turn: own corner in bits 4-5, the next corner
// counter-clockwise (ahead) in bits 2-3, the next clockwise (behind) in bits 6-7.
template <int Turn>
constexpr std::uint8_t turnGrades(std::uint8_t grades) {
    if constexpr (Turn == 0)
        return grades;
    else
        return static_cast<std::uint8_t>((grades << (2 * Turn)) | (grades >> (8 - 2 * Turn)));
}

// Whether the corner gets a line blend (a slope or diagonal pattern) rather than
// the small Corner rounding.
template <int Turn>
inline bool wantsLineBlend(const Neighbourhood& n, std::uint8_t turnedGrades, const ScaleSettings& settings) {
    const auto cell = [&](int dx, int dy) {
        return n[turnedIndex(Turn, dx, dy)];
    };
    const Pixel centre = n[4];
    const auto own = static_cast<BlendGrade>((turnedGrades >> 4) & 3);
    const auto ahead = static_cast<BlendGrade>((turnedGrades >> 2) & 3);
    const auto behind = static_cast<BlendGrade>((turnedGrades >> 6) & 3);
    if (own == BlendGrade::Strong)
        return true;
    if (ahead != BlendGrade::None && !sameColour(centre, cell(-1, 1), settings))
        return false;
    if (behind != BlendGrade::None && !sameColour(centre, cell(1, -1), settings))
        return false;
    // Five cells bending round the corner in one colour, while the pixel itself
    // differs from the cell across the corner: a corner of a shape, not a line.
    if (sameColour(cell(-1, 1), cell(0, 1), settings) && sameColour(cell(0, 1), cell(1, 1), settings) &&
        sameColour(cell(1, 1), cell(1, 0), settings) && sameColour(cell(1, 0), cell(1, -1), settings) &&
        !sameColour(centre, cell(1, 1), settings))
        return false;
    return true;
}

struct CornerBlend {
    PatternKind kind;
    Pixel colour;
};

// The pattern and colour for the corner a turn handles, or nothing when that corner
// is not graded.
template <int Turn>
inline std::optional<CornerBlend> decideCorner(const Neighbourhood& n, std::uint8_t grades,
                                               const ScaleSettings& settings) {
    const std::uint8_t turned = turnGrades<Turn>(grades);
    if (((turned >> 4) & 3) == 0)
        return std::nullopt;
    const auto cell = [&](int dx, int dy) {
        return n[turnedIndex(Turn, dx, dy)];
    };
    const Pixel centre = n[4];
    const double lumaWeight = settings.lumaWeight;
    const bool lineBlend = wantsLineBlend<Turn>(n, turned, settings);

    // A tie goes to the side neighbour.
    const Pixel side = cell(1, 0);
    const Pixel lower = cell(0, 1);
    const Pixel colour =
        colourDistance(centre, side, lumaWeight) <= colourDistance(centre, lower, lumaWeight) ? side : lower;
    if (!lineBlend)
        return CornerBlend{PatternKind::Corner, colour};

    const double sideSpan = colourDistance(side, cell(-1, 1), lumaWeight);
    const double lowerSpan = colourDistance(lower, cell(1, -1), lumaWeight);
    const bool shallow =
        lowerSpan >= settings.steepRatio * sideSpan && centre != cell(-1, 1) && cell(-1, 0) != cell(-1, 1);
    const bool steep =
        sideSpan >= settings.steepRatio * lowerSpan && centre != cell(1, -1) && cell(0, -1) != cell(1, -1);
    const PatternKind kind = shallow && steep ? PatternKind::BothSlopes
                             : shallow        ? PatternKind::ShallowSlope
                             : steep          ? PatternKind::SteepSlope
                                              : PatternKind::Diagonal;
    return CornerBlend{kind, colour};
}

template <int Factor, int Turn>
inline void blendCorner(const Neighbourhood& n, std::uint8_t grades, const ScaleSettings& settings,
                        const OutputBlock& block) {
    if (const auto blend = decideCorner<Turn>(n, grades, settings))
        applyPattern<Factor, Turn>(blend->kind, blend->colour, block);
}

// Softens the block of one pixel whose grade byte is not 0, corner by corner in
// the order of the turns; later turns build on what earlier ones left.
template <int Factor>
inline void blendCorners(const Neighbourhood& n, std::uint8_t grades, const ScaleSettings& settings,
                         const OutputBlock& block) {
    blendCorner<Factor, 0>(n, grades, settings, block);
    blendCorner<Factor, 1>(n, grades, settings, block);
    blendCorner<Factor, 2>(n, grades, settings, block);
    blendCorner<Factor, 3>(n, grades, settings, block);
}

} // namespace tessera
