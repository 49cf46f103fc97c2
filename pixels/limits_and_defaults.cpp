#include "limits_and_defaults.h"

#include <cmath>

namespace tessera::pixels {
namespace {

// 16384 as "16,384".
std::string withThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

} // namespace

std::string factorList() {
    std::string list;
    for (int factor = minFactor; factor <= maxFactor; ++factor)
        list += std::to_string(factor) + (factor + 2 <= maxFactor   ? ", "
                                          : factor + 1 == maxFactor ? " or "
                                                                    : "");
    return list;
}

std::string squareSize(std::uint64_t pixels) {
    const auto side = withThousands(static_cast<std::uint64_t>(std::sqrt(static_cast<double>(pixels))));
    return side + " x " + side;
}

std::optional<std::string> targetSizeRefusal(std::uint64_t width, std::uint64_t height, int factor,
                                             std::uint64_t limit) {
    if (width == 0 || height == 0)
        return "the image is empty";
    const auto scale = static_cast<std::uint64_t>(factor);
    // Each side is checked alone first so that the product below cannot overflow.
    if (width > limit || height > limit || width * scale * height * scale > limit)
        return "the image is too large: " + std::to_string(width) + " x " + std::to_string(height) +
               " enlarged by " + std::to_string(factor) + " exceeds the limit of " + withThousands(limit) +
               " output pixels (" + squareSize(limit) + ")";
    return std::nullopt;
}

} // namespace tessera::pixels
