// The loops of pair_distances.h, built with the rest of the pass for each instruction set
// (dispatch.h): two doubles per register in the x86-64 baseline, four with AVX2, eight
// with AVX-512.
#include "pair_distances.h"

#include "colour_rules.h"

namespace tessera::inline TESSERA_PASS_NAMESPACE {
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

} // namespace

template <typename Colours>
void measurePairs(const Pixel* first, const Pixel* second, int count, double lumaWeight, double* out) {
    measureLoop<Colours>(first, second, count, lumaWeight, out);
}

template void measurePairs<OpaqueColours>(const Pixel*, const Pixel*, int, double, double*);
template void measurePairs<AlphaColours>(const Pixel*, const Pixel*, int, double, double*);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
