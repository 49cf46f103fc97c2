#include "animation_run.h"

#include "animation_decoder.h"
#include "animation_writer.h"
#include "image_decoder.h"
#include "png_encoder.h"

#include <algorithm>

namespace tessera::tool {

std::optional<Result<EnlargedAnimation>> enlargeAnimationFile(std::span<const char> file, int factor,
                                                              std::optional<pixels::Rgb> background) {
    std::optional<Result<Animation>> decoded = decodeAnimation(file);
    if (!decoded)
        return std::nullopt;
    if (const Failure* failure = std::get_if<Failure>(&*decoded))
        return *failure;
    Animation& animation = std::get<Animation>(*decoded);
    if (Result<> size = checkDeclaredImage({animation.width, animation.height}, factor);
        const Failure* failure = std::get_if<Failure>(&size))
        return *failure;
    const std::size_t count = std::size_t{animation.width} * animation.height;
    // One mode for every frame: the still-image rule, applied to the frames together.
    const bool translucent =
        std::any_of(animation.frames.begin(), animation.frames.end(), [](const auto& frame) {
            return pixels::chooseScaleMode(frame.rgba, false) == pixels::ScaleMode::WithAlpha;
        });
    const pixels::ScaleMode mode =
        translucent && !background ? pixels::ScaleMode::WithAlpha : pixels::ScaleMode::Opaque;

    Animation enlarged{animation.width * static_cast<std::uint32_t>(factor),
                       animation.height * static_cast<std::uint32_t>(factor),
                       animation.plays,
                       {}};
    std::vector<Pixel> source(count);
    std::vector<Pixel> target(count * static_cast<std::size_t>(factor * factor));
    for (AnimationFrame& frame : animation.frames) {
        if (background)
            pixels::flattenToWords(frame.rgba, *background, source);
        else if (mode == pixels::ScaleMode::WithAlpha)
            rgbaToPixels(frame.rgba.data(), count, source.data());
        else
            rgbaToOpaquePixels(frame.rgba.data(), count, source.data());
        frame.rgba = {};
        const auto width = static_cast<std::int32_t>(animation.width);
        const auto height = static_cast<std::int32_t>(animation.height);
        pixels::enlargeBand(mode, factor, source.data(), target.data(), width, height, ScaleSettings{}, 0,
                            height);
        AnimationFrame out{std::vector<std::uint8_t>(target.size() * 4), frame.delayNumerator,
                           frame.delayDenominator};
        pixels::convertToRgba(mode, target, out.rgba.data());
        enlarged.frames.push_back(std::move(out));
    }
    EnlargedAnimation result;
    result.flattened = background && translucent;
    if (enlarged.frames.size() == 1) {
        Result<EncodedPng> png = encodePng(enlarged.frames[0].rgba, enlarged.width, enlarged.height);
        if (const Failure* failure = std::get_if<Failure>(&png))
            return *failure;
        const std::span<const std::uint8_t> bytes = std::get<EncodedPng>(png).view();
        result.file.assign(bytes.begin(), bytes.end());
        return result;
    }
    Result<std::vector<std::uint8_t>> apng = encodeAnimatedPng(enlarged, mode == pixels::ScaleMode::Opaque);
    if (const Failure* failure = std::get_if<Failure>(&apng))
        return *failure;
    result.file = std::move(std::get<std::vector<std::uint8_t>>(apng));
    return result;
}

} // namespace tessera::tool
