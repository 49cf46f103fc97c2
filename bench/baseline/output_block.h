// Output blocks: addressing one source pixel's S x S cells of the target under a
// quarter turn, and the exact integer blends that patterns write with.
//
// A pattern is written once, for the bottom-right corner of the block (turn 0),
// as a constexpr list of steps. applyPattern turns every step's cell at compile
// time, so each (factor, kind, turn) instance is a straight run of stores at
// constant offsets; nothing is looked up at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <output_block.h>
#include <tessera/scaler.h>
#include <utility>

namespace tessera::baseline {

struct OutputBlock {
    Pixel* topLeft = nullptr; // cell (0, 0)
    std::int32_t stride = 0;  // target row length in pixels
};

// The corner of the pixel that one pattern application serves. Each turn is the
// previous one rotated a quarter counter-clockwise on screen; the neighbourhood
// is read through the same numbering, so one number serves reads and writes.
enum QuarterTurn : int { BottomRight = 0, TopRight = 1, TopLeft = 2, BottomLeft = 3 };

enum class PatternKind : std::uint8_t { BothSlopes, ShallowSlope, SteepSlope, Diagonal, Corner };

struct BlockCell {
    int row = 0;
    int column = 0;
};

// Pattern cell (row, column) of the turn-0 frame as the block cell it reaches under
// the given turn: turn 1 maps (r, c) to (S - 1 - c, r), and turn t is t such steps.
constexpr BlockCell turnCell(int factor, int turn, BlockCell cell) {
    for (int i = 0; i < turn; ++i)
        cell = BlockCell{factor - 1 - cell.column, cell.row};
    return cell;
}

constexpr Pixel* blockCell(const OutputBlock& block, int factor, int turn, BlockCell cell) {
    const BlockCell turned = turnCell(factor, turn, cell);
    return block.topLeft + static_cast<std::ptrdiff_t>(turned.row) * block.stride + turned.column;
}

inline void setCell(Pixel* cell, Pixel colour) {
    *cell = colour;
}

// Each colour channel becomes floor((k * colour + (n - k) * current) / n) and the
// alpha byte becomes 0, marking the cell as blended. For n = 2, 4 and 8 the three
// channels are summed in one word at their own positions; masking off each sum's
// low log2(n) bits before the single shift keeps the channels from spilling into
// each other, so the result is the per-channel floor exactly.
template <int K, int N>
inline void blendCell(Pixel* cell, Pixel colour) {
    static_assert(0 < K && K < N);
    const Pixel current = *cell;
    if constexpr (N == 2 || N == 4 || N == 8) {
        constexpr int shift = N == 2 ? 1 : N == 4 ? 2 : 3;
        constexpr Pixel redMask = 0x00FF0000u, greenMask = 0x0000FF00u, blueMask = 0x000000FFu;
        const Pixel red = (colour & redMask) * K + (current & redMask) * (N - K);
        const Pixel green = (colour & greenMask) * K + (current & greenMask) * (N - K);
        const Pixel blue = (colour & blueMask) * K + (current & blueMask) * (N - K);
        *cell =
            ((red & (redMask << shift)) | (green & (greenMask << shift)) | (blue & (blueMask << shift))) >>
            shift;
    } else {
        const auto channel = [&](int position) {
            const Pixel mixed =
                (((colour >> position) & 0xFFu) * K + ((current >> position) & 0xFFu) * (N - K)) / N;
            return mixed << position;
        };
        *cell = channel(16) | channel(8) | channel(0);
    }
}

// The pattern lists are the library's own (tessera::PatternStep, tessera::FactorPatterns).
using tessera::FactorPatterns;
using tessera::PatternStep;

template <int Factor, int Turn, PatternStep Step>
inline void applyStep(Pixel colour, const OutputBlock& block) {
    static_assert(Step.cell.row >= 0 && Step.cell.row < Factor && Step.cell.column >= 0 &&
                  Step.cell.column < Factor);
    Pixel* cell = blockCell(block, Factor, Turn, BlockCell{Step.cell.row, Step.cell.column});
    if constexpr (Step.n == 0)
        setCell(cell, colour);
    else
        blendCell<Step.k, Step.n>(cell, colour);
}

template <int Factor, int Turn, const auto& Steps>
inline void applySteps(Pixel colour, const OutputBlock& block) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (applyStep<Factor, Turn, Steps[I]>(colour, block), ...);
    }
    (std::make_index_sequence<std::size(Steps)>{});
}

} // namespace tessera::baseline
