// Writing enlarged animations, frame after frame, so that no more than the frame before is held:
// as an animated PNG (apng_writer.h) or as an animated lossless WebP.
//
// WebP: libwebp's animation encoder, lossless and keeping the colour under transparent pixels,
// finds the changed rectangles itself. Each delay is rounded to the millisecond it holds, and a
// frame equal to the one before lengthens that one instead of being stored.
#pragma once

#include "animation.h"
#include "apng_writer.h"
#include "failure.h"
#include "image_file.h"

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

struct WebPAnimEncoder;

namespace tessera::codecs {

struct FreeWebpEncoder {
    void operator()(WebPAnimEncoder* encoder) const;
};

struct AnimatedWebpWriter {
    AnimationShape shape;
    std::unique_ptr<WebPAnimEncoder, FreeWebpEncoder> encoder;
    std::uint64_t milliseconds = 0; // where the next frame starts
};

// One of the two, as the output's name chooses.
using AnimationWriter = std::variant<AnimatedPngWriter, AnimatedWebpWriter>;

// The largest side a WebP holds.
inline constexpr std::uint32_t maxWebpSide = 16383;

// A writer for frames of `shape`; RGB when `opaque`, else RGBA. An Enlarge failure when the
// format cannot hold frames of that size, a Write failure when the encoder cannot start.
Result<AnimationWriter> startAnimation(OutputFormat format, const AnimationShape& shape, bool opaque);

// Adds the next frame, whole-canvas RGBA of the shape's size; the writer keeps its pixels.
Result<> addFrame(AnimationWriter& writer, AnimationFrame&& frame);

// The file, once every frame the shape counts has been added.
Result<std::vector<std::uint8_t>> finishAnimation(AnimationWriter& writer);

// A still image as a lossless WebP, the colour under transparent pixels kept. An Enlarge failure
// when a side is longer than maxWebpSide.
Result<std::vector<std::uint8_t>> encodeWebp(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                             std::uint32_t height);

} // namespace tessera::codecs
