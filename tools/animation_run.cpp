#include "animation_run.h"

#include "animation_decoder.h"
#include "image_decoder.h"
#include "png_encoder.h"

#include <algorithm>

namespace tessera::tool {
namespace {

struct FrameScaling {
    pixels::ScaleMode mode = pixels::ScaleMode::Opaque;
    std::optional<pixels::Rgb> background;
    int factor = 4;
    std::uint32_t width = 0; // of the source canvas
    std::uint32_t height = 0;
};

// One composited frame enlarged as the command enlarges a still image: the one place where a
// frame is scaled, so that whatever applies to a still applies to every frame alike. `source`
// and `target` are working space of the source's and the enlargement's size.
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
                        ScaleSettings{}, 0, height);
    std::vector<std::uint8_t> enlarged(target.size() * 4);
    pixels::convertToRgba(scaling.mode, target, enlarged.data());
    return enlarged;
}

Result<std::vector<std::uint8_t>> encodeStill(std::span<const std::uint8_t> rgba, const AnimationShape& shape,
                                              OutputFormat format) {
    if (format == OutputFormat::Webp)
        return encodeWebp(rgba, shape.width, shape.height);
    Result<EncodedPng> png = encodePng(rgba, shape.width, shape.height);
    if (const Failure* failure = std::get_if<Failure>(&png))
        return *failure;
    return std::move(std::get<EncodedPng>(png).bytes);
}

} // namespace

std::optional<Result<EnlargedAnimation>> enlargeAnimationFile(std::span<const char> file, int factor,
                                                              std::optional<pixels::Rgb> background,
                                                              OutputFormat format) {
    std::optional<Result<Animation>> decoded = decodeAnimation(file);
    if (!decoded)
        return std::nullopt;
    if (const Failure* failure = std::get_if<Failure>(&*decoded))
        return *failure;
    Animation& animation = std::get<Animation>(*decoded);
    if (Result<> size = checkDeclaredImage({animation.width, animation.height}, factor);
        const Failure* failure = std::get_if<Failure>(&size))
        return *failure;
    // One mode for every frame: the still-image rule, applied to the frames together.
    const bool translucent =
        std::any_of(animation.frames.begin(), animation.frames.end(), [](const auto& frame) {
            return pixels::chooseScaleMode(frame.rgba, false) == pixels::ScaleMode::WithAlpha;
        });
    const FrameScaling scaling{translucent && !background ? pixels::ScaleMode::WithAlpha
                                                          : pixels::ScaleMode::Opaque,
                               background, factor, animation.width, animation.height};
    const auto scale = static_cast<std::uint32_t>(factor);
    const AnimationShape shape{animation.width * scale, animation.height * scale,
                               static_cast<std::uint32_t>(animation.frames.size()), animation.plays};
    std::vector<Pixel> source(std::size_t{animation.width} * animation.height);
    std::vector<Pixel> target(std::size_t{shape.width} * shape.height);

    EnlargedAnimation result;
    result.flattened = background && translucent;
    if (animation.frames.size() == 1) {
        Result<std::vector<std::uint8_t>> png =
            encodeStill(enlargeFrame(scaling, animation.frames[0].rgba, source, target), shape, format);
        if (const Failure* failure = std::get_if<Failure>(&png))
            return *failure;
        result.file = std::move(std::get<std::vector<std::uint8_t>>(png));
        return result;
    }
    Result<AnimationWriter> started =
        startAnimation(format, shape, scaling.mode == pixels::ScaleMode::Opaque);
    if (const Failure* failure = std::get_if<Failure>(&started))
        return *failure;
    AnimationWriter& writer = std::get<AnimationWriter>(started);
    for (AnimationFrame& frame : animation.frames) {
        AnimationFrame enlarged{enlargeFrame(scaling, frame.rgba, source, target), frame.delayNumerator,
                                frame.delayDenominator};
        frame.rgba = {};
        if (Result<> added = addFrame(writer, std::move(enlarged));
            const Failure* failure = std::get_if<Failure>(&added))
            return *failure;
    }
    Result<std::vector<std::uint8_t>> finished = finishAnimation(writer);
    if (const Failure* failure = std::get_if<Failure>(&finished))
        return *failure;
    result.file = std::move(std::get<std::vector<std::uint8_t>>(finished));
    return result;
}

} // namespace tessera::tool
