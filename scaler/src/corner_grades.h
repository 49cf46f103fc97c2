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

// The four side terms are added left to right, then the centre term with its fixed
// weight of 4; the order decides the last bit of the sum.
constexpr double diagonalSum(double first, double second, double third, double fourth, double centre) {
    return (((first + second) + third) + fourth) + 4.0 * centre;
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
    const auto same = [](Pixel a, Pixel b) {
        return static_cast<unsigned>(Colours::samePixel(a, b));
    };
    const unsigned top = same(p.topLeft, p.topRight), bottom = same(p.bottomLeft, p.bottomRight);
    const unsigned left = same(p.topLeft, p.bottomLeft), right = same(p.topRight, p.bottomRight);
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
