// The blend decision for a whole row of a strip, one turn at a time, and the patterns
// it chooses applied block by block.
#pragma once

#include "blend_decision.h"
#include "output_block.h"
#include "pass_namespace.h"
#include "patterns_scale2.h"
#include "patterns_scale3.h"
#include "patterns_scale4.h"
#include "patterns_scale5.h"
#include "position_lists.h"
#include "strip_window.h"

#include <cstddef>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// What the four turns decide for each pixel of a strip's row: the pattern (kept here only
// where whole stretches are decided, row_decision.cpp), and the colour it blends in, taken
// from the window while the decision has it at hand; and for each
// turn the pixels it gives a pattern, kind by kind in the order of PatternKind, each
// kind's from the left: kind k's end at kindEnds[turn][k], and begin where kind k - 1's
// end (kind 0's at 0).
struct RowDecisions {
    std::uint32_t pattern[4][stripColumns];
    Pixel colour[4][stripColumns];
    std::uint16_t patterned[4][positionListSize];
    int kindEnds[4][noPattern];
};

// Decides every turn of the `columns` pixels of the window's row whose grade bytes are
// `grades`.
template <typename Colours>
void decideRow(StripWindow<Colours>& window, const std::uint32_t* grades, int columns,
               const ScaleSettings& settings, RowDecisions& out);

// Blends the patterns the turns decided into the blocks of a strip's row, whose blocks
// are filled: turn by turn, for the block's later turns build on what its earlier ones
// left, and within a turn pattern kind by pattern kind. Blocks do not share cells, so
// this order gives each block exactly what its own turns in order give it, and each
// kind's blocks go through one straight run of the kind's steps.
template <typename Colours, int Factor, QuarterTurn Turn>
inline void applyTurn(const RowDecisions& decisions, Pixel* blockRow, std::int32_t stride) {
    const auto apply = [&]<PatternKind Kind>() {
        const auto k = static_cast<int>(Kind);
        for (int i = k == 0 ? 0 : decisions.kindEnds[Turn][k - 1]; i < decisions.kindEnds[Turn][k]; ++i) {
            const int x = decisions.patterned[Turn][i];
            applyPattern<Colours, Factor, Turn, Kind>(
                decisions.colour[Turn][x],
                OutputBlock{blockRow + static_cast<std::ptrdiff_t>(x) * Factor, stride});
        }
    };
    apply.template operator()<PatternKind::BothSlopes>();
    apply.template operator()<PatternKind::ShallowSlope>();
    apply.template operator()<PatternKind::SteepSlope>();
    apply.template operator()<PatternKind::Diagonal>();
    apply.template operator()<PatternKind::Corner>();
}

template <typename Colours, int Factor>
inline void applyDecisions(const RowDecisions& decisions, Pixel* blockRow, std::int32_t stride) {
    applyTurn<Colours, Factor, BottomRight>(decisions, blockRow, stride);
    applyTurn<Colours, Factor, TopRight>(decisions, blockRow, stride);
    applyTurn<Colours, Factor, TopLeft>(decisions, blockRow, stride);
    applyTurn<Colours, Factor, BottomLeft>(decisions, blockRow, stride);
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
