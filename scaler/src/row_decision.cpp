// The decision loops of row_decision.h, built for each instruction set of vector_clones.h.
#include "row_decision.h"

#include "colour_rules.h"
#include "vector_clones.h"

#include <algorithm>

namespace tessera {
namespace {

// The colours are written through a restricted pointer: the loop reads words of the same
// type from the window, and vectorises only when it knows that no store changes them.
template <typename Colours, QuarterTurn Turn>
[[gnu::always_inline]] inline void decideTurn(const WindowView& view, const std::uint32_t* grades, int from,
                                              int to, const ScaleSettings& settings, RowDecisions& out) {
    std::uint32_t* __restrict patterns = out.pattern[Turn];
    Pixel* __restrict colours = out.colour[Turn];
    for (int x = from; x < to; ++x) {
        const CornerDecision d =
            decideCorner<Colours, Turn>(WindowNeighbourhood{view, stripMargin + x}, grades[x], settings);
        patterns[x] = d.pattern;
        colours[x] = d.colour;
    }
}

// Inlined into each clone, so that every clone has its own build of the loops. Only the
// runs of stretches that hold a graded pixel are decided: the codes of ungraded pixels
// are never read, and flat areas have none.
template <typename Colours>
[[gnu::always_inline]] inline void decideTurns(StripWindow<Colours>& window, const std::uint32_t* grades,
                                               int columns, const ScaleSettings& settings,
                                               RowDecisions& out) {
    const std::uint32_t graded = nonZeroStretches(grades, columns);
    out.gradedStretches = graded;
    // Pixel x reads the pairs whose left pixel is in window columns x .. x + 3.
    window.measureForDecisions(graded | graded << 1);
    const WindowView view(window);
    forEachRun(
        graded, [&](int begin, int end) __attribute__((always_inline)) {
            const int from = begin * pairStretch, to = std::min(end * pairStretch, columns);
            decideTurn<Colours, BottomRight>(view, grades, from, to, settings, out);
            decideTurn<Colours, TopRight>(view, grades, from, to, settings, out);
            decideTurn<Colours, TopLeft>(view, grades, from, to, settings, out);
            decideTurn<Colours, BottomLeft>(view, grades, from, to, settings, out);
        });
}

TESSERA_VECTOR_CLONES void decideOpaque(StripWindow<OpaqueColours>& window, const std::uint32_t* grades,
                                        int columns, const ScaleSettings& settings, RowDecisions& out) {
    decideTurns(window, grades, columns, settings, out);
}

TESSERA_VECTOR_CLONES void decideAlpha(StripWindow<AlphaColours>& window, const std::uint32_t* grades,
                                       int columns, const ScaleSettings& settings, RowDecisions& out) {
    decideTurns(window, grades, columns, settings, out);
}

} // namespace

template <>
void decideRow<OpaqueColours>(StripWindow<OpaqueColours>& window, const std::uint32_t* grades, int columns,
                              const ScaleSettings& settings, RowDecisions& out) {
    decideOpaque(window, grades, columns, settings, out);
}

template <>
void decideRow<AlphaColours>(StripWindow<AlphaColours>& window, const std::uint32_t* grades, int columns,
                             const ScaleSettings& settings, RowDecisions& out) {
    decideAlpha(window, grades, columns, settings, out);
}

} // namespace tessera
