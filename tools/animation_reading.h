// What the readers of each animated format share: the limits they judge an animation by and how
// they refuse one.
#pragma once

#include "animation.h"
#include "failure.h"

#include <optional>
#include <span>

namespace tessera::tool {

// "the GIF animation is damaged or truncated", a Read failure.
Failure damagedAnimation(const char* format);

// An Enlarge failure naming the frames and canvas that exceed maxAnimationFrames or maxAnimationPixels.
Failure animationTooLarge(std::uint64_t frames, std::uint64_t width, std::uint64_t height);

// Whether `frames` frames of `pixelsPerFrame` decoded pixels each stay within the limits.
bool withinAnimationLimits(std::uint64_t frames, std::uint64_t pixelsPerFrame);

// The frames of a PNG file with an animation control chunk before its image data; nothing for a
// PNG without one, or one whose only frame is its still image.
std::optional<Result<Animation>> decodeAnimatedPng(std::span<const char> file);

} // namespace tessera::tool
