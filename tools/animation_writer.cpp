#include "animation_writer.h"

#include "png_chunks.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <webp/encode.h>
#include <webp/mux.h>

namespace tessera::tool {
namespace {

// The IHDR payload and the concatenated IDAT payloads of a PNG the encoder wrote.
struct PngParts {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;
};

PngParts splitPng(std::span<const std::uint8_t> png) {
    PngParts parts;
    PngChunkReader reader{png};
    while (const std::optional<PngChunk> chunk = nextChunk(reader)) {
        if (chunk->type == "IHDR")
            parts.header.assign(chunk->data.begin(), chunk->data.end());
        else if (chunk->type == "IDAT")
            parts.data.insert(parts.data.end(), chunk->data.begin(), chunk->data.end());
    }
    return parts;
}

struct Rectangle {
    std::uint32_t x = 0, y = 0, width = 1, height = 1;
};

// The smallest rectangle holding every pixel that differs; one pixel at the corner when none does.
Rectangle changedRegion(std::span<const std::uint8_t> previous, std::span<const std::uint8_t> next,
                        std::uint32_t width, std::uint32_t height) {
    std::uint32_t left = width, right = 0, top = height, bottom = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::size_t row = std::size_t{y} * width * 4;
        for (std::uint32_t x = 0; x < width; ++x)
            if (std::memcmp(&previous[row + 4 * x], &next[row + 4 * x], 4) != 0) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = y + 1;
            }
    }
    if (right == 0)
        return {};
    return {left, top, right - left, bottom - top};
}

// The frame's delay as the 16-bit fraction the format holds, reduced and, past 65535, rounded.
std::pair<std::uint16_t, std::uint16_t> delayFraction(std::uint32_t numerator, std::uint32_t denominator) {
    while (numerator > 65535 || denominator > 65535) {
        numerator = (numerator + 1) / 2;
        denominator = std::max<std::uint32_t>(1, (denominator + 1) / 2);
    }
    return {static_cast<std::uint16_t>(numerator), static_cast<std::uint16_t>(denominator)};
}

Result<> addPngFrame(AnimatedPngWriter& writer, AnimationFrame&& frame) {
    const AnimationShape& shape = writer.shape;
    Rectangle changed{0, 0, shape.width, shape.height};
    if (writer.framesAdded > 0)
        changed = changedRegion(writer.previous, frame.rgba, shape.width, shape.height);
    std::vector<std::uint8_t> region(std::size_t{changed.width} * changed.height * 4);
    for (std::uint32_t row = 0; row < changed.height; ++row)
        std::memcpy(&region[std::size_t{row} * changed.width * 4],
                    &frame.rgba[((std::size_t{changed.y} + row) * shape.width + changed.x) * 4],
                    std::size_t{changed.width} * 4);
    Result<EncodedPng> png = encodePngAs(region, changed.width, changed.height, writer.colourType);
    if (const Failure* failure = std::get_if<Failure>(&png))
        return *failure;
    PngParts parts = splitPng(std::get<EncodedPng>(png).view());
    std::vector<std::uint8_t>& out = writer.file;
    if (writer.framesAdded == 0) {
        out.assign(std::begin(pngSignature), std::end(pngSignature));
        putChunk(out, "IHDR", parts.header);
        std::vector<std::uint8_t> control;
        putWord(control, shape.frames);
        putWord(control, shape.plays);
        putChunk(out, "acTL", control);
    }
    std::vector<std::uint8_t> control;
    putWord(control, writer.sequence++);
    for (const std::uint32_t value : {changed.width, changed.height, changed.x, changed.y})
        putWord(control, value);
    const auto [numerator, denominator] = delayFraction(frame.delayNumerator, frame.delayDenominator);
    control.insert(control.end(),
                   {static_cast<std::uint8_t>(numerator >> 8), static_cast<std::uint8_t>(numerator),
                    static_cast<std::uint8_t>(denominator >> 8), static_cast<std::uint8_t>(denominator), 0,
                    0});
    putChunk(out, "fcTL", control);
    if (writer.framesAdded == 0) {
        putChunk(out, "IDAT", parts.data);
    } else {
        std::vector<std::uint8_t> data;
        putWord(data, writer.sequence++);
        data.insert(data.end(), parts.data.begin(), parts.data.end());
        putChunk(out, "fdAT", data);
    }
    writer.previous = std::move(frame.rgba);
    ++writer.framesAdded;
    return {};
}

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
        return AnimatedPngWriter{
            shape, opaque ? PngColourType::Truecolour : PngColourType::TruecolourAlpha, {}, {}, 0, 0};
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
    if (auto* png = std::get_if<AnimatedPngWriter>(&writer)) {
        putChunk(png->file, "IEND", {});
        return std::move(png->file);
    }
    return finishWebp(std::get<AnimatedWebpWriter>(writer));
}

} // namespace tessera::tool
