#include "enlarge.h"

#include "png_encoder.h"

#include <algorithm>
#include <new>

namespace tessera::enlarge {
namespace {

const Failure outOfMemory{Step::Enlarge, "not enough memory"};

std::uint64_t targetPixels(std::uint64_t width, std::uint64_t height, int factor) {
    const auto scale = static_cast<std::uint64_t>(factor);
    return width * scale * height * scale;
}

Result<> judgeSize(std::uint64_t width, std::uint64_t height, const Request& request) {
    if (std::optional<std::string> refusal =
            pixels::targetSizeRefusal(width, height, request.factor, request.maxTargetPixels))
        return Failure{Step::Enlarge, std::move(*refusal)};
    return {};
}

Result<std::vector<std::uint8_t>> encodeFile(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                             std::uint32_t height, codecs::OutputFormat format, int threads) {
    if (format == codecs::OutputFormat::Webp)
        return codecs::encodeWebp(rgba, width, height);
    return codecs::encodePng(rgba, width, height, threads);
}

StillImage openStill(codecs::DecodedImage&& image, const Request& request) {
    StillImage still;
    still.width = static_cast<std::int32_t>(image.width);
    still.height = static_cast<std::int32_t>(image.height);
    still.source.resize(std::size_t{image.width} * image.height);
    still.conversion = pixels::convertToWords(image.rgba, request.background, still.source);
    image.rgba = {};
    still.targetPixels = targetPixels(image.width, image.height, request.factor);
    // Left uninitialised (the bands write every pixel); WebAssembly's library has no
    // make_unique_for_overwrite.
    still.target.reset(new Pixel[still.targetPixels]);
    return still;
}

Result<AnimationImage> openAnimation(codecs::Animation&& animation, const Request& request) {
    const bool translucent = std::any_of(
        animation.frames.begin(), animation.frames.end(),
        [](const codecs::AnimationFrame& frame) { return pixels::hasTranslucentPixel(frame.rgba); });
    AnimationImage opened;
    opened.mode = pixels::chooseColourMode(translucent, request.background.has_value());
    opened.flattened = translucent && request.background;
    const auto scale = static_cast<std::uint32_t>(request.factor);
    const codecs::AnimationShape shape{animation.width * scale, animation.height * scale,
                                       static_cast<std::uint32_t>(animation.frames.size()), animation.plays};
    Result<codecs::AnimationWriter> started =
        codecs::startAnimation(request.format, shape, opened.mode == ColourMode::Opaque);
    if (const Failure* failure = std::get_if<Failure>(&started))
        return *failure;
    opened.writer = std::get<codecs::AnimationWriter>(std::move(started));
    opened.source.resize(std::size_t{animation.width} * animation.height);
    opened.target.resize(std::size_t{shape.width} * shape.height);
    opened.animation = std::move(animation);
    return opened;
}

} // namespace

Result<Opened> openFile(std::span<const char> file, const Request& request) {
    try {
        if (request.factor < pixels::minFactor || request.factor > pixels::maxFactor)
            return Failure{Step::Enlarge, "the factor must be " + pixels::factorList()};
        // The canvas is judged for the factor and the budget before anything is decoded.
        Result<codecs::DecodedFile> decoded =
            codecs::decodeImageFile(file, [&request](std::uint32_t width, std::uint32_t height) {
                return judgeSize(width, height, request);
            });
        if (const Failure* failure = std::get_if<Failure>(&decoded))
            return *failure;
        codecs::DecodedFile& contents = std::get<codecs::DecodedFile>(decoded);
        if (auto* still = std::get_if<codecs::DecodedImage>(&contents))
            return Opened{request, openStill(std::move(*still), request)};
        Result<AnimationImage> animation =
            openAnimation(std::get<codecs::Animation>(std::move(contents)), request);
        if (const Failure* failure = std::get_if<Failure>(&animation))
            return *failure;
        return Opened{request, std::get<AnimationImage>(std::move(animation))};
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    }
}

Result<Opened> openPixels(codecs::DecodedImage&& image, const Request& request) {
    try {
        if (request.factor < pixels::minFactor || request.factor > pixels::maxFactor)
            return Failure{Step::Enlarge, "the factor must be " + pixels::factorList()};
        if (Result<> judged = judgeSize(image.width, image.height, request);
            std::holds_alternative<Failure>(judged))
            return std::get<Failure>(std::move(judged));
        if (image.rgba.size() != std::uint64_t{image.width} * image.height * 4)
            return Failure{Step::Read, "the pixels are not width x height x 4 bytes of RGBA"};
        return Opened{request, openStill(std::move(image), request)};
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    }
}

std::int32_t sourceWidth(const Opened& opened) {
    if (const auto* still = std::get_if<StillImage>(&opened.image))
        return still->width;
    return static_cast<std::int32_t>(std::get<AnimationImage>(opened.image).animation.width);
}

std::int32_t sourceHeight(const Opened& opened) {
    if (const auto* still = std::get_if<StillImage>(&opened.image))
        return still->height;
    return static_cast<std::int32_t>(std::get<AnimationImage>(opened.image).animation.height);
}

ColourMode colourMode(const Opened& opened) {
    if (const auto* still = std::get_if<StillImage>(&opened.image))
        return still->conversion.mode;
    return std::get<AnimationImage>(opened.image).mode;
}

bool flattened(const Opened& opened) {
    if (const auto* still = std::get_if<StillImage>(&opened.image))
        return still->conversion.flattened;
    return std::get<AnimationImage>(opened.image).flattened;
}

namespace {

// Enlarges the band into `target`, the whole image's or the band's own, and turns its rows into
// RGBA bytes in their own storage, on the thread that made them: no second full-size buffer and
// no pass over the whole image on one thread.
void enlargeRows(const Request& request, const StillImage& still, pixels::RowBand rows, Pixel* target,
                 bool bandTarget) {
    ScaleOptions options = request.edges;
    options.colours = still.conversion.mode;
    options.rowBegin = rows.begin;
    options.rowEnd = rows.end;
    options.bandTarget = bandTarget;
    upscaleWithOptions(request.factor, still.source.data(), target, still.width, still.height,
                       ScaleSettings{}, options);
    const auto factor = static_cast<std::size_t>(request.factor);
    const std::size_t perSourceRow = static_cast<std::size_t>(still.width) * factor * factor;
    Pixel* band = bandTarget ? target : target + static_cast<std::size_t>(rows.begin) * perSourceRow;
    pixels::convertToRgba(still.conversion.mode,
                          {band, static_cast<std::size_t>(rows.end - rows.begin) * perSourceRow},
                          reinterpret_cast<std::uint8_t*>(band));
}

} // namespace

void enlargeBand(const Request& request, StillImage& still, pixels::RowBand rows) {
    enlargeRows(request, still, rows, still.target.get(), false);
}

void enlargeBand(const Request& request, const StillImage& still, pixels::RowBand rows, Pixel* band) {
    enlargeRows(request, still, rows, band, true);
}

Result<std::vector<std::uint8_t>> encodeStill(const Request& request, StillImage& still, int threads) {
    still.source = {};
    const auto* rgba = reinterpret_cast<const std::uint8_t*>(still.target.get());
    const auto factor = static_cast<std::uint32_t>(request.factor);
    Result<std::vector<std::uint8_t>> file =
        encodeFile({rgba, still.targetPixels * 4}, static_cast<std::uint32_t>(still.width) * factor,
                   static_cast<std::uint32_t>(still.height) * factor, request.format, threads);
    still.target.reset();
    return file;
}

Result<> enlargeFrame(const Request& request, AnimationImage& animation) {
    try {
        codecs::AnimationFrame& frame = animation.animation.frames.at(animation.nextFrame++);
        pixels::convertToWordsAs(animation.mode, frame.rgba, request.background, animation.source);
        frame.rgba = {};
        ScaleOptions options = request.edges;
        options.colours = animation.mode;
        upscaleWithOptions(request.factor, animation.source.data(), animation.target.data(),
                           static_cast<std::int32_t>(animation.animation.width),
                           static_cast<std::int32_t>(animation.animation.height), ScaleSettings{}, options);
        std::vector<std::uint8_t> rgba(animation.target.size() * 4);
        pixels::convertToRgba(animation.mode, animation.target, rgba.data());
        return codecs::addFrame(animation.writer,
                                {std::move(rgba), frame.delayNumerator, frame.delayDenominator});
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    }
}

Result<std::vector<std::uint8_t>> finishAnimation(AnimationImage& animation) {
    animation.source = {};
    animation.target = {};
    return codecs::finishAnimation(animation.writer);
}

std::vector<std::uint8_t> sourceRgba(const Opened& opened, std::size_t frame) {
    const auto width = static_cast<std::size_t>(sourceWidth(opened));
    const auto height = static_cast<std::size_t>(sourceHeight(opened));
    std::vector<std::uint8_t> rgba(width * height * 4);
    if (const auto* still = std::get_if<StillImage>(&opened.image)) {
        pixels::convertToRgba(still->conversion.mode, still->source, rgba.data());
        return rgba;
    }
    const AnimationImage& animation = std::get<AnimationImage>(opened.image);
    std::vector<Pixel> words(width * height);
    pixels::convertToWordsAs(animation.mode, animation.animation.frames.at(frame).rgba,
                             opened.request.background, words);
    pixels::convertToRgba(animation.mode, words, rgba.data());
    return rgba;
}

} // namespace tessera::enlarge
