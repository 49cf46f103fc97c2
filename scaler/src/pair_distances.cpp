// The loops of pair_distances.h, built with the rest of the pass for each instruction set
// (dispatch.h): two doubles per register in the x86-64 baseline, four with AVX2, eight
// with AVX-512, two with WebAssembly SIMD, where the opaque measure is written out.
#include "pair_distances.h"

#include "colour_rules.h"

#include <type_traits>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace tessera::inline TESSERA_PASS_NAMESPACE {
namespace {

#if defined(__wasm_simd128__)
// Two doubles in one register, for colourSquareOf.
struct Doubles {
    v128_t lanes;
};
inline Doubles operator+(Doubles a, Doubles b) {
    return {wasm_f64x2_add(a.lanes, b.lanes)};
}
inline Doubles operator-(Doubles a, Doubles b) {
    return {wasm_f64x2_sub(a.lanes, b.lanes)};
}
inline Doubles operator*(Doubles a, Doubles b) {
    return {wasm_f64x2_mul(a.lanes, b.lanes)};
}
inline Doubles operator*(Doubles a, double b) {
    return {wasm_f64x2_mul(a.lanes, wasm_f64x2_splat(b))};
}

// The opaque measure of four pairs. The compiler vectorises the loop two pairs at a time,
// taking the channels of two words and widening the comparison of two; here the channels
// and the comparison are taken for four words at once, and only the doubles go in pairs.
[[gnu::always_inline]] inline void measureFourOpaque(const Pixel* first, const Pixel* second,
                                                     double lumaWeight, double* out) {
    const v128_t a = wasm_v128_load(first), b = wasm_v128_load(second);
    const v128_t byte = wasm_i32x4_splat(0xFF);
    const auto difference = [&](int shift) {
        return wasm_i32x4_sub(wasm_v128_and(wasm_u32x4_shr(a, shift), byte),
                              wasm_v128_and(wasm_u32x4_shr(b, shift), byte));
    };
    const v128_t red = difference(16), green = difference(8), blue = difference(0);
    const v128_t equal = wasm_i32x4_eq(a, b);
    const auto measureTwo = [&](v128_t r, v128_t g, v128_t bl, v128_t same, double* to) {
        const Doubles square =
            colourSquareOf<Doubles>({wasm_f64x2_convert_low_i32x4(r)}, {wasm_f64x2_convert_low_i32x4(g)},
                                    {wasm_f64x2_convert_low_i32x4(bl)}, lumaWeight);
        // Equal words are 0 apart: select(a == b, 0.0, distance) as in colourDistance.
        wasm_v128_store(to, wasm_v128_andnot(wasm_f64x2_sqrt(square.lanes), same));
    };
    measureTwo(red, green, blue, wasm_i64x2_extend_low_i32x4(equal), out);
    measureTwo(wasm_i32x4_shuffle(red, red, 2, 3, 2, 3), wasm_i32x4_shuffle(green, green, 2, 3, 2, 3),
               wasm_i32x4_shuffle(blue, blue, 2, 3, 2, 3), wasm_i64x2_extend_high_i32x4(equal), out + 2);
}
#endif

// A stretch at a time, unrolled into vector operations, in the opaque mode where the
// stretch's colours allow it (measuresAsOpaque), else in their own. Stretches of equal
// pixels are measured too: the callers already leave out flat areas, and a test for the
// few left would cost more in mispredicted branches than the arithmetic it saves.
template <typename Colours>
[[gnu::always_inline]] inline void measureLoop(const Pixel* first, const Pixel* second, int count,
                                               double lumaWeight, double* out) {
    const auto measure = [&]<typename Mode>(int from, int to) __attribute__((always_inline)) {
        for (int i = from; i < to; ++i)
            out[i] = Mode::fromSquare(first[i], second[i], colourSquare(first[i], second[i], lumaWeight));
    };
    // As long as a stretch of the window, so that its runs of stretches leave no tail.
    constexpr int stretch = 16;
    int i = 0;
    for (; i + stretch <= count; i += stretch) {
        if (Colours::template measuresAsOpaque<stretch>(first + i, second + i)) {
#if defined(__wasm_simd128__)
            for (int k = i; k < i + stretch; k += 4)
                measureFourOpaque(first + k, second + k, lumaWeight, out + k);
#else
            measure.template operator()<OpaqueColours>(i, i + stretch);
#endif
        } else
            measure.template operator()<Colours>(i, i + stretch);
    }
#if defined(__wasm_simd128__)
    if constexpr (std::is_same_v<Colours, OpaqueColours>)
        for (; i + 4 <= count; i += 4)
            measureFourOpaque(first + i, second + i, lumaWeight, out + i);
#endif
    measure.template operator()<Colours>(i, count);
}

} // namespace

template <typename Colours>
void measurePairs(const Pixel* first, const Pixel* second, int count, double lumaWeight, double* out) {
    measureLoop<Colours>(first, second, count, lumaWeight, out);
}

template void measurePairs<OpaqueColours>(const Pixel*, const Pixel*, int, double, double*);
template void measurePairs<AlphaColours>(const Pixel*, const Pixel*, int, double, double*);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
