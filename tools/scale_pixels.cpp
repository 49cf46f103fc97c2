#include "scale_pixels.h"

#include <algorithm>

namespace tessera::tool {

bool flattenToWords(std::span<const std::uint8_t> rgba, Rgb background, std::span<Pixel> words) {
    bool translucent = false;
    const std::size_t count = std::min(rgba.size() / 4, words.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t red = rgba[4 * i];
        std::uint8_t green = rgba[4 * i + 1];
        std::uint8_t blue = rgba[4 * i + 2];
        const std::uint8_t alpha = rgba[4 * i + 3];
        if (alpha != 255) {
            translucent = true;
            red = compositeChannel(red, alpha, background.red);
            green = compositeChannel(green, alpha, background.green);
            blue = compositeChannel(blue, alpha, background.blue);
        }
        words[i] = Pixel{0xFF000000u} | Pixel{red} << 16 | Pixel{green} << 8 | Pixel{blue};
    }
    return translucent;
}

void writeOpaqueRgba(std::span<const Pixel> words, std::uint8_t* rgba) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const Pixel word = words[i];
        rgba[4 * i] = static_cast<std::uint8_t>(word >> 16);
        rgba[4 * i + 1] = static_cast<std::uint8_t>(word >> 8);
        rgba[4 * i + 2] = static_cast<std::uint8_t>(word);
        rgba[4 * i + 3] = 255;
    }
}

std::optional<std::string> checkTargetSize(std::uint64_t width, std::uint64_t height, int factor) {
    if (width == 0 || height == 0)
        return "the image is empty";
    const std::uint64_t limit = maxTargetPixels;
    const auto scale = static_cast<std::uint64_t>(factor);
    // Each side is checked alone first so that the product below cannot overflow.
    if (width > limit || height > limit || width * scale * height * scale > limit)
        return "the image is too large: " + std::to_string(width) + " x " + std::to_string(height) +
               " enlarged by " + std::to_string(factor) + " exceeds the limit of " + std::to_string(limit) +
               " output pixels";
    return std::nullopt;
}

std::optional<std::string> checkDeclaredImage(const DeclaredImage& image, int factor) {
    if (auto error = checkTargetSize(image.width, image.height, factor))
        return error;
    // Both sides are now small enough (their product at most maxTargetPixels) for this not to overflow.
    const std::uint64_t bytes = std::uint64_t{image.width} * image.height * image.decoderBytesPerPixel;
    if (bytes > maxDecoderBytes) {
        constexpr std::uint64_t mebibyte = std::uint64_t{1} << 20;
        return "the image is too large to decode: " + std::to_string(image.width) + " x " +
               std::to_string(image.height) + " needs " + std::to_string((bytes + mebibyte - 1) / mebibyte) +
               " MiB to decode, more than the limit of " + std::to_string(maxDecoderBytes / mebibyte) +
               " MiB";
    }
    return std::nullopt;
}

std::vector<RowBand> planBands(std::int32_t height, std::uint64_t targetPixels, int threads) {
    if (height <= 0)
        return {};
    std::uint64_t count = 1;
    if (threads > 1 && targetPixels >= minBandTargetPixels)
        count =
            std::min({std::uint64_t(threads) * 2, std::uint64_t(height), targetPixels / minBandTargetPixels});
    std::vector<RowBand> bands;
    for (std::uint64_t band = 0; band < count; ++band)
        bands.push_back({static_cast<std::int32_t>(std::uint64_t(height) * band / count),
                         static_cast<std::int32_t>(std::uint64_t(height) * (band + 1) / count)});
    return bands;
}

} // namespace tessera::tool
