// The one choice of instruction set. The whole pass, every mode and factor, is built once
// for each set the library carries (scale_passes.cpp); each build fills a table of its
// entries, and the first call of an entry picks the table of the best set the processor
// has, for the whole pass. All builds make the same IEEE operations in the same order,
// lane by lane, without contraction into fused multiply-adds, so they give the same words.
#pragma once

#include "enlargement.h"
#include "position_lists.h"

#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {

// From the plainest. Baseline is the compiler's default for the target (in WebAssembly,
// without SIMD); AVX2 (four doubles per register) and x86-64-v4 (AVX-512: eight, and mask
// registers, with which the position lists pack sixteen positions at a time) are x86-64
// only, and WebAssembly SIMD (two doubles or four words per register) WebAssembly only.
enum class InstructionSet : int { Baseline, Avx2, Avx512, Simd128 };
constexpr int instructionSetCount = 4;
constexpr const char* instructionSetNames[instructionSetCount] = {"baseline", "avx2", "avx512", "simd128"};
static_assert(static_cast<int>(InstructionSet::Simd128) + 1 == instructionSetCount);

using Pass = void (*)(const Enlargement& enlargement, const ScaleSettings& settings);

// One build's entries: the pass by mode and factor (index factor - 2), for an enlargement
// whose image and rows the caller has checked; and its position lists (position_lists.h),
// which the tests compare with lists written out by hand.
struct PassTable {
    Pass opaque[4];
    Pass alpha[4];
    void (*listByCode)(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                       int kinds, std::uint16_t (&lists)[4][positionListSize], int* ends);
    void (*listAbove)(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                      std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize], int (&counts)[4]);
};

// Defined by the build for `Set`, where the library carries one.
template <InstructionSet Set>
const PassTable& passesBuiltFor();
template <>
const PassTable& passesBuiltFor<InstructionSet::Baseline>();
template <>
const PassTable& passesBuiltFor<InstructionSet::Avx2>();
template <>
const PassTable& passesBuiltFor<InstructionSet::Avx512>();
template <>
const PassTable& passesBuiltFor<InstructionSet::Simd128>();

// Whether the library carries a build for the set and the processor can run it.
bool canRun(InstructionSet set);

// The table the entries use: the best set that can run, chosen once, on first use.
const PassTable& activePasses();
InstructionSet activeInstructionSet();

// For the tests only, never set by the library: makes the entries use the set's build from
// now on, so that every path the processor has is checked. False, changing nothing, where
// the set cannot run. Not for concurrent use with the entries.
bool forceInstructionSet(InstructionSet set);

} // namespace tessera
