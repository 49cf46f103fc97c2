// The blend decision for a whole row of a strip, one turn at a time, and the patterns
// it chooses applied block by block.
#pragma once

#include "blend_decision.h"
#include "output_block.h"
#include "patterns_scale2.h"
#include "patterns_scale3.h"
#include "patterns_scale4.h"
#include "patterns_scale5.h"
#include "strip_window.h"

#include <algorithm>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {

// What the four turns decide for each pixel of a strip's row: the pattern, and the colour
// it blends in, taken from the window while the decision has it at hand.
struct RowDecisions {
    std::uint32_t pattern[4][stripColumns];
    Pixel colour[4][stripColumns];
    // The stretches that hold a graded pixel; only those are decided.
    std::uint32_t gradedStretches = 0;
};

// Decides every turn of the `columns` pixels of the window's row whose grade bytes are
// `grades`. Built for each instruction set of vector_clones.h.
template <typename Colours>
void decideRow(StripWindow<Colours>& window, const std::uint32_t* grades, int columns,
               const ScaleSettings& settings, RowDecisions& out);

// Blends the patterns the turns decided into the blocks of a strip's row, whose blocks
// are filled: turn by turn, for the block's later turns build on what its earlier ones
// left, and within a turn pattern kind by pattern kind. Blocks do not share cells, so
// this order gives each block exactly what its own turns in order give it, and each
// kind's blocks go through one straight run of the kind's steps. `graded` lists the
// pixels whose grade byte is not 0, the only ones a turn can give a pattern.
template <typename Colours, int Factor, QuarterTurn Turn>
inline void applyTurn(const RowDecisions& decisions, const std::uint16_t* graded, int gradedCount,
                      Pixel* blockRow, std::int32_t stride) {
    // The pixels the turn gives a pattern, then those of each kind, gathered without a
    // branch (whether a graded pixel gets a pattern is as good as random): each is
    // written at the end of its list, which grows only when it belongs there.
    std::uint16_t patterned[stripColumns + 1];
    int patternedCount = 0;
    for (int i = 0; i < gradedCount; ++i) {
        const int x = graded[i];
        patterned[patternedCount] = static_cast<std::uint16_t>(x);
        patternedCount += decisions.pattern[Turn][x] != noPattern;
    }
    std::uint16_t pixels[noPattern][stripColumns];
    int count[noPattern] = {};
    for (int i = 0; i < patternedCount; ++i) {
        const int x = patterned[i];
        const std::uint32_t kind = decisions.pattern[Turn][x];
        pixels[kind][count[kind]++] = static_cast<std::uint16_t>(x);
    }
    const auto apply = [&]<PatternKind Kind>() {
        const auto k = static_cast<std::uint32_t>(Kind);
        for (int i = 0; i < count[k]; ++i) {
            const int x = pixels[k][i];
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
inline void applyDecisions(const RowDecisions& decisions, const std::uint32_t* grades, int columns,
                           Pixel* blockRow, std::int32_t stride) {
    if (decisions.gradedStretches == 0)
        return;
    std::uint16_t graded[stripColumns + 1];
    int gradedCount = 0;
    forEachRun(decisions.gradedStretches, [&](int begin, int end) {
        for (int x = begin * pairStretch; x < std::min(end * pairStretch, columns); ++x) {
            graded[gradedCount] = static_cast<std::uint16_t>(x);
            gradedCount += grades[x] != 0;
        }
    });
    applyTurn<Colours, Factor, BottomRight>(decisions, graded, gradedCount, blockRow, stride);
    applyTurn<Colours, Factor, TopRight>(decisions, graded, gradedCount, blockRow, stride);
    applyTurn<Colours, Factor, TopLeft>(decisions, graded, gradedCount, blockRow, stride);
    applyTurn<Colours, Factor, BottomLeft>(decisions, graded, gradedCount, blockRow, stride);
}

} // namespace tessera
