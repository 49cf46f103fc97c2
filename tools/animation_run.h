// Enlarging an animation file as tessera-scale does: every composited frame enlarged exactly as
// the command enlarges it as a still image, in one mode for the whole animation (alpha-aware
// when any frame has a pixel with alpha below 255, unless a background flattens them all).
#pragma once

#include "animation.h"
#include "failure.h"
#include "pixel_conversion.h"

#include <optional>
#include <span>
#include <vector>

namespace tessera::tool {

struct EnlargedAnimation {
    std::vector<std::uint8_t> file; // an animated PNG, or a plain PNG for a single frame
    bool flattened = false;
};

// Nothing when the file is not an animation (decodeAnimation); else its enlargement or why not.
std::optional<Result<EnlargedAnimation>> enlargeAnimationFile(std::span<const char> file, int factor,
                                                              std::optional<pixels::Rgb> background);

} // namespace tessera::tool
