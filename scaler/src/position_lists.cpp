// The lists of position_lists.h: position by position in every build, sixteen
// positions at a time in the build for AVX-512 and eight in the one for WebAssembly SIMD.
//
// Both ways list in the same two steps. The positions whose code is listed at all are
// taken first, with their codes, stretch by stretch (the most common code, no pattern,
// is listed nowhere); each code's list is then taken from those.
#include "position_lists.h"

#include <algorithm>
#include <bit>

#if defined(__AVX512F__)
#include <immintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
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
#elif defined(__wasm_simd128__)
namespace {

// WebAssembly has no instruction that packs the chosen lanes of a vector, so eight 16-bit
// lanes at a time are packed by a byte shuffle looked up by their mask of chosen lanes. As
// in the AVX-512 build, the whole vector is stored at the end of the list, which grows by
// the number of chosen lanes; lanes at or past the end of what is read are never chosen.
struct PackingShuffles {
    std::uint8_t bytes[256][16];
};

constexpr PackingShuffles packingShuffles() {
    PackingShuffles shuffles{};
    for (int chosen = 0; chosen < 256; ++chosen) {
        int packed = 0;
        for (int lane = 0; lane < 8; ++lane)
            if ((chosen >> lane & 1) != 0) {
                shuffles.bytes[chosen][2 * packed] = static_cast<std::uint8_t>(2 * lane);
                shuffles.bytes[chosen][2 * packed + 1] = static_cast<std::uint8_t>(2 * lane + 1);
                ++packed;
            }
    }
    return shuffles;
}

alignas(16) constexpr PackingShuffles shuffles = packingShuffles();

// The lanes below `count` of eight from `from`.
[[gnu::always_inline]] inline unsigned lanesBelow(int count, int from) {
    const int lanes = std::clamp(count - from, 0, 8);
    return (1u << lanes) - 1u;
}

[[gnu::always_inline]] inline v128_t positionsFrom(int from) {
    return wasm_i16x8_add(wasm_i16x8_splat(static_cast<std::int16_t>(from)),
                          wasm_i16x8_make(0, 1, 2, 3, 4, 5, 6, 7));
}

// Appends the chosen lanes of `values` to a list of 16-bit values.
[[gnu::always_inline]] inline int append(unsigned chosen, v128_t values, std::uint16_t* list, int length) {
    wasm_v128_store(list + length, wasm_i8x16_swizzle(values, wasm_v128_load(shuffles.bytes[chosen])));
    return length + std::popcount(chosen);
}

// Eight codes, with the mask of those a comparison chooses, and as 16-bit lanes, exact in
// the chosen lanes, whose codes are small (the others are never read).
template <typename Compare>
[[gnu::always_inline]] inline unsigned choose(const std::uint32_t* codes, Compare compare, v128_t& narrowed) {
    const v128_t low = wasm_v128_load(codes), high = wasm_v128_load(codes + 4);
    narrowed = wasm_u16x8_narrow_i32x4(low, high);
    return wasm_i16x8_bitmask(wasm_i16x8_narrow_i32x4(compare(low), compare(high)));
}

} // namespace

void sortByCode(const std::uint16_t* codes, const std::uint16_t* positions, int count, int kinds,
                std::uint16_t* list, int* ends) {
    int length = 0;
    for (int k = 0; k < kinds; ++k) {
        const v128_t code = wasm_i16x8_splat(static_cast<std::int16_t>(k));
        for (int i = 0; i < count; i += 8) {
            const unsigned chosen =
                wasm_i16x8_bitmask(wasm_i16x8_eq(wasm_v128_load(codes + i), code)) & lanesBelow(count, i);
            length = append(chosen, wasm_v128_load(positions + i), list, length);
        }
        ends[k] = length;
    }
}

namespace {

void byCodePacked(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                  int kinds, std::uint16_t (&lists)[4][positionListSize], int* ends) {
    const v128_t kindCount = wasm_u32x4_splat(static_cast<std::uint32_t>(kinds));
    const auto listed = [&](v128_t code) {
        return wasm_u32x4_lt(code, kindCount);
    };
    for (int r = 0; r < 4; ++r) {
        std::uint16_t listedCodes[positionListSize], listedPositions[positionListSize];
        int listedCount = 0, from = 0;
        for (Stretches walk{stretches, count}; walk.next(from);)
            for (int half = from; half < from + pairStretch; half += 8) {
                v128_t narrowed;
                const unsigned chosen = choose(codes[r] + half, listed, narrowed) & lanesBelow(count, half);
                append(chosen, narrowed, listedCodes, listedCount);
                listedCount = append(chosen, positionsFrom(half), listedPositions, listedCount);
            }
        sortByCode(listedCodes, listedPositions, listedCount, kinds, lists[r], ends + r * kinds);
    }
}

void abovePacked(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
                 std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize], int (&counts)[4]) {
    const v128_t bound = wasm_u32x4_splat(threshold);
    const auto above = [&](v128_t code) {
        return wasm_u32x4_gt(code, bound);
    };
    for (int r = 0; r < 4; ++r) {
        int length = 0, from = 0;
        for (Stretches walk{stretches, count}; walk.next(from);)
            for (int half = from; half < from + pairStretch; half += 8) {
                v128_t narrowed;
                const unsigned chosen = choose(codes[r] + half, above, narrowed) & lanesBelow(count, half);
                length = append(chosen, positionsFrom(half), lists[r], length);
            }
        counts[r] = length;
    }
}

} // namespace
#endif

// The builds for AVX-512 and WebAssembly SIMD pack; the others list position by position.
void listByCode(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count, int kinds,
                std::uint16_t (&lists)[4][positionListSize], int* ends) {
#if defined(__AVX512F__) || defined(__wasm_simd128__)
    byCodePacked(codes, stretches, count, kinds, lists, ends);
#else
    listByCodeOneByOne(codes, stretches, count, kinds, lists, ends);
#endif
}

void listAbove(const std::uint32_t (&codes)[4][stripColumns], std::uint32_t stretches, int count,
               std::uint32_t threshold, std::uint16_t (&lists)[4][positionListSize], int (&counts)[4]) {
#if defined(__AVX512F__) || defined(__wasm_simd128__)
    abovePacked(codes, stretches, count, threshold, lists, counts);
#else
    listAboveOneByOne(codes, stretches, count, threshold, lists, counts);
#endif
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
