#include "animation_writer.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <webp/encode.h>
#include <webp/mux.h>

namespace tessera::codecs {
namespace {

Failure webpFailure(AnimatedWebpWriter& writer) {
    return {Step::Write,
            std::string{"the WebP encoder failed: "} + WebPAnimEncoderGetError(writer.encoder.get())};
}

struct WebpPicture {
    WebPPicture picture{};
    WebpPicture(const WebpPicture&) = delete;
    WebpPicture& operator=(const WebpPicture&) = delete;
    WebpPicture() { WebPPictureInit(&picture); }
    ~WebpPicture() { WebPPictureFree(&picture); }
};

// Lossless, and keeping the colour under a transparent pixel, which the PNG keeps too.
std::optional<WebPConfig> losslessConfig() {
    WebPConfig config;
    if (!WebPConfigInit(&config))
        return std::nullopt;
    config.lossless = 1;
    config.exact = 1;
    return config;
}

bool importRgba(WebpPicture& picture, std::span<const std::uint8_t> rgba, std::uint32_t width,
                std::uint32_t height) {
    picture.picture.use_argb = 1;
    picture.picture.width = static_cast<int>(width);
    picture.picture.height = static_cast<int>(height);
    return WebPPictureImportRGBA(&picture.picture, rgba.data(), static_cast<int>(width * 4)) != 0;
}

const Failure webpOutOfMemory{Step::Write, "not enough memory to encode the WebP"};
const Failure webpTooLong{Step::Write, "the animation lasts longer than a WebP can hold"};

Result<> addWebpFrame(AnimatedWebpWriter& writer, AnimationFrame&& frame) {
    const std::optional<WebPConfig> config = losslessConfig();
    WebpPicture picture;
    if (!config || !importRgba(picture, frame.rgba, writer.shape.width, writer.shape.height))
        return webpOutOfMemory;
    frame.rgba = {};
    if (writer.milliseconds > INT_MAX)
        return webpTooLong;
    if (!WebPAnimEncoderAdd(writer.encoder.get(), &picture.picture, static_cast<int>(writer.milliseconds),
                            &*config))
        return webpFailure(writer);
    // Rounded to the nearest millisecond.
    writer.milliseconds +=
        (std::uint64_t{frame.delayNumerator} * 1000 + frame.delayDenominator / 2) / frame.delayDenominator;
    return {};
}

Failure webpTooWide(std::uint32_t width, std::uint32_t height) {
    return {Step::Enlarge, "the enlargement is " + std::to_string(width) + " x " + std::to_string(height) +
                               ", and a WebP is at most " + std::to_string(maxWebpSide) + " pixels a side"};
}

Result<std::vector<std::uint8_t>> finishWebp(AnimatedWebpWriter& writer) {
    if (writer.milliseconds > INT_MAX)
        return webpTooLong;
    if (!WebPAnimEncoderAdd(writer.encoder.get(), nullptr, static_cast<int>(writer.milliseconds), nullptr))
        return webpFailure(writer);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(writer.encoder.get(), &data))
        return webpFailure(writer);
    std::vector<std::uint8_t> file(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return file;
}

} // namespace

Result<std::vector<std::uint8_t>> encodeWebp(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                             std::uint32_t height) {
    if (width > maxWebpSide || height > maxWebpSide)
        return webpTooWide(width, height);
    const std::optional<WebPConfig> config = losslessConfig();
    WebpPicture picture;
    if (!config || !importRgba(picture, rgba, width, height))
        return webpOutOfMemory;
    WebPMemoryWriter memory;
    WebPMemoryWriterInit(&memory);
    picture.picture.writer = WebPMemoryWrite;
    picture.picture.custom_ptr = &memory;
    const bool encoded = WebPEncode(&*config, &picture.picture) != 0;
    std::vector<std::uint8_t> file;
    if (encoded)
        file.assign(memory.mem, memory.mem + memory.size);
    WebPMemoryWriterClear(&memory);
    if (!encoded)
        return webpOutOfMemory;
    return file;
}

void FreeWebpEncoder::operator()(WebPAnimEncoder* encoder) const {
    WebPAnimEncoderDelete(encoder);
}

Result<AnimationWriter> startAnimation(OutputFormat format, const AnimationShape& shape, bool opaque) {
    if (format == OutputFormat::Png)
        return startAnimatedPng(shape, opaque);
    if (shape.width > maxWebpSide || shape.height > maxWebpSide)
        return webpTooWide(shape.width, shape.height);
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options))
        return Failure{Step::Write, "the WebP encoder cannot start"};
    options.anim_params.loop_count = static_cast<int>(std::min<std::uint32_t>(shape.plays, 65535));
    options.allow_mixed = 0;
    AnimatedWebpWriter writer{shape, {}, 0};
    writer.encoder.reset(
        WebPAnimEncoderNew(static_cast<int>(shape.width), static_cast<int>(shape.height), &options));
    if (!writer.encoder)
        return Failure{Step::Write, "the WebP encoder cannot start"};
    return AnimationWriter{std::move(writer)};
}

Result<> addFrame(AnimationWriter& writer, AnimationFrame&& frame) {
    if (auto* png = std::get_if<AnimatedPngWriter>(&writer))
        return addPngFrame(*png, std::move(frame));
    return addWebpFrame(std::get<AnimatedWebpWriter>(writer), std::move(frame));
}

Result<std::vector<std::uint8_t>> finishAnimation(AnimationWriter& writer) {
    if (auto* png = std::get_if<AnimatedPngWriter>(&writer))
        return finishAnimatedPng(*png);
    return finishWebp(std::get<AnimatedWebpWriter>(writer));
}

} // namespace tessera::codecs
