// The lists of position_lists.h: position by position in every build, and sixteen
// positions at a time in the build for AVX-512.
//
// Both ways list in the same two steps. The positions whose code is listed at all are
// taken first, with their codes, stretch by stretch (the most common code, no pattern,
// is listed nowhere); each code's list is then taken from those.
#include "position_lists.h"

#include <algorithm>
#include <bit>

#if defined(__AVX512F__)
#include <immintrin.h>
#endif

namespace tessera::inline TESSERA_PASS_NAMESPACE {
namespace {

// The stretches of the mask that begin below `count`, from the left, each as its first
// position.
struct Stretches {
    std::uint32_t rest;
    int count;

    bool next(int& from) {
        if (rest == 0)
            return false;
        from = std::countr_zero(rest) * pairStretch;
        rest &= rest - 1;
        return from < count;
    }
};

} // namespace

// Position by position, each written at the end of its list, which grows only when the
// position belongs there: no branch, for whether a position belongs is as good as random.
void listByCodeOneByOne(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                        int kinds, std::uint16_t (&lists)[4][positionListSize], int* ends) {
    for (int r = 0; r < 4; ++r) {
        std::uint32_t listedCodes[stripColumns];
        std::uint16_t listedPositions[stripColumns];
        int listed = 0, from = 0;
        for (Stretches walk{stretches, count}; walk.next(from);)
            for (int x = from; x < std::min(from + pairStretch, count); ++x) {
                listedCodes[listed] = codes[r][x];
                listedPositions[listed] = static_cast<std::uint16_t>(x);
                listed += codes[r][x] < static_cast<std::uint32_t>(kinds);
            }
        int length = 0;
        for (int k = 0; k < kinds; ++k) {
            for (int i = 0; i < listed; ++i) {
                lists[r][length] = listedPositions[i];
                length += listedCodes[i] == static_cast<std::uint32_t>(k);
            }
            ends[r * kinds + k] = length;
        }
    }
}

void listAboveOneByOne(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                       std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize],
                       int (&counts)[4]) {
    for (int r = 0; r < 4; ++r) {
        int length = 0, from = 0;
        for (Stretches walk{stretches, count}; walk.next(from);)
            for (int x = from; x < std::min(from + pairStretch, count); ++x) {
                lists[r][length] = static_cast<std::uint16_t>(x);
                length += codes[r][x] > threshold;
            }
        counts[r] = length;
    }
}

#if defined(__AVX512F__)
namespace {

// Sixteen codes are one vector, compared at once into a mask of lanes; the values of the
// chosen lanes are packed to the front of a vector, in order, and the whole vector is
// stored at the end of the list, which grows by the number of chosen lanes. The lanes
// stored past that end are overwritten by the next store or never read (hence the room
// for one stretch more in positionListSize). Lanes at or past `count` are neither loaded
// nor chosen.
static_assert(pairStretch == 16);

[[gnu::always_inline]] inline __mmask16 lanesBelow(int count, int from) {
    return static_cast<__mmask16>((1u << (std::min(from + pairStretch, count) - from)) - 1u);
}

[[gnu::always_inline]] inline __m512i positionsFrom(int from) {
    return _mm512_add_epi32(_mm512_set1_epi32(from),
                            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

// Appends the chosen lanes of `values` (below 2^16) to a list of 16-bit positions.
[[gnu::always_inline]] inline int append(__mmask16 chosen, __m512i values, std::uint16_t* list, int length) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + length),
                        _mm512_maskz_cvtepi32_epi16(0xFFFF, _mm512_maskz_compress_epi32(chosen, values)));
    return length + std::popcount(static_cast<unsigned>(chosen));
}

void byCodePacked(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                  int kinds, std::uint16_t (&lists)[4][positionListSize], int* ends) {
    for (int r = 0; r < 4; ++r) {
        std::uint32_t listedCodes[positionListSize], listedPositions[positionListSize];
        int listed = 0, from = 0;
        for (Stretches walk{stretches, count}; walk.next(from);) {
            const __mmask16 lanes = lanesBelow(count, from);
            const __m512i loaded = _mm512_maskz_loadu_epi32(lanes, codes[r] + from);
            const __mmask16 chosen = _mm512_mask_cmplt_epu32_mask(lanes, loaded, _mm512_set1_epi32(kinds));
            _mm512_storeu_si512(listedCodes + listed, _mm512_maskz_compress_epi32(chosen, loaded));
            _mm512_storeu_si512(listedPositions + listed,
                                _mm512_maskz_compress_epi32(chosen, positionsFrom(from)));
            listed += std::popcount(static_cast<unsigned>(chosen));
        }
        int length = 0;
        for (int k = 0; k < kinds; ++k) {
            for (int i = 0; i < listed; i += pairStretch) {
                const __mmask16 lanes = lanesBelow(listed, i);
                const __m512i loaded = _mm512_maskz_loadu_epi32(lanes, listedCodes + i);
                const __mmask16 chosen = _mm512_mask_cmpeq_epu32_mask(lanes, loaded, _mm512_set1_epi32(k));
                length =
                    append(chosen, _mm512_maskz_loadu_epi32(lanes, listedPositions + i), lists[r], length);
            }
            ends[r * kinds + k] = length;
        }
    }
}

void abovePacked(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                 std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize], int (&counts)[4]) {
    for (int r = 0; r < 4; ++r) {
        int length = 0, from = 0;
        for (Stretches walk{stretches, count}; walk.next(from);) {
            const __mmask16 lanes = lanesBelow(count, from);
            const __m512i loaded = _mm512_maskz_loadu_epi32(lanes, codes[r] + from);
            const __mmask16 chosen =
                _mm512_mask_cmpgt_epu32_mask(lanes, loaded, _mm512_set1_epi32(static_cast<int>(threshold)));
            length = append(chosen, positionsFrom(from), lists[r], length);
        }
        counts[r] = length;
    }
}

} // namespace
#endif

// The build for AVX-512 packs; the others list position by position.
void listByCode(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count, int kinds,
                std::uint16_t (&lists)[4][positionListSize], int* ends) {
#if defined(__AVX512F__)
    byCodePacked(codes, stretches, count, kinds, lists, ends);
#else
    listByCodeOneByOne(codes, stretches, count, kinds, lists, ends);
#endif
}

void listAbove(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
               std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize], int (&counts)[4]) {
#if defined(__AVX512F__)
    abovePacked(codes, stretches, count, threshold, lists, counts);
#else
    listAboveOneByOne(codes, stretches, count, threshold, lists, counts);
#endif
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
