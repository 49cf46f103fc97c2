// The blend decision: for each graded corner of one source pixel, which pattern, with
// which colour, is blended into the pixel's block.
//
// The rule is written once, for the bottom-right corner (turn 0). The other corners
// read the neighbourhood and the grade byte through a quarter turn fixed at compile
// time, so every turn is its own straight-line instance with its cells at constant
// positions.
//
// The neighbourhood is a source the caller chooses, asked for cells and pairs of cells
// fixed at compile time: n.pixel<C>() for a cell's word and n.between<A, B>() for the
// distance of two cells (cells numbered row by row from N(-1, -1) to N(1, 1)). The pass
// looks them up in its strip window, among the pairs it has measured for whole rows.
//
// Every test is cheap once the pairs are measured, so all of them are made, joined with
// bitwise operators and no branch: the pass decides a whole row of pixels, one turn at
// a time, in a loop that vectorises (row_decision.h). Only the slope test reads pairs
// that nothing else reads, the two spans across the corner, and few corners get that far
// (a graded line blend beside cells of another colour): the decision leaves it pending,
// and settleSlopes makes it once the caller has measured the spans of those corners.
#pragma once

#include "colour_distance.h"
#include "corner_grades.h"
#include "output_block.h"
#include "pass_namespace.h"
#include "quarter_turn.h"

#include <cstdint>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// The cells one turn reads, as neighbourhood cell numbers, named for the part they play
// in the turn-0 frame.
template <QuarterTurn Turn>
struct TurnedCells {
    static constexpr int centre = 4;
    static constexpr int side = neighbourIndex(Turn, 1, 0);        // Nt(1, 0)
    static constexpr int lower = neighbourIndex(Turn, 0, 1);       // Nt(0, 1)
    static constexpr int across = neighbourIndex(Turn, 1, 1);      // Nt(1, 1), across the corner
    static constexpr int lowerLeft = neighbourIndex(Turn, -1, 1);  // Nt(-1, 1)
    static constexpr int upperRight = neighbourIndex(Turn, 1, -1); // Nt(1, -1)
    static constexpr int left = neighbourIndex(Turn, -1, 0);       // Nt(-1, 0)
    static constexpr int above = neighbourIndex(Turn, 0, -1);      // Nt(0, -1)
};

// Whether two cells are of a similar colour: their distance is below the tolerance.
template <int A, int B, typename Cells>
[[gnu::always_inline]] inline unsigned similar(const Cells& n, const ScaleSettings& settings) {
    return sameColour(n.template between<A, B>(), settings);
}

// Whether two cells are different pixels: unequal words, or in the alpha mode not both
// transparent.
template <typename Colours, int A, int B, typename Cells>
[[gnu::always_inline]] inline unsigned differentPixel(const Cells& n) {
    return !Colours::samePixel(n.template pixel<A>(), n.template pixel<B>());
}

// What one turn does to the block: a PatternKind, or noPattern (the code after the last
// kind) when its corner is not graded, and the colour it blends in, the side neighbour
// Nt(1, 0) or the lower one Nt(0, 1). A line blend waiting for its slope test is a
// Diagonal with one or both of the pending bits set, for the slopes it may still turn out
// to be; the pending bits lie above every final code.
constexpr std::uint32_t noPattern = static_cast<std::uint32_t>(PatternKind::Corner) + 1;
constexpr std::uint32_t shallowPending = 1u << 3;
constexpr std::uint32_t steepPending = 1u << 4;
static_assert(noPattern < shallowPending);

struct CornerDecision {
    std::uint32_t pattern;
    Pixel colour;
};

// The spans the slope test compares: side Nt(1, 0) to lower left Nt(-1, 1), and lower
// Nt(0, 1) to upper right Nt(1, -1).
template <QuarterTurn Turn>
struct SlopeSpans {
    static constexpr int sideFrom = TurnedCells<Turn>::side, sideTo = TurnedCells<Turn>::lowerLeft;
    static constexpr int lowerFrom = TurnedCells<Turn>::lower, lowerTo = TurnedCells<Turn>::upperRight;
};

