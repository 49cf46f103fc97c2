// The scaler's one colour measure. Every edge decision goes through colourDistance,
// sameColour or plain word equality; nothing else about colour is compared.
#pragma once

#include "pass_namespace.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <tessera/scaler.h>
#include <type_traits>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// Debian's emscripten (3.1.6) ships a libc++ without std::bit_cast; its compiler has the
// builtin the standard one is made of.
#if defined(__cpp_lib_bit_cast)
using std::bit_cast;
#else
template <typename To, typename From>
constexpr To bit_cast(const From& from) {
    return __builtin_bit_cast(To, from);
}
#endif

constexpr int redOf(Pixel p) {
    return static_cast<int>((p >> 16) & 0xFFu);
}
constexpr int greenOf(Pixel p) {
    return static_cast<int>((p >> 8) & 0xFFu);
}
constexpr int blueOf(Pixel p) {
    return static_cast<int>(p & 0xFFu);
}
constexpr int alphaOf(Pixel p) {
    return static_cast<int>(p >> 24);
}

// One of two doubles or words, picked by masking their bits rather than by a branch, so
// that loops over it vectorise (a conditional expression may become a branch).
template <typename Value>
constexpr Value select(bool condition, Value ifTrue, Value ifFalse) {
    using Bits = std::conditional_t<sizeof(Value) == sizeof(std::uint64_t), std::uint64_t, std::uint32_t>;
    static_assert(sizeof(Value) == sizeof(Bits));
    const Bits bitsIfFalse = bit_cast<Bits>(ifFalse);
    return bit_cast<Value>(bitsIfFalse ^ ((bit_cast<Bits>(ifTrue) ^ bitsIfFalse) & (Bits{0} - condition)));
}

// The square of the colour distance in a luma/chroma space with the BT.709 weights,
// from the differences of the red, green and blue channels (whole numbers, as doubles).
// The order of every operation is fixed (and the library is built without contraction
// into fused multiply-adds) so that the result is the same double on every build, in
// scalar and in vector registers alike. Written once for doubles and for any type of
// vector of doubles with their operators.
template <typename Real>
constexpr Real colourSquareOf(Real dr, Real dg, Real db, double lumaWeight) {
    const Real luma = (dg * 0.7152 + dr * 0.2126) + db * 0.0722;
    const Real blueChroma = (db - luma) * 0.5389092476826902; // 0.5 / (1 - 0.0722)
    const Real redChroma = (dr - luma) * 0.63500127000254;    // 0.5 / (1 - 0.2126)
    const Real weightedLuma = luma * lumaWeight;
    return (weightedLuma * weightedLuma + blueChroma * blueChroma) + redChroma * redChroma;
}

constexpr double colourSquare(double dr, double dg, double db, double lumaWeight) {
    return colourSquareOf<double>(dr, dg, db, lumaWeight);
}

constexpr double colourSquare(Pixel a, Pixel b, double lumaWeight) {
    return colourSquare(redOf(a) - redOf(b), greenOf(a) - greenOf(b), blueOf(a) - blueOf(b), lumaWeight);
}

// The square root of colourSquare, except that equal words are 0 apart whatever the
// luma weight; words that differ only in alpha take the formula and come out as 0.0
// too. Black against white is 254.99999999999997, not 255.
inline double colourDistance(Pixel a, Pixel b, double lumaWeight) {
    return select(a == b, 0.0, std::sqrt(colourSquare(a, b, lumaWeight)));
}

// Strictly below the tolerance: a distance equal to it is a different colour.
constexpr bool sameColour(double distance, const ScaleSettings& settings) {
    return distance < settings.sameColourTolerance;
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
