// Corner grading: how strongly each of the four pixels around one corner is to be
// blended towards an edge passing that corner, judged from colour changes along the
// two diagonals of the 4 x 4 neighbourhood.
#pragma once

#include "pass_namespace.h"

#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

enum class BlendGrade : unsigned { None = 0, Soft = 1, Strong = 2 };

// One byte per source pixel, two bits per corner.
using CornerGrades = std::uint8_t;
constexpr int topLeftShift = 0;
constexpr int topRightShift = 2;
constexpr int bottomRightShift = 4;
constexpr int bottomLeftShift = 6;

// Takes the byte as a full word, as the loops over rows hold it.
constexpr BlendGrade gradeAt(unsigned grades, int shift) {
    return static_cast<BlendGrade>((grades >> shift) & 3u);
}

// The four pixels meeting at the corner: N(0,0), N(1,0), N(0,1), N(1,1).
struct CornerPixels {
    Pixel topLeft;
    Pixel topRight;
    Pixel bottomLeft;
    Pixel bottomRight;
};

// Two equal rows or two equal columns: no edge can pass diagonally here. Bitwise & and |,
// not && and ||, so that loops over it vectorise.
template <typename Colours>
constexpr bool isFlatCorner(const CornerPixels& p) {
    const unsigned across = Colours::samePixel(p.topLeft, p.topRight);
    const unsigned acrossBelow = Colours::samePixel(p.bottomLeft, p.bottomRight);
    const unsigned down = Colours::samePixel(p.topLeft, p.bottomLeft);
    const unsigned downRight = Colours::samePixel(p.topRight, p.bottomRight);
    return ((across & acrossBelow) | (down & downRight)) != 0;
}

// A pair of cells next to each other along a diagonal, named by its left cell N(dx, dy),
// counted from the corner's top-left pixel N(0, 0); the right cell is one column right
// and one row up (a rising pair) or down (a falling one).
struct DiagonalPair {
    int dx = 0;
    int dy = 0;
};

// The pairs a diagonal sum measures: the corner's own diagonal, which carries the fixed
// weight of 4, and the same diagonal moved one row up or down, or one column left or right.
struct DiagonalPairs {
    DiagonalPair centre, above, left, below, right;
};

// The rising diagonal runs from N(0, 1) up to N(1, 0), the falling one from N(0, 0) down
// to N(1, 1).
constexpr DiagonalPairs risingPairs{
    .centre = {0, 1}, .above = {0, 0}, .left = {-1, 1}, .below = {0, 2}, .right = {1, 1}};
constexpr DiagonalPairs fallingPairs{
    .centre = {0, 0}, .above = {0, -1}, .left = {-1, 0}, .below = {0, 1}, .right = {1, 0}};

// The four side terms are added left to right, then the centre term with its weight; the
// order decides the last bit of the sum.
constexpr double diagonalSum(double first, double second, double third, double fourth, double centre) {
    return (((first + second) + third) + fourth) + 4.0 * centre;
}

// The two sums from `distance(pair)`, each pair's distance, with their side terms in the
// order the rule adds them.
template <typename Distance>
[[gnu::always_inline]] constexpr double sumRising(Distance distance) {
    const DiagonalPairs& p = risingPairs;
    return diagonalSum(distance(p.above), distance(p.left), distance(p.below), distance(p.right),
                       distance(p.centre));
}

template <typename Distance>
[[gnu::always_inline]] constexpr double sumFalling(Distance distance) {
    const DiagonalPairs& p = fallingPairs;
    return diagonalSum(distance(p.below), distance(p.left), distance(p.above), distance(p.right),
                       distance(p.centre));
}

// The grades one corner gives the four pixels around it, in one byte: each pixel's
// grade stands in the field of the corner as that pixel sees it. N(0,0) sees it as its
// bottom-right corner, N(1,0) as its bottom-left, N(0,1) as its top-right and N(1,1)
// as its top-left; so the pass or-s each field straight into the pixel's byte.
//
// The diagonal with the larger colour change is the one the edge crosses; the two
// pixels on it that differ from both their neighbours at the corner are graded, Strong
// when the larger sum exceeds the other by more than the dominant ratio, else Soft.
// Equal sums grade nothing, nor does a flat corner.
//
// Bitwise & and | on the tests instead of && and ||, and no branch: the pass grades a
// whole row of corners in one loop that vectorises. The byte comes in a full word, so
// that the loop works in lanes of words, not of bytes.
template <typename Colours>
constexpr unsigned gradeCorner(const CornerPixels& p, double sumRising, double sumFalling,
                               double dominantRatio) {
    const auto samePixel = [](Pixel a, Pixel b) {
        return static_cast<unsigned>(Colours::samePixel(a, b));
    };
    const unsigned top = samePixel(p.topLeft, p.topRight), bottom = samePixel(p.bottomLeft, p.bottomRight);
    const unsigned left = samePixel(p.topLeft, p.bottomLeft), right = samePixel(p.topRight, p.bottomRight);
    const unsigned flat = isFlatCorner<Colours>(p);

    const unsigned fallingGrade = static_cast<unsigned>(sumFalling > sumRising) *
                                  (1u + static_cast<unsigned>(sumFalling > dominantRatio * sumRising));
    const unsigned risingGrade = static_cast<unsigned>(sumRising > sumFalling) *
                                 (1u + static_cast<unsigned>(sumRising > dominantRatio * sumFalling));
    const unsigned topLeftPixel = fallingGrade * ((top | left) ^ 1u);
    const unsigned bottomRightPixel = fallingGrade * ((bottom | right) ^ 1u);
    const unsigned bottomLeftPixel = risingGrade * ((left | bottom) ^ 1u);
    const unsigned topRightPixel = risingGrade * ((top | right) ^ 1u);
    return (flat ^ 1u) * (topLeftPixel << bottomRightShift | topRightPixel << bottomLeftShift |
                          bottomLeftPixel << topRightShift | bottomRightPixel << topLeftShift);
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
