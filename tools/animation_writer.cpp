#include "animation_writer.h"

#include "png_encoder.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <zlib.h>

namespace tessera::tool {
namespace {

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data) {
    putWord(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    putWord(out, static_cast<std::uint32_t>(crc32(0, &out[typeAt], static_cast<uInt>(out.size() - typeAt))));
}

std::uint32_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The IHDR payload and the concatenated IDAT payloads of a PNG the encoder wrote.
struct PngParts {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;
};

PngParts splitPng(std::span<const std::uint8_t> png) {
    PngParts parts;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = wordAt(png, at);
        const std::string_view type{reinterpret_cast<const char*>(&png[at + 4]), 4};
        const auto payload = png.subspan(at + 8, length);
        if (type == "IHDR")
            parts.header.assign(payload.begin(), payload.end());
        else if (type == "IDAT")
            parts.data.insert(parts.data.end(), payload.begin(), payload.end());
        at += 12 + std::size_t{length};
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

} // namespace

Result<std::vector<std::uint8_t>> encodeAnimatedPng(const Animation& animation, bool opaque) {
    const PngColourType type = opaque ? PngColourType::Truecolour : PngColourType::TruecolourAlpha;
    const std::uint32_t width = animation.width;
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::uint32_t sequence = 0;
    std::vector<std::uint8_t> region;
    for (std::size_t index = 0; index < animation.frames.size(); ++index) {
        const AnimationFrame& frame = animation.frames[index];
        Rectangle changed{0, 0, width, animation.height};
        if (index > 0)
            changed = changedRegion(animation.frames[index - 1].rgba, frame.rgba, width, animation.height);
        region.resize(std::size_t{changed.width} * changed.height * 4);
        for (std::uint32_t row = 0; row < changed.height; ++row)
            std::memcpy(&region[std::size_t{row} * changed.width * 4],
                        &frame.rgba[((std::size_t{changed.y} + row) * width + changed.x) * 4],
                        std::size_t{changed.width} * 4);
        Result<EncodedPng> png = encodePngAs(region, changed.width, changed.height, type);
        if (const Failure* failure = std::get_if<Failure>(&png))
            return *failure;
        PngParts parts = splitPng(std::get<EncodedPng>(png).view());
        if (index == 0) {
            putChunk(out, "IHDR", parts.header);
            std::vector<std::uint8_t> control;
            putWord(control, static_cast<std::uint32_t>(animation.frames.size()));
            putWord(control, animation.plays);
            putChunk(out, "acTL", control);
        }
        std::vector<std::uint8_t> control;
        putWord(control, sequence++);
        for (const std::uint32_t value : {changed.width, changed.height, changed.x, changed.y})
            putWord(control, value);
        const auto [numerator, denominator] = delayFraction(frame.delayNumerator, frame.delayDenominator);
        control.insert(control.end(),
                       {static_cast<std::uint8_t>(numerator >> 8), static_cast<std::uint8_t>(numerator),
                        static_cast<std::uint8_t>(denominator >> 8), static_cast<std::uint8_t>(denominator),
                        0, 0});
        putChunk(out, "fcTL", control);
        if (index == 0) {
            putChunk(out, "IDAT", parts.data);
            continue;
        }
        std::vector<std::uint8_t> data;
        putWord(data, sequence++);
        data.insert(data.end(), parts.data.begin(), parts.data.end());
        putChunk(out, "fdAT", data);
    }
    putChunk(out, "IEND", {});
    return out;
}

} // namespace tessera::tool
