// Grading along one row of a strip: every corner at the bottom of the row is graded
// from the window's measured pairs, and each pixel's CornerGrades byte is completed.
//
// The working grade row holds, for each column, the top-left and top-right fields that
// the pixel there inherits from the corners of the row above; it lives in the tail of
// the target (see scale_pass.h). The bottom fields come from the corners of this row:
// a pixel's bottom-right corner is graded at its own column, its bottom-left corner at
// the column to its left.
#pragma once

#include "corner_grades.h"
#include "strip_window.h"

#include <algorithm>
#include <cstdint>

namespace tessera {

// Grades corners [from, to) of a row, corner x having its top-left pixel at row[x] and
// below it below[x]; rising[r] and falling[r] are the window's pair distances with the
// same indexing (rows y - 1 + r and y + r). Built for each instruction set of
// vector_clones.h (see row_grader.cpp).
template <typename Colours>
void gradeCorners(const Pixel* row, const Pixel* below, const double* const rising[3],
                  const double* const falling[3], int from, int to, double dominantRatio, unsigned* out);

// Grades the corners of the window's row below each of the strip's `columns` pixels
// and the one left of the first, writes the pixels' complete grade bytes to `grades`
// and leaves the fields the row below inherits in `workingRow` (the strip's part of
// the working grade row). Corners outside the image are flat by the clamping, so the
// image's first and last columns need no case of their own. Stretches of flat corners
// (two equal rows or two equal columns at every one) grade nothing and are skipped with
// the pairs they would read.
template <typename Colours>
inline void gradeRow(StripWindow<Colours>& window, int columns, double dominantRatio,
                     std::uint8_t* workingRow, std::uint32_t* grades) {
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
    forEachRun(active, [&](int begin, int end) {
        gradeCorners<Colours>(row, below, rising, falling, begin * pairStretch,
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

} // namespace tessera
