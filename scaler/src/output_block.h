// Output blocks: one source pixel's S x S cells of the target, filled with the pixel
// and then softened by patterns under a quarter turn.
//
// A pattern is written once, for the bottom-right corner of the block (turn 0), as a
// constexpr list of steps in patterns_scaleN.h. applyPattern turns every step's cell at
// compile time, so each (factor, kind, turn) instance is a straight run of stores at
// constant offsets; nothing is looked up at run time.
#pragma once

#include "pass_namespace.h"
#include "quarter_turn.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <tessera/scaler.h>
#include <utility>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

struct OutputBlock {
    Pixel* topLeft = nullptr; // cell (0, 0)
    std::int32_t stride = 0;  // target row length in pixels
};

// The order is part of the decision (blend_decision.h): a line blend's kind is Diagonal
// less two for a shallow slope and one for a steep one, and Corner is the last kind.
enum class PatternKind : std::uint8_t { BothSlopes, ShallowSlope, SteepSlope, Diagonal, Corner };
static_assert(static_cast<int>(PatternKind::Diagonal) - 2 == static_cast<int>(PatternKind::ShallowSlope) &&
              static_cast<int>(PatternKind::Diagonal) - 1 == static_cast<int>(PatternKind::SteepSlope) &&
              static_cast<int>(PatternKind::Diagonal) - 3 == static_cast<int>(PatternKind::BothSlopes));

// One step of a pattern list: blend k/n of the colour into a cell, or set it when n is 0.
struct PatternStep {
    BlockCell cell;
    int k = 0;
    int n = 0;
};

constexpr PatternStep blend(int row, int column, int k, int n) {
    return {{row, column}, k, n};
}
constexpr PatternStep set(int row, int column) {
    return {{row, column}, 0, 0};
}

// The five pattern lists of one factor, each in the turn-0 frame; specialised in
// patterns_scaleN.h.
template <int Factor>
struct FactorPatterns;

// Fills the blocks of `count` pixels side by side, block x starting at topLeft + x * Factor
// in a target whose rows are `stride` pixels apart: each pixel's word repeated Factor times
// along the first row, in a loop that vectorises, and that row copied to the others.
template <typename Colours, int Factor>
inline void fillBlocks(const Pixel* pixels, int count, Pixel* topLeft, std::ptrdiff_t stride) {
    for (int x = 0; x < count; ++x) {
        const Pixel word = Colours::stored(pixels[x]);
        for (int c = 0; c < Factor; ++c)
            topLeft[x * Factor + c] = word;
    }
    for (int r = 1; r < Factor; ++r)
        std::copy_n(topLeft, count * Factor, topLeft + r * stride);
}

template <int Factor, QuarterTurn Turn, PatternStep Step>
inline Pixel* cellOf(const OutputBlock& block) {
    static_assert(Step.cell.row >= 0 && Step.cell.row < Factor && Step.cell.column >= 0 &&
                  Step.cell.column < Factor);
    constexpr BlockCell cell = turnedCell(Factor, Turn, Step.cell);
    return block.topLeft + static_cast<std::ptrdiff_t>(cell.row) * block.stride + cell.column;
}

template <typename Colours, int Factor, QuarterTurn Turn, PatternStep Step>
inline void applyStep(Pixel colour, const OutputBlock& block) {
    Pixel* target = cellOf<Factor, Turn, Step>(block);
    if constexpr (Step.n == 0)
        *target = Colours::stored(colour);
    else
        *target = Colours::template blend<Step.k, Step.n>(colour, *target);
}

template <typename Colours, int Factor, QuarterTurn Turn, const auto& Steps>
inline void applyEachStep(Pixel colour, const OutputBlock& block) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (applyStep<Colours, Factor, Turn, Steps[I]>(colour, block), ...);
    }
    (std::make_index_sequence<std::size(Steps)>{});
}

// Out of line: the pass's loops over the blocks stay as small as in the opaque mode.
template <typename Colours, int Factor, QuarterTurn Turn, const auto& Steps>
[[gnu::noinline]] void applyEachStepApart(Pixel colour, const OutputBlock& block) {
    applyEachStep<Colours, Factor, Turn, Steps>(colour, block);
}

// A mode with an AmongOpaque policy first tests whether the colour and every cell the
// pattern blends into are opaque, and if so applies the pattern in that policy: one test
// for the pattern instead of one for each of its blends.
template <typename Colours, int Factor, QuarterTurn Turn, const auto& Steps>
inline void applySteps(Pixel colour, const OutputBlock& block) {
    if constexpr (requires { typename Colours::AmongOpaque; }) {
        const Pixel common = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (colour & ... & (Steps[I].n == 0 ? ~Pixel{0} : *cellOf<Factor, Turn, Steps[I]>(block)));
        }
        (std::make_index_sequence<std::size(Steps)>{});
        if (common >> 24 == 0xFFu) [[likely]]
            applyEachStep<typename Colours::AmongOpaque, Factor, Turn, Steps>(colour, block);
        else
            applyEachStepApart<Colours, Factor, Turn, Steps>(colour, block);
    } else {
        applyEachStep<Colours, Factor, Turn, Steps>(colour, block);
    }
}

// Blends the factor's pattern of one kind into the block as the earlier patterns left it.
template <typename Colours, int Factor, QuarterTurn Turn, PatternKind Kind>
inline void applyPattern(Pixel colour, const OutputBlock& block) {
    using Patterns = FactorPatterns<Factor>;
    if constexpr (Kind == PatternKind::BothSlopes)
        applySteps<Colours, Factor, Turn, Patterns::bothSlopes>(colour, block);
    else if constexpr (Kind == PatternKind::ShallowSlope)
        applySteps<Colours, Factor, Turn, Patterns::shallowSlope>(colour, block);
    else if constexpr (Kind == PatternKind::SteepSlope)
        applySteps<Colours, Factor, Turn, Patterns::steepSlope>(colour, block);
    else if constexpr (Kind == PatternKind::Diagonal)
        applySteps<Colours, Factor, Turn, Patterns::diagonal>(colour, block);
    else
        applySteps<Colours, Factor, Turn, Patterns::corner>(colour, block);
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
