#include "size_limits.h"

namespace tessera::pixels {

std::optional<std::string> targetSizeRefusal(std::uint64_t width, std::uint64_t height, int factor) {
    if (width == 0 || height == 0)
        return "the image is empty";
    const std::uint64_t limit = maxTargetPixels;
    const auto scale = static_cast<std::uint64_t>(factor);
    // Each side is checked alone first so that the product below cannot overflow.
    if (width > limit || height > limit || width * scale * height * scale > limit)
        return "the image is too large: " + std::to_string(width) + " x " + std::to_string(height) +
               " enlarged by " + std::to_string(factor) + " exceeds the limit of " + std::to_string(limit) +
               " output pixels";
    return std::nullopt;
}

} // namespace tessera::pixels
