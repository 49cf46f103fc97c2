// The readers of each format behind image_file.h, for its own use: which one a file goes to is
// decided there, from the file's first bytes.
#pragma once

#include "animation.h"
#include "still_decoder.h"

#include <optional>
#include <span>

namespace tessera::codecs {

// Each reader reads the canvas's size once, asks the judge, and only then decodes; frames beyond
// the first are judged by the animation limits of pixels/limits_and_defaults.h too.

// GIF (giflib): every frame composited onto the logical screen.
Result<Animation> decodeGif(std::span<const char> file, const SizeJudge& judge);

// WebP (libwebp), still or animated: every frame composited onto the canvas.
Result<Animation> decodeWebp(std::span<const char> file, const SizeJudge& judge);

// Animated PNG: the frames of a PNG with an animation control chunk before its image data;
// nothing for a PNG without one, or one whose only frame is its still image, which the still
// decoder reads. Each frame's pixels are decoded by the still decoder.
std::optional<Result<Animation>> decodeAnimatedPng(std::span<const char> file, const SizeJudge& judge);

} // namespace tessera::codecs
