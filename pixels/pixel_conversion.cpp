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

bool hasTranslucentPixel(std::span<const std::uint8_t> rgba) {
    for (std::size_t at = 3; at < rgba.size(); at += 4)
        if (rgba[at] != 255)
            return true;
    return false;
}

bool convertToWordsAs(ColourMode mode, std::span<const std::uint8_t> rgba, std::optional<Rgb> background,
                      std::span<Pixel> words) {
    const std::size_t count = std::min(rgba.size() / 4, words.size());
    if (background)
        return flattenToWords(rgba, *background, words);
    if (mode == ColourMode::WithAlpha)
        rgbaToPixels(rgba.data(), count, words.data());
    else
        rgbaToOpaquePixels(rgba.data(), count, words.data());
    return false;
}

Conversion convertToWords(std::span<const std::uint8_t> rgba, std::optional<Rgb> background,
                          std::span<Pixel> words) {
    const std::size_t count = std::min(rgba.size() / 4, words.size());
    const ColourMode mode =
        chooseColourMode(hasTranslucentPixel(rgba.first(count * 4)), background.has_value());
    return {mode, convertToWordsAs(mode, rgba, background, words)};
}

void convertToRgba(ColourMode mode, std::span<const Pixel> words, std::uint8_t* rgba) {
    if (mode == ColourMode::WithAlpha)
        pixelsToRgba(words.data(), words.size(), rgba);
    else
        pixelsToOpaqueRgba(words.data(), words.size(), rgba);
}

} // namespace tessera::pixels
