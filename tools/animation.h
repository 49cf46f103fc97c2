// Animations as tessera-scale reads and writes them: every frame already composited onto the
// whole canvas, as a browser shows it, so that each frame is enlarged like a still image.
#pragma once

#include <cstdint>
#include <vector>

namespace tessera::tool {

struct AnimationFrame {
    std::vector<std::uint8_t> rgba; // the whole canvas after this frame: straight RGBA, row-major
    // How long the frame shows, in seconds: numerator / denominator (the denominator never 0).
    std::uint32_t delayNumerator = 0;
    std::uint32_t delayDenominator = 100;
};

struct Animation {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t plays = 0; // how many times the whole animation plays; 0: without end
    std::vector<AnimationFrame> frames;
};

// The most decoded pixels an animation may hold, frames times canvas pixels (128 MiB of RGBA),
// and the most frames.
inline constexpr std::uint64_t maxAnimationPixels = std::uint64_t{1} << 25;
inline constexpr std::size_t maxAnimationFrames = 10000;

} // namespace tessera::tool
