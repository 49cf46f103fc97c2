// The scaling pass: one walk over the source, strip by strip and within a strip row by
// row from the top, that grades the corners along each row, fills each pixel's block
// and, when any corner of the pixel is graded, blends the corners' patterns into it.
//
// The words the pass's sources use:
//   word     a Pixel as one 32-bit value; pixels are the same when their words are equal
//            (in the alpha mode, also when both are transparent)
//   strip    up to stripColumns source columns, enlarged from the top row down before
//            the pass moves right, so that its working area stays small (strip_window.h)
//   stretch  sixteen neighbouring columns of a strip; sets of stretches are bit masks, and
//            the loops skip the stretches where nothing can happen
//   turn     one of a pixel's four corners, seen through the quarter turn that brings it
//            to the bottom-right, where every corner rule is written (quarter_turn.h)
//   kind     which of the factor's five patterns a turn blends in (PatternKind)
//   field    the two bits of a pixel's CornerGrades byte that hold one corner's grade
#pragma once

#include "enlargement.h"
#include "output_block.h"
#include "pass_namespace.h"
#include "row_decision.h"
#include "row_grader.h"
#include "strip_window.h"
#include "target_rows.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// Enlarges rows [firstRow, lastRow) of the image into the target; the caller has checked
// that the range is not empty and the width positive.
template <typename Colours, int Factor>
void scalePass(const Enlargement& enlargement, const ScaleSettings& settings) {
    const ImageView& image = enlargement.source;
    const std::int32_t width = image.width, firstRow = enlargement.firstRow, lastRow = enlargement.lastRow;
    const std::ptrdiff_t targetStride = enlargement.targetStride;

    // The working grade row borrows the last bytes of the last target row this call
    // writes. Byte x lies in the block of a source column at or right of x, and the
    // strips go from left to right, so the blocks of the last source row overwrite each
    // byte only once it has been read for the last time.
    auto* workingRow =
        reinterpret_cast<std::uint8_t*>(enlargement.target +
                                        (static_cast<std::ptrdiff_t>(lastRow) * Factor - 1) * targetStride +
                                        static_cast<std::ptrdiff_t>(width) * Factor) -
        width;
    std::memset(workingRow, 0, static_cast<std::size_t>(width));

    // A band that starts below row 0 first grades the row above it, for the top fields
    // its first row inherits, and writes nothing there; so does the first row of an image
    // with wrap-around edges, whose row above is its last.
    const std::int32_t gradedFrom = firstRow > 0 || image.edges == EdgeMode::Wrap ? firstRow - 1 : 0;
    // The blocks of a strip's row, composed here when the target is streamed.
    const bool streaming = enlargement.streamed;
    constexpr int stagingStride = stripColumns * Factor;
    Pixel staging[Factor * stagingStride];
    for (std::int32_t firstColumn = 0; firstColumn < width; firstColumn += stripColumns) {
        const int columns = std::min(stripColumns, width - firstColumn);
        StripWindow<Colours> window(image, firstColumn, columns, gradedFrom, settings.lumaWeight);
        for (std::int32_t y = gradedFrom; y < lastRow; ++y) {
            if (y > gradedFrom)
                window.advance();
            std::uint32_t grades[stripColumns];
            gradeRow(window, columns, settings.dominantRatio, workingRow + firstColumn, grades);
            if (y < firstRow)
                continue;
            RowDecisions decisions;
            decideRow(window, grades, columns, settings, decisions);

            const Pixel* pixels = window.words(1) + stripMargin;
            Pixel* blockRow = enlargement.target + static_cast<std::ptrdiff_t>(y) * Factor * targetStride +
                              static_cast<std::ptrdiff_t>(firstColumn) * Factor;
            Pixel* blocks = streaming ? staging : blockRow;
            const auto stride = static_cast<std::int32_t>(streaming ? stagingStride : targetStride);
            if (!streaming && y + 1 < lastRow)
                prefetchForWriting(blockRow + Factor * targetStride, columns * Factor, stride, Factor);
            fillBlocks<Colours, Factor>(pixels, columns, blocks, stride);
            applyDecisions<Colours, Factor>(decisions, blocks, stride);
            if (streaming)
                for (int r = 0; r < Factor; ++r)
                    streamPixels(staging + r * stagingStride, columns * Factor, blockRow + r * targetStride);
        }
    }
    if (streaming)
        finishStreaming();
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
