// Corner grading: how strongly each of the four pixels around one corner is to be
// blended towards an edge passing that corner, judged from colour changes along the
// two diagonals of the 4 x 4 neighbourhood.
#pragma once

#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::baseline {

enum class BlendGrade : std::uint8_t { None = 0, Soft = 1, Strong = 2 };

// One byte per source pixel, two bits per corner.
using CornerGrades = std::uint8_t;
constexpr int topLeftShift = 0;
constexpr int topRightShift = 2;
constexpr int bottomRightShift = 4;
constexpr int bottomLeftShift = 6;

// The grades one corner gives the four pixels around it, named by each pixel's
// position relative to the corner's top-left pixel N(0,0).
struct CornerGrading {
    std::uint8_t topLeftPixel = 0;     // g00: the corner is its bottom-right
    std::uint8_t topRightPixel = 0;    // g10: its bottom-left
    std::uint8_t bottomLeftPixel = 0;  // g01: its top-right
    std::uint8_t bottomRightPixel = 0; // g11: its top-left
};

// The four pixels meeting at the corner: N(0,0), N(1,0), N(0,1), N(1,1).
struct CornerPixels {
    Pixel topLeft;
    Pixel topRight;
    Pixel bottomLeft;
    Pixel bottomRight;
};

// Two equal rows or two equal columns: no edge can pass diagonally here.
constexpr bool isFlatCorner(const CornerPixels& p) {
    return (p.topLeft == p.topRight && p.bottomLeft == p.bottomRight) ||
           (p.topLeft == p.bottomLeft && p.topRight == p.bottomRight);
}

// The four side terms are added left to right, then the centre term with its fixed
// weight of 4; the order decides the last bit of the sum.
constexpr double diagonalSum(double first, double second, double third, double fourth, double centre) {
    return (((first + second) + third) + fourth) + 4.0 * centre;
}

// How strongly the diagonal with the larger colour change marks an edge: Strong only when
// it exceeds the other by more than the dominant ratio.
constexpr std::uint8_t edgeGrade(double larger, double smaller, double dominantRatio) {
    return static_cast<std::uint8_t>(larger > dominantRatio * smaller ? BlendGrade::Strong
                                                                      : BlendGrade::Soft);
}

// Grades from the two diagonal sums. The diagonal with the larger colour change is
// the one the edge crosses; the pixels on it that differ from both their
// neighbours at the corner are graded. Equal sums grade nothing.
constexpr CornerGrading gradeCorner(const CornerPixels& p, double sumRising, double sumFalling,
                                    double dominantRatio) {
    CornerGrading g;
    if (sumFalling > sumRising) {
        const std::uint8_t grade = edgeGrade(sumFalling, sumRising, dominantRatio);
        if (p.topLeft != p.topRight && p.topLeft != p.bottomLeft)
            g.topLeftPixel = grade;
        if (p.bottomRight != p.bottomLeft && p.bottomRight != p.topRight)
            g.bottomRightPixel = grade;
    } else if (sumRising > sumFalling) {
        const std::uint8_t grade = edgeGrade(sumRising, sumFalling, dominantRatio);
        if (p.bottomLeft != p.topLeft && p.bottomLeft != p.bottomRight)
            g.bottomLeftPixel = grade;
        if (p.topRight != p.topLeft && p.topRight != p.bottomRight)
            g.topRightPixel = grade;
    }
    return g;
}

} // namespace tessera::baseline
