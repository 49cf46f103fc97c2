// Every image file Tessera reads, in one entry: PNG (with animated PNG), BMP, TGA, JPEG, GIF
// (one frame or many) and WebP (still or animated), each through exactly one decoder. A file
// holds either a still image or an animation of two frames or more; a one-frame animation of any
// format is a still image.
//
// A damaged or truncated file is refused whole: no frame before the damage is kept, since no one
// could say which part of the animation was written. The one exception is a GIF whose last frame
// is complete but whose end marker is missing, which is read in full.
#pragma once

#include "animation.h"
#include "still_decoder.h"

#include <span>
#include <variant>

namespace tessera::codecs {

// The formats an enlargement is written in: PNG (animated PNG for an animation) or lossless WebP.
enum class OutputFormat { Png, Webp };

using DecodedFile = std::variant<DecodedImage, Animation>;

// Decodes the file: a still image, or every frame of an animation composited onto its canvas.
// The canvas's size is read once and judged before anything is decoded (the judge's failure is
// returned), and an animation beyond the limits of pixels/limits_and_defaults.h is refused (an Enlarge
// failure); a file of no format read here, or a damaged one, is a Read failure.
Result<DecodedFile> decodeImageFile(std::span<const char> file, const SizeJudge& judge);

// decodeImageFile for a reader that takes one picture: a still image, or an animation's first
// frame as a viewer without animation shows it.
Result<DecodedImage> decodeFirstFrame(std::span<const char> file, const SizeJudge& judge);

} // namespace tessera::codecs
