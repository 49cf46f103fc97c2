// The loops of pair_distances.h, built for the baseline (two doubles per SSE2 register)
// and for AVX2 and AVX-512 (four and eight per register), see vector_clones.h.
#include "pair_distances.h"

#include "colour_rules.h"
#include "vector_clones.h"

namespace tessera {
namespace {

// Pairs of the same pixel are 0 apart, and in flat areas (backgrounds, the insides of
// shapes) whole stretches of pairs are: those skip the arithmetic. The others are
// measured a stretch at a time, unrolled into vector operations, in the opaque mode where
// their colours allow it (measuresAsOpaque), else in their own.
template <typename Colours>
[[gnu::always_inline]] inline void measureLoop(const Pixel* first, const Pixel* second, int count,
                                               double lumaWeight, double* out) {
    const auto measure = [&]<typename Mode>(int from, int to) __attribute__((always_inline)) {
        for (int i = from; i < to; ++i)
            out[i] = Mode::fromSquare(first[i], second[i], colourSquare(first[i], second[i], lumaWeight));
    };
    const auto same = [&](int at) {
        return Colours::samePixels(loadPixels(first + at), loadPixels(second + at));
    };
    constexpr int stretch = 8;
    int i = 0;
    for (; i + stretch <= count; i += stretch) {
        if (noneSet(~(same(i) & same(i + 4)))) {
            for (int k = 0; k < stretch; ++k)
                out[i + k] = 0.0;
            continue;
        }
        if (Colours::measuresAsOpaque(first + i, second + i))
            measure.template operator()<OpaqueColours>(i, i + stretch);
        else
            measure.template operator()<Colours>(i, i + stretch);
    }
    measure.template operator()<Colours>(i, count);
}

TESSERA_VECTOR_CLONES void measureOpaque(const Pixel* first, const Pixel* second, int count,
                                         double lumaWeight, double* out) {
    measureLoop<OpaqueColours>(first, second, count, lumaWeight, out);
}

TESSERA_VECTOR_CLONES void measureAlpha(const Pixel* first, const Pixel* second, int count, double lumaWeight,
                                        double* out) {
    measureLoop<AlphaColours>(first, second, count, lumaWeight, out);
}

} // namespace

template <>
void measurePairs<OpaqueColours>(const Pixel* first, const Pixel* second, int count, double lumaWeight,
                                 double* out) {
    measureOpaque(first, second, count, lumaWeight, out);
}

template <>
void measurePairs<AlphaColours>(const Pixel* first, const Pixel* second, int count, double lumaWeight,
                                double* out) {
    measureAlpha(first, second, count, lumaWeight, out);
}

} // namespace tessera
