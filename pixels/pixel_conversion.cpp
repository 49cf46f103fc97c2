#include "pixel_conversion.h"

#include <algorithm>
#include <charconv>

namespace tessera::pixels {
namespace {

std::optional<std::uint8_t> parseHexByte(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::optional<Rgb> parseColour(std::string_view text) {
    if (text.starts_with('#'))
        text.remove_prefix(1);
    if (text.size() != 6)
        return std::nullopt;
    const auto red = parseHexByte(text.substr(0, 2));
    const auto green = parseHexByte(text.substr(2, 2));
    const auto blue = parseHexByte(text.substr(4, 2));
    if (!red || !green || !blue)
        return std::nullopt;
    return Rgb{*red, *green, *blue};
}

std::string formatColour(Rgb colour) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string text = "#";
    for (std::uint8_t channel : {colour.red, colour.green, colour.blue}) {
        text += digits[channel >> 4];
        text += digits[channel & 15];
    }
    return text;
}

bool flattenToWords(std::span<const std::uint8_t> rgba, Rgb background, std::span<Pixel> words) {
    bool translucent = false;
    const std::size_t count = std::min(rgba.size() / 4, words.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* pixel = &rgba[4 * i];
        const std::uint8_t alpha = pixel[3];
        if (alpha == 255) {
            words[i] = opaquePixel(pixel[0], pixel[1], pixel[2]);
            continue;
        }
        translucent = true;
        words[i] = opaquePixel(compositeChannel(pixel[0], alpha, background.red),
                               compositeChannel(pixel[1], alpha, background.green),
                               compositeChannel(pixel[2], alpha, background.blue));
    }
    return translucent;
}

ScaleMode chooseScaleMode(std::span<const std::uint8_t> rgba, bool flattened) {
    if (flattened)
        return ScaleMode::Opaque;
    for (std::size_t at = 3; at < rgba.size(); at += 4)
        if (rgba[at] != 255)
            return ScaleMode::WithAlpha;
    return ScaleMode::Opaque;
}

Conversion convertToWords(std::span<const std::uint8_t> rgba, std::optional<Rgb> background,
                          std::span<Pixel> words) {
    const std::size_t count = std::min(rgba.size() / 4, words.size());
    const ScaleMode mode = chooseScaleMode(rgba.first(count * 4), background.has_value());
    if (background)
        return {mode, flattenToWords(rgba, *background, words)};
    if (mode == ScaleMode::WithAlpha)
        rgbaToPixels(rgba.data(), count, words.data());
    else
        rgbaToOpaquePixels(rgba.data(), count, words.data());
    return {mode, false};
}

void enlargeBand(ScaleMode mode, std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t width,
                 std::int32_t height, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd, const Edges& edges) {
    upscaleWithOptions(factor, source, target, width, height, settings,
                       {mode == ScaleMode::WithAlpha ? ColourMode::WithAlpha : ColourMode::Opaque,
                        edges.wrap ? EdgeMode::Wrap : EdgeMode::Clamp, edges.cellWidth, edges.cellHeight,
                        rowBegin, rowEnd});
}

void convertToRgba(ScaleMode mode, std::span<const Pixel> words, std::uint8_t* rgba) {
    if (mode == ScaleMode::WithAlpha)
        pixelsToRgba(words.data(), words.size(), rgba);
    else
        pixelsToOpaqueRgba(words.data(), words.size(), rgba);
}

} // namespace tessera::pixels
