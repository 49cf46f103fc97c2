// The scaler's one colour measure. Every edge decision goes through colourDistance,
// sameColour or plain word equality; nothing else about colour is compared.
#pragma once

#include <cmath>
#include <tessera/scaler.h>

namespace tessera::baseline {

constexpr int redOf(Pixel p) {
    return static_cast<int>((p >> 16) & 0xFFu);
}
constexpr int greenOf(Pixel p) {
    return static_cast<int>((p >> 8) & 0xFFu);
}
constexpr int blueOf(Pixel p) {
    return static_cast<int>(p & 0xFFu);
}

// Distance in a luma/chroma space with the BT.709 weights. The order of every
// operation is fixed (and the library is built without contraction into fused
// multiply-adds) so that the result is the same double on every build: black
// against white is 254.99999999999997, not 255.
inline double colourDistance(Pixel a, Pixel b, double lumaWeight) {
    // Equal words are the common case in flat areas; they skip the square root.
    // Words that differ only in alpha still take the formula and come out as 0.0.
    if (a == b)
        return 0.0;
    const double dr = redOf(a) - redOf(b);
    const double dg = greenOf(a) - greenOf(b);
    const double db = blueOf(a) - blueOf(b);
    const double luma = (dg * 0.7152 + dr * 0.2126) + db * 0.0722;
    const double blueChroma = (db - luma) * 0.5389092476826902; // 0.5 / (1 - 0.0722)
    const double redChroma = (dr - luma) * 0.63500127000254;    // 0.5 / (1 - 0.2126)
    const double weightedLuma = luma * lumaWeight;
    return std::sqrt((weightedLuma * weightedLuma + blueChroma * blueChroma) + redChroma * redChroma);
}

// Strictly below the tolerance: a distance equal to it is a different colour.
inline bool sameColour(Pixel a, Pixel b, const ScaleSettings& settings) {
    return colourDistance(a, b, settings.lumaWeight) < settings.sameColourTolerance;
}

} // namespace tessera::baseline
