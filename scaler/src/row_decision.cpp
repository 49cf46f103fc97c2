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

// Settles the slope tests the turn left pending at the pixels in window columns
// stripMargin + positions[i]: their spans are measured together, from the cells gathered
// into rows of pairs, and code(i) is the pattern of the i-th, settled in place.
template <typename Colours, QuarterTurn Turn, typename Code>
[[gnu::always_inline]] inline void settleTurn(const WindowView& view, const std::uint16_t* positions,
                                              int count, const ScaleSettings& settings, Code code) {
    if (count == 0)
        return;
    using Spans = SlopeSpans<Turn>;
    Pixel sideFrom[stripColumns], sideTo[stripColumns], lowerFrom[stripColumns], lowerTo[stripColumns];
    for (int i = 0; i < count; ++i) {
        const WindowNeighbourhood n{view, stripMargin + positions[i]};
        sideFrom[i] = n.pixel<Spans::sideFrom>();
        sideTo[i] = n.pixel<Spans::sideTo>();
        lowerFrom[i] = n.pixel<Spans::lowerFrom>();
        lowerTo[i] = n.pixel<Spans::lowerTo>();
    }
    double sideSpan[stripColumns], lowerSpan[stripColumns];
    measurePairs<Colours>(sideFrom, sideTo, count, settings.lumaWeight, sideSpan);
    measurePairs<Colours>(lowerFrom, lowerTo, count, settings.lumaWeight, lowerSpan);
    for (int i = 0; i < count; ++i)
        code(i) = settleSlopes(code(i), sideSpan[i], lowerSpan[i], settings);
}

#if defined(__wasm_simd128__)
// The bits of a grade byte that hold the turn's own corner (its field as the turn sees it).
template <QuarterTurn Turn>
constexpr std::uint32_t turnField() {
    std::uint32_t field = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (gradeAt(turnedGrades<Turn>(1u << bit), bottomRightShift) != BlendGrade::None)
            field |= 1u << bit;
    return field;
}

// One turn at the `count` pixels `at` lists, those whose corner the turn grades, one by
// one: their patterns are kept in the order of the list, settled, and sorted by kind.
template <typename Colours, QuarterTurn Turn>
[[gnu::always_inline]] inline void decideListed(const WindowView& view, const std::uint32_t* grades,
                                                const std::uint16_t* at, int count,
                                                const ScaleSettings& settings, RowDecisions& out) {
    std::uint16_t codes[positionListSize], pendingAt[stripColumns], pendingIndex[stripColumns];
    int pendingCount = 0;
#pragma clang loop vectorize(disable)
    for (int i = 0; i < count; ++i) {
        const int x = at[i];
        const CornerDecision d =
            decideCorner<Colours, Turn>(WindowNeighbourhood{view, stripMargin + x}, grades[x], settings);
        codes[i] = static_cast<std::uint16_t>(d.pattern);
        out.colour[Turn][x] = d.colour;
        pendingAt[pendingCount] = static_cast<std::uint16_t>(x);
        pendingIndex[pendingCount] = static_cast<std::uint16_t>(i);
        pendingCount += slopesPending(d.pattern);
    }
    settleTurn<Colours, Turn>(view, pendingAt, pendingCount, settings,
                              [&](int i) -> std::uint16_t& { return codes[pendingIndex[i]]; });
    sortByCode(codes, at, count, static_cast<int>(noPattern), out.patterned[Turn], out.kindEnds[Turn]);
}
#endif

// Only the runs of stretches that hold a graded pixel are decided (flat areas have none).
// Where registers hold eight or sixteen words, every pixel of those stretches is decided in
// every turn, in loops that vectorise; the turns' pixels are then listed from the
// stretches, the ones waiting for their slope test first and, once those are settled,
// every patterned one by kind. WebAssembly SIMD holds four words, and the vectorised
// decision there costs more than deciding one by one only the corners that are graded
// (in a sprite sheet, fewer than one in five of the pixel-turns of those stretches): each
// turn's graded pixels are listed first, and decided, settled and sorted by kind from
// that list.
template <typename Colours>
[[gnu::always_inline]] inline void decideTurns(StripWindow<Colours>& window, const std::uint32_t* grades,
                                               int columns, const ScaleSettings& settings,
                                               RowDecisions& out) {
    const std::uint32_t graded = nonZeroStretches(grades, columns);
    // Pixel x reads the pairs whose left pixel is in window columns x .. x + 3.
    window.measureForDecisions(graded | graded << 1);
    const WindowView view(window);
#if defined(__wasm_simd128__)
    std::uint32_t turnGrades[4][stripColumns];
    forEachRun(
        graded, [&](int begin, int end) __attribute__((always_inline)) {
            for (int x = begin * pairStretch; x < std::min(end * pairStretch, columns); ++x) {
                turnGrades[BottomRight][x] = grades[x] & turnField<BottomRight>();
                turnGrades[TopRight][x] = grades[x] & turnField<TopRight>();
                turnGrades[TopLeft][x] = grades[x] & turnField<TopLeft>();
                turnGrades[BottomLeft][x] = grades[x] & turnField<BottomLeft>();
            }
        });
    std::uint16_t gradedAt[4][positionListSize];
    int gradedCount[4];
    listAbove(turnGrades, graded, columns, 0, gradedAt, gradedCount);
    const auto decide = [&]<QuarterTurn Turn>() __attribute__((always_inline)) {
        decideListed<Colours, Turn>(view, grades, gradedAt[Turn], gradedCount[Turn], settings, out);
    };
    decide.template operator()<BottomRight>();
    decide.template operator()<TopRight>();
    decide.template operator()<TopLeft>();
    decide.template operator()<BottomLeft>();
#else
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
    const auto settle = [&]<QuarterTurn Turn>() __attribute__((always_inline)) {
        settleTurn<Colours, Turn>(
            view, pending[Turn], pendingCount[Turn], settings,
            [&](int i) -> std::uint32_t& { return out.pattern[Turn][pending[Turn][i]]; });
    };
    settle.template operator()<BottomRight>();
    settle.template operator()<TopRight>();
    settle.template operator()<TopLeft>();
    settle.template operator()<BottomLeft>();
    listByCode(out.pattern, graded, columns, noPattern, out.patterned, &out.kindEnds[0][0]);
#endif
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
