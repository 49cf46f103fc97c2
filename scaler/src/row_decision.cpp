// The decision loops of row_decision.h, built for each instruction set (dispatch.h).
#include "row_decision.h"

#include "colour_rules.h"
#include "pair_distances.h"
#include "position_lists.h"

#include <algorithm>

namespace tessera::inline TESSERA_PASS_NAMESPACE {
namespace {

// Patterns and colours are written through restricted pointers: the loop reads words of
// the same type (the window's pixels, the grade bytes held in words), and vectorises
// only when it knows that no store changes them. Everything in it is a word or a double,
// so that its vectors hold as many lanes of each as the registers allow.
template <typename Colours, QuarterTurn Turn>
[[gnu::always_inline]] inline void decideTurn(const WindowView& view, const std::uint32_t* grades, int from,
                                              int to, const ScaleSettings& settings, RowDecisions& out) {
    std::uint32_t* __restrict patterns = out.pattern[Turn];
    Pixel* __restrict colours = out.colour[Turn];
    TESSERA_FOUR_LANES_IN_WASM
    for (int x = from; x < to; ++x) {
        const CornerDecision d =
            decideCorner<Colours, Turn>(WindowNeighbourhood{view, stripMargin + x}, grades[x], settings);
        patterns[x] = d.pattern;
        colours[x] = d.colour;
    }
}

// Settles the slope tests the turn left pending at the listed pixels: their spans are
// measured together, from the cells gathered into rows of pairs.
template <typename Colours, QuarterTurn Turn>
[[gnu::always_inline]] inline void settleTurn(const WindowView& view, const std::uint16_t* pending,
                                              int pendingCount, const ScaleSettings& settings,
                                              RowDecisions& out) {
    if (pendingCount == 0)
        return;
    std::uint32_t* patterns = out.pattern[Turn];
    using Spans = SlopeSpans<Turn>;
    Pixel sideFrom[stripColumns], sideTo[stripColumns], lowerFrom[stripColumns], lowerTo[stripColumns];
    for (int i = 0; i < pendingCount; ++i) {
        const WindowNeighbourhood n{view, stripMargin + pending[i]};
        sideFrom[i] = n.pixel<Spans::sideFrom>();
        sideTo[i] = n.pixel<Spans::sideTo>();
        lowerFrom[i] = n.pixel<Spans::lowerFrom>();
        lowerTo[i] = n.pixel<Spans::lowerTo>();
    }
    double sideSpan[stripColumns], lowerSpan[stripColumns];
    measurePairs<Colours>(sideFrom, sideTo, pendingCount, settings.lumaWeight, sideSpan);
    measurePairs<Colours>(lowerFrom, lowerTo, pendingCount, settings.lumaWeight, lowerSpan);
    for (int i = 0; i < pendingCount; ++i)
        patterns[pending[i]] = settleSlopes(patterns[pending[i]], sideSpan[i], lowerSpan[i], settings);
}

// Only the runs of stretches that hold a graded pixel are decided (flat areas have none); the
// turns' pixels are then listed from those stretches, the ones waiting for their slope
// test first and, once those are settled, every patterned one by kind.
template <typename Colours>
[[gnu::always_inline]] inline void decideTurns(StripWindow<Colours>& window, const std::uint32_t* grades,
                                               int columns, const ScaleSettings& settings,
                                               RowDecisions& out) {
    const std::uint32_t graded = nonZeroStretches(grades, columns);
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
    // An ungraded pixel in these stretches has the code noPattern in every turn, and so
    // is listed nowhere.
    std::uint16_t pending[4][positionListSize];
    int pendingCount[4];
    listAbove(out.pattern, graded, columns, lastFinalCode, pending, pendingCount);
    settleTurn<Colours, BottomRight>(view, pending[BottomRight], pendingCount[BottomRight], settings, out);
    settleTurn<Colours, TopRight>(view, pending[TopRight], pendingCount[TopRight], settings, out);
    settleTurn<Colours, TopLeft>(view, pending[TopLeft], pendingCount[TopLeft], settings, out);
    settleTurn<Colours, BottomLeft>(view, pending[BottomLeft], pendingCount[BottomLeft], settings, out);
    listByCode(out.pattern, graded, columns, noPattern, out.patterned, &out.kindEnds[0][0]);
}

} // namespace

template <typename Colours>
void decideRow(StripWindow<Colours>& window, const std::uint32_t* grades, int columns,
               const ScaleSettings& settings, RowDecisions& out) {
    decideTurns(window, grades, columns, settings, out);
}

template void decideRow(StripWindow<OpaqueColours>&, const std::uint32_t*, int, const ScaleSettings&,
                        RowDecisions&);
template void decideRow(StripWindow<AlphaColours>&, const std::uint32_t*, int, const ScaleSettings&,
                        RowDecisions&);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
