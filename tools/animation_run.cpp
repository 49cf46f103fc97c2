#include "animation_run.h"

#include "animation_decoder.h"
#include "animation_frames.h"
#include "image_decoder.h"
#include "png_encoder.h"

namespace tessera::tool {
namespace {

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
                                                              OutputFormat format,
                                                              const pixels::Edges& edges) {
    std::optional<Result<Animation>> decoded = decodeAnimation(file);
    if (!decoded)
        return std::nullopt;
    if (const Failure* failure = std::get_if<Failure>(&*decoded))
        return *failure;
    Animation& animation = std::get<Animation>(*decoded);
    if (Result<> size = checkDeclaredImage({animation.width, animation.height}, factor);
        const Failure* failure = std::get_if<Failure>(&size))
        return *failure;
    const FrameScaling scaling = chooseFrameScaling(animation, factor, background, edges);
    const auto scale = static_cast<std::uint32_t>(factor);
    const AnimationShape shape{animation.width * scale, animation.height * scale,
                               static_cast<std::uint32_t>(animation.frames.size()), animation.plays};
    std::vector<Pixel> source(std::size_t{animation.width} * animation.height);
    std::vector<Pixel> target(std::size_t{shape.width} * shape.height);

    EnlargedAnimation result;
    result.flattened = scaling.flattened;
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
