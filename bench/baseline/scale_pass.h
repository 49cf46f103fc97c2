// The scaling pass: one walk over the source rows, top to bottom and left to right,
// that grades each pixel's bottom-right corner, fills the pixel's block and, when
// any corner of the pixel is graded, hands the pixel on to be blended.
#pragma once

#include "blend_decision.h"
#include "colour_distance.h"
#include "corner_grades.h"
#include "output_block.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <tessera/scaler.h>

namespace tessera::baseline {

// Grades the corners along one source row, left to right. The four source rows the
// grading reads (y - 1 .. y + 2) are clamped to the image once per row.
//
// Every term of the two diagonal sums is the distance across one diagonal pair of
// neighbours. A corner's pairs in its own row recur as the neighbouring corners'
// centre and side terms, so the three pairs around the current column are carried
// from column to column and each is measured at most once. A slot holds a negative
// value until it is measured; distances are never negative.
struct RowGrader {
    const Pixel* above;    // row y - 1
    const Pixel* row;      // row y
    const Pixel* below;    // row y + 1
    const Pixel* belowTwo; // row y + 2
    std::int32_t width;
    const ScaleSettings& settings;

    // Rising pairs (lower-left to upper-right) and falling pairs (upper-left to
    // lower-right) whose upper pixel lies in row y, at columns x - 1, x and x + 1.
    double risingBefore = -1.0, risingHere = -1.0, risingAfter = -1.0;
    double fallingBefore = -1.0, fallingHere = -1.0, fallingAfter = -1.0;

    double distance(Pixel a, Pixel b) const { return colourDistance(a, b, settings.lumaWeight); }

    static double measured(double& slot, double value) { return slot = value; }

    CornerGrading grade(std::int32_t x) {
        const std::int32_t left = x > 0 ? x - 1 : 0;
        const std::int32_t right = x + 1 < width ? x + 1 : width - 1;
        const std::int32_t rightTwo = x + 2 < width ? x + 2 : width - 1;
        const CornerPixels corner{row[x], row[right], below[x], below[right]};
        if (isFlatCorner(corner))
            return {};

        const double risingCentre =
            risingHere >= 0.0 ? risingHere : measured(risingHere, distance(below[x], row[right]));
        const double risingLeft =
            risingBefore >= 0.0 ? risingBefore : measured(risingBefore, distance(below[left], row[x]));
        const double risingRight =
            risingAfter >= 0.0 ? risingAfter : measured(risingAfter, distance(below[right], row[rightTwo]));
        const double sumRising = diagonalSum(distance(row[x], above[right]), risingLeft,
                                             distance(belowTwo[x], below[right]), risingRight, risingCentre);

        const double fallingCentre =
            fallingHere >= 0.0 ? fallingHere : measured(fallingHere, distance(row[x], below[right]));
        const double fallingLeft =
            fallingBefore >= 0.0 ? fallingBefore : measured(fallingBefore, distance(row[left], below[x]));
        const double fallingRight = fallingAfter >= 0.0
                                        ? fallingAfter
                                        : measured(fallingAfter, distance(row[right], below[rightTwo]));
        const double sumFalling = diagonalSum(distance(below[x], belowTwo[right]), fallingLeft,
                                              distance(above[x], row[right]), fallingRight, fallingCentre);

        return gradeCorner(corner, sumRising, sumFalling, settings.dominantRatio);
    }

    void advance() {
        risingBefore = risingHere;
        risingHere = risingAfter;
        risingAfter = -1.0;
        fallingBefore = fallingHere;
        fallingHere = fallingAfter;
        fallingAfter = -1.0;
    }
};

inline RowGrader gradeAlongRow(const Pixel* source, std::int32_t width, std::int32_t height, std::int32_t y,
                               const ScaleSettings& settings) {
    const auto rowAt = [&](std::int32_t r) {
        return source + static_cast<std::ptrdiff_t>(std::clamp(r, 0, height - 1)) * width;
    };
    return RowGrader{rowAt(y - 1), rowAt(y), rowAt(y + 1), rowAt(y + 2), width, settings};
}

template <int Factor>
inline void fillBlock(Pixel* topLeft, std::ptrdiff_t stride, Pixel colour) {
    for (int r = 0; r < Factor; ++r)
        std::fill_n(topLeft + r * stride, Factor, colour);
}

// Enlarges source rows [firstRow, lastRow) into the target; the caller has checked
// that the range is not empty and the width positive. onGradedPixel(n, grades, block)
// is called for every pixel with a graded corner, after its block has been filled.
template <int Factor, typename OnGradedPixel>
void scalePass(const Pixel* source, Pixel* target, std::int32_t width, std::int32_t height,
               const ScaleSettings& settings, std::int32_t firstRow, std::int32_t lastRow,
               OnGradedPixel&& onGradedPixel) {
    const std::ptrdiff_t targetWidth = static_cast<std::ptrdiff_t>(width) * Factor;

    // The working row borrows the last bytes of the last target row this call
    // writes: the blocks of the last source row overwrite it only behind the
    // column being graded, so no byte is overwritten before it has been read.
    auto* gradeRow = reinterpret_cast<std::uint8_t*>(target + static_cast<std::ptrdiff_t>(lastRow) * Factor *
                                                                  targetWidth) -
                     width;
    std::memset(gradeRow, 0, static_cast<std::size_t>(width));

    // A band that starts below row 0 first receives the top grades its first row
    // would have inherited from the row above.
    if (firstRow > 0) {
        RowGrader grader = gradeAlongRow(source, width, height, firstRow - 1, settings);
        CornerGrades carry = 0;
        for (std::int32_t x = 0; x < width; ++x, grader.advance()) {
            const CornerGrading g = grader.grade(x);
            gradeRow[x] = static_cast<CornerGrades>((g.bottomLeftPixel << topRightShift) | carry);
            carry = g.bottomRightPixel;
        }
    }

    for (std::int32_t y = firstRow; y < lastRow; ++y) {
        RowGrader grader = gradeAlongRow(source, width, height, y, settings);
        Pixel* blockRow = target + static_cast<std::ptrdiff_t>(y) * Factor * targetWidth;
        CornerGrades carry = 0;
        for (std::int32_t x = 0; x < width; ++x, grader.advance()) {
            const CornerGrading g = grader.grade(x);
            const auto grades = static_cast<CornerGrades>(gradeRow[x] | (g.topLeftPixel << bottomRightShift));
            gradeRow[x] = static_cast<CornerGrades>((g.bottomLeftPixel << topRightShift) | carry);
            carry = g.bottomRightPixel;
            if (x + 1 < width)
                gradeRow[x + 1] |= static_cast<CornerGrades>(g.topRightPixel << bottomLeftShift);

            const Pixel pixel = grader.row[x];
            Pixel* topLeft = blockRow + static_cast<std::ptrdiff_t>(x) * Factor;
            fillBlock<Factor>(topLeft, targetWidth, pixel);
            if (grades != 0) {
                const std::int32_t left = x > 0 ? x - 1 : 0;
                const std::int32_t right = x + 1 < width ? x + 1 : width - 1;
                const Neighbourhood n = {grader.above[left], grader.above[x], grader.above[right],
                                         grader.row[left],   pixel,           grader.row[right],
                                         grader.below[left], grader.below[x], grader.below[right]};
                onGradedPixel(n, grades, OutputBlock{topLeft, static_cast<std::int32_t>(targetWidth)});
            }
        }
    }
}

} // namespace tessera::baseline
