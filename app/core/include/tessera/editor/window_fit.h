// The start-up layout in a resized window. Every size and division of the editor stays the one
// derived at start-up (a square of W × W window pixels: the canvas and the palette bar). When the
// window takes another size, that square is drawn scaled uniformly to the largest square the
// window holds, centred, with the clear colour in the bars beside it or above and below it; the
// pointer is carried back from window pixels to the start-up square before the editor sees it, so
// that it paints, picks and samples what is drawn under it.
#pragma once

#include <cstdint>

// Where the start-up square lies in the window, in whole window pixels.
struct LayoutFit {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t side = 0; // 0 when the window has no area
};

// The largest square of a windowWidth × windowHeight window, centred (an odd pixel left over goes
// to the right or bottom bar).
LayoutFit fitLayout(std::uint32_t windowWidth, std::uint32_t windowHeight);

struct LayoutPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The point of the start-up square (of layoutSize × layoutSize, layoutSize from 1 to maxWindowSize
// as the editor's layout has it) that window pixel (x, y) shows:
// the one under the pixel's centre, rounded down, so that at the start-up size every pixel is its
// own point. Points outside the square come out outside the layout as well, as far out as they
// are in the window (clamped to the 32-bit range). In a window of no area the pointer is nowhere
// the editor reacts to: (0, layoutSize), below the palette bar.
LayoutPoint toLayoutPoint(const LayoutFit& fit, std::int32_t layoutSize, std::int32_t x, std::int32_t y);
