#include "animation_frames.h"

#include <algorithm>

namespace tessera::tool {

FrameScaling chooseFrameScaling(const Animation& animation, int factor, std::optional<pixels::Rgb> background,
                                const pixels::Edges& edges) {
    const bool translucent =
        std::any_of(animation.frames.begin(), animation.frames.end(), [](const AnimationFrame& frame) {
            return pixels::chooseScaleMode(frame.rgba, false) == pixels::ScaleMode::WithAlpha;
        });
    return {translucent && !background ? pixels::ScaleMode::WithAlpha : pixels::ScaleMode::Opaque,
            background,
            factor,
            animation.width,
            animation.height,
            translucent && background,
            edges};
}

std::vector<std::uint8_t> enlargeFrame(const FrameScaling& scaling, std::span<const std::uint8_t> rgba,
                                       std::vector<Pixel>& source, std::vector<Pixel>& target) {
    const std::size_t count = source.size();
    if (scaling.background)
        pixels::flattenToWords(rgba, *scaling.background, source);
    else if (scaling.mode == pixels::ScaleMode::WithAlpha)
        rgbaToPixels(rgba.data(), count, source.data());
    else
        rgbaToOpaquePixels(rgba.data(), count, source.data());
    const auto width = static_cast<std::int32_t>(scaling.width);
    const auto height = static_cast<std::int32_t>(scaling.height);
    pixels::enlargeBand(scaling.mode, scaling.factor, source.data(), target.data(), width, height,
                        ScaleSettings{}, 0, height, scaling.edges);
    std::vector<std::uint8_t> enlarged(target.size() * 4);
    pixels::convertToRgba(scaling.mode, target, enlarged.data());
    return enlarged;
}

} // namespace tessera::tool
