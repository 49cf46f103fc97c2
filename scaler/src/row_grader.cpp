// The grading of a row (row_grader.h): its loops over the strip's corners and pixels
// vectorise in the build for every instruction set (dispatch.h).
#include "row_grader.h"

#include "colour_rules.h"
#include "corner_grades.h"

#include <algorithm>

namespace tessera::inline TESSERA_PASS_NAMESPACE {
namespace {

// The row pointers are copied into locals first: the loop then reads nothing that its
// stores could alias, and vectorises. The pair whose left cell is N(dx, dy) of the corner
// in column x is rising[dy][x + dx] or falling[dy + 1][x + dx] (strip_window.h).
template <typename Colours>
[[gnu::always_inline]] inline void gradeLoop(const Pixel* row, const Pixel* below,
                                             const double* const rising[3], const double* const falling[3],
                                             int from, int to, double dominantRatio, unsigned* out) {
    const double* const risingRows[3] = {rising[0], rising[1], rising[2]};
    const double* const fallingRows[3] = {falling[0], falling[1], falling[2]};
    TESSERA_FOUR_LANES_IN_WASM
    for (int x = from; x < to; ++x) {
        const auto risingPair = [&](DiagonalPair pair) {
            return risingRows[pair.dy][x + pair.dx];
        };
        const auto fallingPair = [&](DiagonalPair pair) {
            return fallingRows[pair.dy + 1][x + pair.dx];
        };
        out[x] = gradeCorner<Colours>({row[x], row[x + 1], below[x], below[x + 1]}, sumRising(risingPair),
                                      sumFalling(fallingPair), dominantRatio);
    }
}

template <typename Colours>
[[gnu::always_inline]] inline void gradeRowLoop(StripWindow<Colours>& window, int columns,
                                                double dominantRatio, std::uint8_t* workingRow,
                                                std::uint32_t* grades) {
    // corners[x] is the corner left of pixel x's bottom, corners[x + 1] its own; corner x
    // has its top-left pixel in window column first + x.
    constexpr int first = stripMargin - 1;
    const int corners = columns + 1;
    const Pixel* row = window.words(1) + first;
    const Pixel* below = window.words(2) + first;
    // Which corners can be graded at all, in one loop that vectorises, then by stretches.
    unsigned open[stripColumns + 1];
    for (int x = 0; x < corners; ++x)
        open[x] = !isFlatCorner<Colours>({row[x], row[x + 1], below[x], below[x + 1]});
    // The stretches of corners that can be graded.
    const std::uint32_t active = nonZeroStretches(open, corners);
    // Corner x (window column first + x) sums the pairs at window columns x .. x + 2.
    window.measureForGrading(active | active << 1);
    const double* const rising[3] = {window.rising[0] + first, window.rising[1] + first,
                                     window.rising[2] + first};
    const double* const falling[3] = {window.falling[0] + first, window.falling[1] + first,
                                      window.falling[2] + first};
    unsigned graded[stripColumns + 1];
    // Flat stretches grade to 0; the others are overwritten below.
    std::fill_n(graded, corners, 0u);
    forEachRun(
        active, [&](int begin, int end) __attribute__((always_inline)) {
            gradeLoop<Colours>(row, below, rising, falling, begin * pairStretch,
                               std::min(end * pairStretch, corners), dominantRatio, graded);
        });
    constexpr unsigned fromOwn = 3u << bottomRightShift | 3u << topRightShift;
    constexpr unsigned fromLeft = 3u << bottomLeftShift | 3u << topLeftShift;
    constexpr unsigned bottomFields = 3u << bottomRightShift | 3u << bottomLeftShift;
    for (int x = 0; x < columns; ++x) {
        const unsigned fields = (graded[x + 1] & fromOwn) | (graded[x] & fromLeft);
        grades[x] = workingRow[x] | (fields & bottomFields);
        workingRow[x] = static_cast<std::uint8_t>(fields & ~bottomFields);
    }
}

} // namespace

template <typename Colours>
void gradeRow(StripWindow<Colours>& window, int columns, double dominantRatio, std::uint8_t* workingRow,
              std::uint32_t* grades) {
    gradeRowLoop(window, columns, dominantRatio, workingRow, grades);
}

template void gradeRow(StripWindow<OpaqueColours>&, int, double, std::uint8_t*, std::uint32_t*);
template void gradeRow(StripWindow<AlphaColours>&, int, double, std::uint8_t*, std::uint32_t*);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
