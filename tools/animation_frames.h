// How the frames of an animation are enlarged: in one mode for them all, each exactly as the
// command enlarges a still image. Shared by tessera-scale and the page.
#pragma once

#include "animation.h"
#include "pixel_conversion.h"

#include <optional>
#include <span>
#include <tessera/scaler.h>
#include <vector>

namespace tessera::tool {

struct FrameScaling {
    pixels::ScaleMode mode = pixels::ScaleMode::Opaque;
    std::optional<pixels::Rgb> background;
    int factor = 4;
    std::uint32_t width = 0; // of the source canvas
    std::uint32_t height = 0;
    bool flattened = false; // some pixel was translucent and is composited over the background
    pixels::Edges edges;    // wrapped borders and cells, alike for every frame
};

// The still-image rule applied to the frames together: alpha-aware when any frame has a pixel
// with alpha below 255, unless a background flattens them all.
FrameScaling chooseFrameScaling(const Animation& animation, int factor, std::optional<pixels::Rgb> background,
                                const pixels::Edges& edges = {});

// One composited frame of the canvas's size enlarged: the one place where a frame is scaled, so
// that whatever applies to a still applies to every frame alike. `source` and `target` are
// working space of the canvas's and the enlargement's size.
std::vector<std::uint8_t> enlargeFrame(const FrameScaling& scaling, std::span<const std::uint8_t> rgba,
                                       std::vector<Pixel>& source, std::vector<Pixel>& target);

} // namespace tessera::tool
