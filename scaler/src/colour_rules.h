// The two colour modes of the pass, as policies it is built with: what counts as the
// same pixel, how far apart two pixels are, and how a cell is stored and blended.
//
//   OpaqueColours  pixels are compared as whole words and measured on red, green and
//                  blue; a blended cell carries alpha 0
//   AlphaColours   straight alpha: every word with alpha 0 is one and the same
//                  transparent pixel, alpha takes part in the distance, blends are
//                  weighted by alpha, and transparent cells are stored as 0
//
// Each mode's distance and same-pixel test are branch-free, so that the loops that
// measure a whole row of pairs vectorise; both are symmetric to the last bit. The pair
// loops work out the square of the colour distance from channels they keep as doubles
// and hand it to fromSquare; distance does both for one pair.
#pragma once

#include "colour_distance.h"
#include "pass_namespace.h"

#include <cmath>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

struct OpaqueColours {
    static constexpr bool samePixel(Pixel a, Pixel b) { return a == b; }

    static double fromSquare(Pixel a, Pixel b, double colourSquare) {
        return select(a == b, 0.0, std::sqrt(colourSquare));
    }

    static double distance(Pixel a, Pixel b, double lumaWeight) { return colourDistance(a, b, lumaWeight); }

    // Whether the pairs first[i], second[i] for i < Count measure as in the opaque mode:
    // always.
    template <int Count>
    static constexpr bool measuresAsOpaque(const Pixel*, const Pixel*) {
        return true;
    }

    static constexpr Pixel stored(Pixel p) { return p; }

    // Each colour channel becomes floor((k * colour + (n - k) * current) / n) and the
    // alpha byte becomes 0, marking the cell as blended. For n = 2, 4 and 8 the channels
    // are summed in place, red and blue together in one word (each sum is below 2^11, so
    // blue's stays clear of red's) and green in another; masking off each sum's low
    // log2(n) bits before the single shift keeps the channels from spilling into each
    // other, so the result is the per-channel floor exactly.
    template <int K, int N>
    static constexpr Pixel blend(Pixel colour, Pixel current) {
        static_assert(0 < K && K < N);
        if constexpr (N == 2 || N == 4 || N == 8) {
            constexpr int shift = N == 2 ? 1 : N == 4 ? 2 : 3;
            constexpr Pixel redBlueMask = 0x00FF00FFu, greenMask = 0x0000FF00u;
            const Pixel redBlue = (colour & redBlueMask) * K + (current & redBlueMask) * (N - K);
            const Pixel green = (colour & greenMask) * K + (current & greenMask) * (N - K);
            return ((redBlue & (redBlueMask << shift)) | (green & (greenMask << shift))) >> shift;
        } else {
            const auto channel = [&](int position) {
                const Pixel mixed =
                    (((colour >> position) & 0xFFu) * K + ((current >> position) & 0xFFu) * (N - K)) / N;
                return mixed << position;
            };
            return channel(16) | channel(8) | channel(0);
        }
    }
};

struct AlphaColours {
    // Bitwise or, not ||: no branch, so that loops over it vectorise.
    static constexpr bool samePixel(Pixel a, Pixel b) { return (a == b) | ((a | b) >> 24 == 0); }

    // Opaque pairs measure as in the opaque mode. Otherwise the colour difference counts
    // as much as the fainter pixel is visible, and the difference in alpha adds to it:
    // transparent against opaque is 255, whatever the colours.
    static double fromSquare(Pixel a, Pixel b, double colourSquare) {
        const double colour = std::sqrt(colourSquare);
        const int alphaA = alphaOf(a), alphaB = alphaOf(b);
        const int fainter = alphaA < alphaB ? alphaA : alphaB;
        const int bolder = alphaA < alphaB ? alphaB : alphaA;
        const double faded = colour * double(fainter) / 255.0 + double(bolder - fainter);
        return select(samePixel(a, b), 0.0, select((alphaA & alphaB) == 255, colour, faded));
    }

    static double distance(Pixel a, Pixel b, double lumaWeight) {
        return fromSquare(a, b, colourSquare(a, b, lumaWeight));
    }

    // Opaque pairs measure as in the opaque mode, which leaves out the alpha arithmetic and
    // its division, the slowest operation of the measure: stretches of opaque pixels only,
    // the most common ones in sprites, take that mode.
    // One loop that and-s all the words, which vectorises in every build.
    template <int Count>
    static bool measuresAsOpaque(const Pixel* first, const Pixel* second) {
        Pixel alphas = ~Pixel{0};
        for (int i = 0; i < Count; ++i)
            alphas &= first[i] & second[i];
        return alphas >> 24 == 255u;
    }

    static constexpr Pixel stored(Pixel p) { return p >> 24 == 0 ? 0 : p; }

    // Where the colour and every cell a pattern blends into are opaque, every blend of the
    // pattern is between opaque colours, and so is the opaque blend with alpha 255.
    struct AmongOpaque {
        static constexpr Pixel stored(Pixel p) { return p; }
        template <int K, int N>
        [[gnu::always_inline]] static constexpr Pixel blend(Pixel colour, Pixel current) {
            return OpaqueColours::blend<K, N>(colour, current) | 0xFF000000u;
        }
    };

    // Premultiplied: with wb = k * alpha(colour) and wc = (n - k) * alpha(current), each
    // channel becomes floor((wb * colour + wc * current) / (wb + wc)) and alpha
    // floor((wb + wc) / n). A cell whose alpha comes out 0 (wb + wc below n, no weight at
    // all included) is stored as the transparent 0, like every other transparent cell,
    // so no colour bits survive in a word nobody can see. Two opaque
    // colours give exactly the opaque blend with alpha 255 (the common weight 255
    // cancels in the floor), so they take its faster arithmetic.
    template <int K, int N>
    static constexpr Pixel blend(Pixel colour, Pixel current) {
        static_assert(0 < K && K < N);
        if ((colour & current) >> 24 == 0xFFu)
            return OpaqueColours::blend<K, N>(colour, current) | 0xFF000000u;
        const std::uint32_t colourWeight = K * (colour >> 24);
        const std::uint32_t currentWeight = (N - K) * (current >> 24);
        const std::uint32_t weight = colourWeight + currentWeight;
        if (weight < N)
            return 0;
        const auto channel = [&](int position) {
            const std::uint32_t mixed = (colourWeight * ((colour >> position) & 0xFFu) +
                                         currentWeight * ((current >> position) & 0xFFu)) /
                                        weight;
            return mixed << position;
        };
        return (weight / N) << 24 | channel(16) | channel(8) | channel(0);
    }
};

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
