// Grading along one row of a strip: every corner at the bottom of the row is graded
// from the window's measured pairs, and each pixel's CornerGrades byte is completed.
//
// The working grade row holds, for each position of the strip, the top-left and
// top-right fields that the pixel there inherits from the corners of the row above; it
// lives with the strip's other working data (scale_pass.h). The bottom fields come from
// the corners of this row:
// a pixel's bottom-right corner is graded at its own column, its bottom-left corner at
// the column to its left.
#pragma once

#include "pass_namespace.h"
#include "strip_window.h"

#include <cstdint>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// Grades the corners of the window's row below each of the strip's `columns` pixels
// and the one left of the first, writes the pixels' complete grade bytes to `grades`
// and leaves the fields the row below inherits in `workingRow`. The window reads beyond
// the borders as the edge mode does (clamped, the corners there are flat), so the first
// and last columns need no case of their own. Stretches of flat corners
// (two equal rows or two equal columns at every one) grade nothing and are skipped with
// the pairs they would read.
template <typename Colours>
void gradeRow(StripWindow<Colours>& window, int columns, double dominantRatio, std::uint8_t* workingRow,
              std::uint32_t* grades);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
