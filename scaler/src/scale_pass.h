// The scaling pass: one walk over the source, strip by strip and within a strip row by
// row from the top (a sheet's rows of cells one after another), that grades the corners
// along each row, fills each pixel's block and, when any corner of the pixel is graded,
// blends the corners' patterns into it.
//
// The words the pass's sources use:
//   word     a Pixel as one 32-bit value; pixels are the same when their words are equal
//            (in the alpha mode, also when both are transparent)
//   strip    up to stripColumns positions, enlarged from the top row down before the
//            pass moves right, so that its working area stays small: a run of source
//            columns, or the runs of several narrow cells side by side (strip_window.h)
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
#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// The blocks of a strip's row, composed here when the target is streamed or the strip
// holds more than one run.
template <int Factor>
struct Staging {
    static constexpr int stride = stripColumns * Factor;
    Pixel pixels[Factor * stride];
};

// Enlarges the strip's rows [firstRow, lastRow) of the image (or of a row of cells) into its
// target, where the blocks of its row y start at row y + targetRow of blocks (targetRow is
// negative for cells that start above a target of a band's rows alone).
template <typename Colours, int Factor>
void enlargeStrip(const ImageView& image, const Strip& strip, Pixel* target, std::int32_t targetRow,
                  std::ptrdiff_t targetStride, std::int32_t firstRow, std::int32_t lastRow, bool streaming,
                  const ScaleSettings& settings, Staging<Factor>& staging) {
    // A band that starts below row 0 first grades the row above it, for the top fields
    // its first row inherits, and writes nothing there; so does the first row of an image
    // with wrap-around edges, whose row above is its last.
    const std::int32_t gradedFrom = firstRow > 0 || image.edges == EdgeMode::Wrap ? firstRow - 1 : 0;
    const int columns = strip.columns;
    const bool composed = streaming || strip.runCount > 1;
    // The top fields each position inherits from the row above.
    std::uint8_t workingRow[stripColumns] = {};
    StripWindow<Colours> window(image, strip, gradedFrom, settings.lumaWeight);
    for (std::int32_t y = gradedFrom; y < lastRow; ++y) {
        if (y > gradedFrom)
            window.advance();
        std::uint32_t grades[stripColumns];
        gradeRow(window, columns, settings.dominantRatio, workingRow, grades);
        if (y < firstRow)
            continue;
        RowDecisions decisions;
        decideRow(window, grades, columns, settings, decisions);

        const Pixel* pixels = window.words(1) + stripMargin;
        // The strip's part of the row of blocks: written in place, or composed in the
        // staging area and then copied (or streamed) to the target.
        Pixel* targetBlocks = target + static_cast<std::ptrdiff_t>(y + targetRow) * Factor * targetStride +
                              static_cast<std::ptrdiff_t>(strip.runs[0].first) * Factor;
        const int targetCount = (strip.end - strip.runs[0].first) * Factor;
        Pixel* blocks = composed ? staging.pixels : targetBlocks;
        const auto stride = static_cast<std::int32_t>(composed ? staging.stride : targetStride);
        if (!streaming && y + 1 < lastRow)
            prefetchForWriting(targetBlocks + Factor * targetStride, targetCount, targetStride, Factor);
        fillBlocks<Colours, Factor>(pixels, columns, blocks, stride);
        applyDecisions<Colours, Factor>(decisions, blocks, stride);
        if (!composed)
            continue;
        // The runs' blocks lie side by side in the target: the gaps their margins leave in
        // the staging rows are closed first, so that each row goes out in one piece, with
        // partial cache lines at its ends only.
        for (int r = 0; r < Factor; ++r) {
            Pixel* row = staging.pixels + r * staging.stride;
            for (int k = 1; k < strip.runCount; ++k) {
                const StripRun& run = strip.runs[k];
                std::copy_n(row + run.at * Factor, run.count * Factor,
                            row + (run.first - strip.runs[0].first) * Factor);
            }
            if (streaming)
                streamPixels(row, targetCount, targetBlocks + r * targetStride);
            else
                std::copy_n(row, targetCount, targetBlocks + r * targetStride);
        }
    }
}

// Enlarges rows [firstRow, lastRow) of the image into the target, strip by strip and, within
// a strip, row of cells by row of cells; the caller has checked that the range is not empty
// and the width positive.
template <typename Colours, int Factor>
void scalePass(const Enlargement& enlargement, const ScaleSettings& settings) {
    const ImageView& image = enlargement.source;
    const std::int32_t firstRow = enlargement.firstRow, lastRow = enlargement.lastRow;
    const std::int32_t cellHeight = enlargement.cellHeight;
    Staging<Factor> staging;
    for (std::int32_t firstColumn = 0; firstColumn < image.width;) {
        const Strip strip = stripFrom(firstColumn, image.width, enlargement.cellWidth);
        firstColumn = strip.end;
        for (std::int32_t top = firstRow / cellHeight * cellHeight; top < lastRow; top += cellHeight) {
            const ImageView cells{image.pixels + static_cast<std::ptrdiff_t>(top) * image.stride,
                                  image.stride, image.width, std::min(cellHeight, image.height - top),
                                  image.edges};
            enlargeStrip<Colours, Factor>(cells, strip, enlargement.target, top - enlargement.targetRow,
                                          enlargement.targetStride, std::max(firstRow - top, 0),
                                          std::min(lastRow - top, cells.height), enlargement.streamed,
                                          settings, staging);
        }
    }
    if (enlargement.streamed)
        finishStreaming();
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
