#include "apng_writer.h"

#include "png_chunks.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tessera::codecs {
namespace {

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

} // namespace

AnimatedPngWriter startAnimatedPng(const AnimationShape& shape, bool opaque) {
    return {shape, opaque ? PngColourType::Truecolour : PngColourType::TruecolourAlpha, {}, {}, 0, 0};
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
    Result<CompressedImage> compressed =
        compressImage(region, changed.width, changed.height, writer.colourType);
    if (const Failure* failure = std::get_if<Failure>(&compressed))
        return *failure;
    const CompressedImage& parts = std::get<CompressedImage>(compressed);
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
        putChunk(out, "IDAT", parts.stream);
    } else {
        std::vector<std::uint8_t> data;
        putWord(data, writer.sequence++);
        data.insert(data.end(), parts.stream.begin(), parts.stream.end());
        putChunk(out, "fdAT", data);
    }
    writer.previous = std::move(frame.rgba);
    ++writer.framesAdded;
    return {};
}

std::vector<std::uint8_t> finishAnimatedPng(AnimatedPngWriter& writer) {
    putChunk(writer.file, "IEND", {});
    return std::move(writer.file);
}

} // namespace tessera::codecs
