// The loops of pair_distances.h, built for the baseline (two doubles per SSE2 register)
// and for AVX2 and AVX-512 (four and eight per register), see vector_clones.h.
#include "pair_distances.h"

#include "vector_clones.h"

namespace tessera {
namespace {

// Every pointer is copied into a local first, so that the loop reads nothing its stores
// could change and vectorises. Pairs of the same pixel are 0 apart, and in flat areas
// (backgrounds, the insides of shapes) whole stretches of pairs are: those skip the
// arithmetic. The others are measured a stretch at a time, unrolled into vector
// operations.
template <typename Colours>
[[gnu::always_inline]] inline void measureLoop(const PixelRow& first, const PixelRow& second, int shift,
                                               int count, double lumaWeight, double* out) {
    const Pixel *wordsA = first.words, *wordsB = second.words + shift;
    const double *redA = first.red, *redB = second.red + shift;
    const double *greenA = first.green, *greenB = second.green + shift;
    const double *blueA = first.blue, *blueB = second.blue + shift;
    const auto measure = [&](int i) {
        out[i] = Colours::fromSquare(
            wordsA[i], wordsB[i],
            colourSquare(redA[i] - redB[i], greenA[i] - greenB[i], blueA[i] - blueB[i], lumaWeight));
    };
    constexpr int stretch = 8;
    int i = 0;
    for (; i + stretch <= count; i += stretch) {
        bool flat = true;
        for (int k = 0; k < stretch; ++k)
            flat &= Colours::samePixel(wordsA[i + k], wordsB[i + k]);
        if (flat) {
            for (int k = 0; k < stretch; ++k)
                out[i + k] = 0.0;
            continue;
        }
        for (int k = 0; k < stretch; ++k)
            measure(i + k);
    }
    for (; i < count; ++i)
        measure(i);
}

TESSERA_VECTOR_CLONES void measureOpaque(const PixelRow& first, const PixelRow& second, int shift, int count,
                                         double lumaWeight, double* out) {
    measureLoop<OpaqueColours>(first, second, shift, count, lumaWeight, out);
}

TESSERA_VECTOR_CLONES void measureAlpha(const PixelRow& first, const PixelRow& second, int shift, int count,
                                        double lumaWeight, double* out) {
    measureLoop<AlphaColours>(first, second, shift, count, lumaWeight, out);
}

} // namespace

template <>
void measurePairs<OpaqueColours>(const PixelRow& first, const PixelRow& second, int shift, int count,
                                 double lumaWeight, double* out) {
    measureOpaque(first, second, shift, count, lumaWeight, out);
}

template <>
void measurePairs<AlphaColours>(const PixelRow& first, const PixelRow& second, int shift, int count,
                                double lumaWeight, double* out) {
    measureAlpha(first, second, shift, count, lumaWeight, out);
}

} // namespace tessera
