// What one call of the pass enlarges: an image, or a sheet of cells each enlarged as an image
// of its own, some of its rows, and where their blocks go.
//
// The pass reads the image only through its rows and columns, and the edge mode decides
// which ones a neighbour beyond a border reads: once per row the pass loads, and once per
// column it loads beyond a border, never per neighbour.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {

struct ImageView {
    const Pixel* pixels = nullptr; // its top-left pixel
    std::ptrdiff_t stride = 0;     // pixels from the start of one row to the next
    std::int32_t width = 0;
    std::int32_t height = 0;
    EdgeMode edges = EdgeMode::Clamp;
};

// The row or column that index i reads in an image `size` long: i itself inside, and
// beyond the borders the nearest one inside or the one as far in from the other border.
constexpr std::int32_t edgeIndex(EdgeMode edges, std::int32_t i, std::int32_t size) {
    return edges == EdgeMode::Wrap ? (i % size + size) % size : std::clamp(i, 0, size - 1);
}

struct Enlargement {
    ImageView source;
    // The image is a sheet of cells this wide and high from its top-left pixel (those at the
    // right and bottom smaller), each enlarged as an image of its own.
    std::int32_t cellWidth = 0;
    std::int32_t cellHeight = 0;
    Pixel* target = nullptr;         // the top-left cell of the block of pixel (0, targetRow)
    std::ptrdiff_t targetStride = 0; // target pixels from one row to the next
    std::int32_t firstRow = 0;       // rows [firstRow, lastRow) of the image, a range not empty
    std::int32_t lastRow = 0;
    bool streamed = false;      // whether the blocks go to the target by streaming stores (target_rows.h)
    std::int32_t targetRow = 0; // 0 for a target of the whole image, firstRow for one of the rows alone
};

} // namespace tessera
