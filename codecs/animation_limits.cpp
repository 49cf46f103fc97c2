// The limits every animation reader judges an animation by, and the failures they refuse one with.
#include "animation.h"
#include "limits_and_defaults.h"

#include <string>

namespace tessera::codecs {

Failure damagedAnimation(const char* format) {
    return {Step::Read, std::string{"the "} + format + " animation is damaged or truncated"};
}

Failure animationTooLarge(std::uint64_t frames, std::uint64_t width, std::uint64_t height, FrameCount count) {
    return {Step::Enlarge,
            "the animation is too large: " + std::string{count == FrameCount::AtLeast ? "at least " : ""} +
                std::to_string(frames) + (frames == 1 ? " frame of " : " frames of ") +
                std::to_string(width) + " x " + std::to_string(height) + " exceed the limit of " +
                std::to_string(pixels::maxAnimationFrames) + " frames and " +
                std::to_string(pixels::maxAnimationPixels) + " decoded pixels"};
}

bool withinAnimationLimits(std::uint64_t frames, std::uint64_t pixelsPerFrame) {
    // Divided rather than multiplied: a canvas's pixels alone may take up to 62 bits.
    return frames <= pixels::maxAnimationFrames &&
           (frames == 0 || pixelsPerFrame <= pixels::maxAnimationPixels / frames);
}

} // namespace tessera::codecs
