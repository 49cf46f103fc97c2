// Enlarging an animation file as tessera-scale does: every composited frame enlarged exactly as
// the command enlarges it as a still image, in one mode for the whole animation (alpha-aware
// when any frame has a pixel with alpha below 255, unless a background flattens them all).
//
// The decoded frames are held (at most maxAnimationPixels), the enlarged ones are not: each goes
// to the writer as soon as it is made, which keeps only the one before it.
#pragma once

#include "animation.h"
#include "animation_writer.h"
#include "failure.h"
#include "pixel_conversion.h"

#include <optional>
#include <span>
#include <vector>

namespace tessera::tool {

struct EnlargedAnimation {
    // An animated PNG or WebP as `format` says; a single frame as a plain PNG or a
    // still WebP.
    std::vector<std::uint8_t> file;
    bool flattened = false;
};

// Nothing when the file is not an animation (decodeAnimation); else its enlargement or why not.
std::optional<Result<EnlargedAnimation>> enlargeAnimationFile(std::span<const char> file, int factor,
                                                              std::optional<pixels::Rgb> background,
                                                              OutputFormat format = OutputFormat::Png,
                                                              const pixels::Edges& edges = {});

} // namespace tessera::tool
