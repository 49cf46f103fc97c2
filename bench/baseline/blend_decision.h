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

namespace tessera::baseline {

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

// Distances between cells of one neighbourhood. The four turns of a pixel ask for
// many of the same pairs (the pixel against its edge and diagonal neighbours, each
// pair of ring neighbours), so each pair is measured at most once per pixel.
struct NeighbourhoodDistances {
    const Neighbourhood& cells;
    double lumaWeight;
    double measured[36] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                           -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

    // Slot of the unordered pair {a, b}, a != b; constant wherever a and b are.
    static constexpr int slotOf(int a, int b) {
        const int low = a < b ? a : b, high = a < b ? b : a;
        return high * (high - 1) / 2 + low;
    }

    double between(int a, int b) {
        double& slot = measured[slotOf(a, b)];
        if (slot < 0.0)
            slot = colourDistance(cells[a], cells[b], lumaWeight);
        return slot;
    }
};

// The cells one turn reads, as indices into the neighbourhood, named for the part
// they play in the turn-0 frame.
template <int Turn>
struct TurnedCells {
    static constexpr int centre = 4;
    static constexpr int side = turnedIndex(Turn, 1, 0);        // Nt(1, 0)
    static constexpr int lower = turnedIndex(Turn, 0, 1);       // Nt(0, 1)
    static constexpr int across = turnedIndex(Turn, 1, 1);      // Nt(1, 1), across the corner
    static constexpr int lowerLeft = turnedIndex(Turn, -1, 1);  // Nt(-1, 1)
    static constexpr int upperRight = turnedIndex(Turn, 1, -1); // Nt(1, -1)
    static constexpr int left = turnedIndex(Turn, -1, 0);       // Nt(-1, 0)
    static constexpr int above = turnedIndex(Turn, 0, -1);      // Nt(0, -1)
};

// Whether the corner gets a line blend (a slope or diagonal pattern) rather than
// the small Corner rounding.
template <int Turn>
inline bool wantsLineBlend(NeighbourhoodDistances& distances, std::uint8_t turnedGrades,
                           const ScaleSettings& settings) {
    using C = TurnedCells<Turn>;
    const auto same = [&](int a, int b) {
        return distances.between(a, b) < settings.sameColourTolerance;
    };
    const auto own = static_cast<BlendGrade>((turnedGrades >> 4) & 3);
    const auto ahead = static_cast<BlendGrade>((turnedGrades >> 2) & 3);
    const auto behind = static_cast<BlendGrade>((turnedGrades >> 6) & 3);
    if (own == BlendGrade::Strong)
        return true;
    if (ahead != BlendGrade::None && !same(C::centre, C::lowerLeft))
        return false;
    if (behind != BlendGrade::None && !same(C::centre, C::upperRight))
        return false;
    // Five cells bending round the corner in one colour, while the pixel itself
    // differs from the cell across the corner: a corner of a shape, not a line.
    if (same(C::lowerLeft, C::lower) && same(C::lower, C::across) && same(C::across, C::side) &&
        same(C::side, C::upperRight) && !same(C::centre, C::across))
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
inline std::optional<CornerBlend> decideCorner(NeighbourhoodDistances& distances, std::uint8_t grades,
                                               const ScaleSettings& settings) {
    using C = TurnedCells<Turn>;
    const std::uint8_t turned = turnGrades<Turn>(grades);
    if (((turned >> 4) & 3) == 0)
        return std::nullopt;
    const Neighbourhood& n = distances.cells;
    const bool lineBlend = wantsLineBlend<Turn>(distances, turned, settings);

    // A tie goes to the side neighbour.
    const Pixel colour = distances.between(C::centre, C::side) <= distances.between(C::centre, C::lower)
                             ? n[C::side]
                             : n[C::lower];
    if (!lineBlend)
        return CornerBlend{PatternKind::Corner, colour};

    const double sideSpan = distances.between(C::side, C::lowerLeft);
    const double lowerSpan = distances.between(C::lower, C::upperRight);
    const bool shallow = lowerSpan >= settings.steepRatio * sideSpan && n[C::centre] != n[C::lowerLeft] &&
                         n[C::left] != n[C::lowerLeft];
    const bool steep = sideSpan >= settings.steepRatio * lowerSpan && n[C::centre] != n[C::upperRight] &&
                       n[C::above] != n[C::upperRight];
    const PatternKind kind = shallow && steep ? PatternKind::BothSlopes
                             : shallow        ? PatternKind::ShallowSlope
                             : steep          ? PatternKind::SteepSlope
                                              : PatternKind::Diagonal;
    return CornerBlend{kind, colour};
}

template <int Factor, int Turn>
inline void blendCorner(NeighbourhoodDistances& distances, std::uint8_t grades, const ScaleSettings& settings,
                        const OutputBlock& block) {
    if (const auto blend = decideCorner<Turn>(distances, grades, settings))
        applyPattern<Factor, Turn>(blend->kind, blend->colour, block);
}

// Softens the block of one pixel whose grade byte is not 0, corner by corner in
// the order of the turns; later turns build on what earlier ones left.
template <int Factor>
inline void blendCorners(const Neighbourhood& n, std::uint8_t grades, const ScaleSettings& settings,
                         const OutputBlock& block) {
    NeighbourhoodDistances distances{n, settings.lumaWeight};
    blendCorner<Factor, 0>(distances, grades, settings, block);
    blendCorner<Factor, 1>(distances, grades, settings, block);
    blendCorner<Factor, 2>(distances, grades, settings, block);
    blendCorner<Factor, 3>(distances, grades, settings, block);
}

} // namespace tessera::baseline
