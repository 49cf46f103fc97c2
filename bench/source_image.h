// A benchmark's source image, loaded the way the editor's canvas holds pixels.
#pragma once

#include <SFML/Graphics/Image.hpp>
#include <cstdint>
#include <string>
#include <tessera/scaler.h>
#include <vector>

struct SourceImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel> pixels;
};

// Every pixel enters as 0xFFRRGGBB, as the editor's canvas holds it. An image that cannot be
// loaded gives an empty source.
inline SourceImage loadSourceImage(const std::string& path) {
    sf::Image image;
    if (!image.loadFromFile(path))
        return {};
    const auto size = image.getSize();
    SourceImage source{static_cast<std::int32_t>(size.x), static_cast<std::int32_t>(size.y), {}};
    const std::uint8_t* rgba = image.getPixelsPtr();
    source.pixels.resize(static_cast<std::size_t>(size.x) * size.y);
    for (std::size_t i = 0; i < source.pixels.size(); ++i)
        source.pixels[i] =
            0xFF000000u | Pixel{rgba[4 * i]} << 16 | Pixel{rgba[4 * i + 1]} << 8 | rgba[4 * i + 2];
    return source;
}