// Always inlined, so that the pass's loop over a row stays one loop that vectorises.
template <typename Colours, QuarterTurn Turn, typename Cells>
[[gnu::always_inline]] inline CornerDecision decideCorner(const Cells& n, unsigned grades,
                                                          const ScaleSettings& settings) {
    using C = TurnedCells<Turn>;
    const unsigned turned = turnedGrades<Turn>(grades);

    // Whether the corner gets a line blend (a slope or diagonal pattern) rather than the
    // small Corner rounding: always when its grade is strong; never when a graded corner
    // ahead or behind lies across a change of colour from the pixel; never at the corner
    // of a shape, where five cells bend round the corner in one colour while the pixel
    // itself differs from the cell across it.
    const unsigned strong = gradeAt(turned, bottomRightShift) == BlendGrade::Strong;
    const unsigned aheadAcross = (gradeAt(turned, topRightShift) != BlendGrade::None) &
                                 (similar<C::centre, C::lowerLeft>(n, settings) ^ 1u);
    const unsigned behindAcross = (gradeAt(turned, bottomLeftShift) != BlendGrade::None) &
                                  (similar<C::centre, C::upperRight>(n, settings) ^ 1u);
    const unsigned shapeCorner =
        similar<C::lowerLeft, C::lower>(n, settings) & similar<C::lower, C::across>(n, settings) &
        similar<C::across, C::side>(n, settings) & similar<C::side, C::upperRight>(n, settings) &
        (similar<C::centre, C::across>(n, settings) ^ 1u);
    const unsigned lineBlend = strong | ((aheadAcross | behindAcross | shapeCorner) ^ 1u);

    // A tie goes to the side neighbour.
    const bool sideColour =
        n.template between<C::centre, C::side>() <= n.template between<C::centre, C::lower>();
    const Pixel colour = select(sideColour, n.template pixel<C::side>(), n.template pixel<C::lower>());

    // A line blend is shallow when the lower span is at least the steep ratio times the
    // side span and the lower-left cell differs from the pixel and from its left
    // neighbour; steep the same way round with the upper-right cell; both, or neither
    // (a Diagonal). The cell tests are made here, the span tests by settleSlopes.
    const unsigned shallowCells = differentPixel<Colours, C::centre, C::lowerLeft>(n) &
                                  differentPixel<Colours, C::left, C::lowerLeft>(n);
    const unsigned steepCells = differentPixel<Colours, C::centre, C::upperRight>(n) &
                                differentPixel<Colours, C::above, C::upperRight>(n);
    const std::uint32_t line = static_cast<std::uint32_t>(PatternKind::Diagonal) |
                               shallowCells * shallowPending | steepCells * steepPending;
    const std::uint32_t kind = select(lineBlend != 0, line, static_cast<std::uint32_t>(PatternKind::Corner));
    const bool graded = gradeAt(turned, bottomRightShift) != BlendGrade::None;
    return {select(graded, kind, noPattern), colour};
}

// The codes above this one still wait for their slope test; the final ones, the kinds
// and noPattern, are at most this.
constexpr std::uint32_t lastFinalCode = shallowPending - 1;

constexpr bool slopesPending(std::uint32_t pattern) {
    return pattern > lastFinalCode;
}

// The final pattern of a pending line blend, from the distances of its spans: Diagonal,
// less two for a shallow slope and one for a steep one (the order of PatternKind).
constexpr std::uint32_t settleSlopes(std::uint32_t pattern, double sideSpan, double lowerSpan,
                                     const ScaleSettings& settings) {
    const unsigned shallow =
        (lowerSpan >= settings.steepRatio * sideSpan) & ((pattern & shallowPending) != 0);
    const unsigned steep = (sideSpan >= settings.steepRatio * lowerSpan) & ((pattern & steepPending) != 0);
    return static_cast<std::uint32_t>(PatternKind::Diagonal) - 2u * shallow - steep;
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
