// The loops of pair_distances.h, built for the baseline (two doubles per SSE2 register)
// and for AVX2 and AVX-512 (four and eight per register), see vector_clones.h.
#include "pair_distances.h"

#include "colour_rules.h"
#include "vector_clones.h"

namespace tessera {
namespace {

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
        if (Colours::template measuresAsOpaque<stretch>(first + i, second + i))
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
