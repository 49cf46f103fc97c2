// Lists of the positions in rows of a strip that hold given codes, so that the loops
// after them visit only those positions, one straight run per code.
//
// Each row is scanned by stretches (strip_window.h), only those of the mask and only
// positions below `count`, and listed from the left. In the build for AVX-512, which can
// pack the chosen lanes of a vector, sixteen positions are listed in a few instructions,
// and eight in the one for WebAssembly SIMD, which packs them with a shuffle; in the others
// position by position, without a branch. All give the same lists.
#pragma once

#include "pass_namespace.h"
#include "strip_window.h"

#include <cstdint>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// Room for a row's positions and the lanes of one stretch written past the last.
constexpr int positionListSize = stripColumns + pairStretch;

// For each of the four rows codes[r]: lists[r] holds the positions whose code is 0,
// then those whose code is 1, and so on up to kinds - 1; ends[r * kinds + k] is where
// code k's positions end (code k's begin where code k - 1's end, code 0's at 0).
void listByCode(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count, int kinds,
                std::uint16_t (&lists)[4][positionListSize], int* ends);

// For each of the four rows codes[r]: lists[r] holds the positions whose code is above
// `threshold`, counts[r] how many.
void listAbove(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
               std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize], int (&counts)[4]);

#if defined(__wasm_simd128__)
// The `count` positions, whose codes are codes[i] (each below `kinds`, and the codes read
// in whole vectors of eight: room past `count` to the next multiple of eight), by code:
// list holds those of code 0, then those of code 1, and so on, each code's in the order
// given; ends[k] is where code k's end.
void sortByCode(const std::uint16_t* codes, const std::uint16_t* positions, int count, int kinds,
                std::uint16_t* list, int* ends);
#endif

// The same lists position by position, as the builds that do not pack make them.
void listByCodeOneByOne(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                        int kinds, std::uint16_t (&lists)[4][positionListSize], int* ends);
void listAboveOneByOne(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                       std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize],
                       int (&counts)[4]);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
