// The start-up layout's square in a resized window and the pointer carried back into it, in
// exact integer arithmetic.
#include <algorithm>
#include <limits>
#include <tessera/editor/editor.h>
#include <tessera/editor/window_fit.h>

// layoutCoordinate's products stay within 64 bits only for layouts of this size or less.
static_assert(maxWindowSize <= 1 << 13);

namespace {

// The quotient rounded towards minus infinity, for a positive divisor.
std::int64_t floorDivide(std::int64_t dividend, std::int64_t divisor) {
    const std::int64_t quotient = dividend / divisor;
    return dividend % divisor < 0 ? quotient - 1 : quotient;
}

// Window coordinate `position` along an axis where the square starts at `start`: the centre of the
// pixel, (position − start + ½) × layoutSize ÷ side, in exact integers. The doubled distance
// from the start is below 2^34 and layoutSize at most maxWindowSize, 2^13, so the product stays
// within 64 bits.
std::int32_t layoutCoordinate(std::int64_t position, std::int64_t start, std::int64_t side,
                              std::int32_t layoutSize) {
    const std::int64_t scaled = floorDivide((2 * (position - start) + 1) * layoutSize, 2 * side);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        scaled, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

LayoutFit fitLayout(std::uint32_t windowWidth, std::uint32_t windowHeight) {
    LayoutFit fit;
    fit.side = std::min(windowWidth, windowHeight);
    fit.left = (std::int64_t{windowWidth} - fit.side) / 2;
    fit.top = (std::int64_t{windowHeight} - fit.side) / 2;
    return fit;
}

LayoutPoint toLayoutPoint(const LayoutFit& fit, std::int32_t layoutSize, std::int32_t x, std::int32_t y) {
    if (fit.side <= 0)
        return {0, layoutSize};
    return {layoutCoordinate(x, fit.left, fit.side, layoutSize),
            layoutCoordinate(y, fit.top, fit.side, layoutSize)};
}
