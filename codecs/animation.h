// Animations as Tessera reads and writes them: every frame already composited onto the whole
// canvas, as a browser shows it, so that each frame is enlarged like a still image; and what the
// readers of every animated format share: the limits they judge an animation by and how they
// refuse one.
#pragma once

#include "failure.h"

#include <cstdint>
#include <vector>

namespace tessera::codecs {

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

// "the GIF animation is damaged or truncated", a Read failure.
Failure damagedAnimation(const char* format);

// Whether a reader refusing an animation knows how many frames it has (from a count in the file),
// or only how many it had come to when it stopped reading (a GIF holds no count).
enum class FrameCount { Exactly, AtLeast };

// An Enlarge failure naming the frames and canvas that exceed the limits of pixels/limits_and_defaults.h:
// "12000 frames of 4 x 4 exceed ...", or with FrameCount::AtLeast "at least 10001 frames ...".
Failure animationTooLarge(std::uint64_t frames, std::uint64_t width, std::uint64_t height,
                          FrameCount count = FrameCount::Exactly);

// Whether `frames` frames of `pixelsPerFrame` decoded pixels each stay within the limits.
bool withinAnimationLimits(std::uint64_t frames, std::uint64_t pixelsPerFrame);

} // namespace tessera::codecs
