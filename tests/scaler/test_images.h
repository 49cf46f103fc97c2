// Small images and helpers shared by the scaler tests.
#pragma once

#include <cstdint>
#include <functional>
#include <tessera/scaler.h>
#include <vector>

namespace tessera::test {

constexpr Pixel white = 0xFFFFFFFFu;
constexpr Pixel black = 0xFF000000u;

struct Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel> pixels;

    Pixel at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

inline Image makeImage(std::int32_t width, std::int32_t height,
                       const std::function<Pixel(std::int32_t, std::int32_t)>& colourAt) {
    Image image{width, height, {}};
    image.pixels.reserve(static_cast<std::size_t>(width) * height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            image.pixels.push_back(colourAt(x, y));
    return image;
}

// White on and above the main diagonal, black below it.
inline Image diagonalImage() {
    return makeImage(8, 8, [](std::int32_t x, std::int32_t y) { return x >= y ? white : black; });
}

// White where column >= 2 * row: an edge rising one row per two columns.
inline Image shallowEdgeImage() {
    return makeImage(12, 6, [](std::int32_t x, std::int32_t y) { return x >= 2 * y ? white : black; });
}

inline Image dotImage(std::int32_t size, std::int32_t dotX, std::int32_t dotY, Pixel field, Pixel dot) {
    return makeImage(size, size,
                     [=](std::int32_t x, std::int32_t y) { return x == dotX && y == dotY ? dot : field; });
}

struct Enlarged {
    std::int32_t factor = 0;
    std::int32_t width = 0; // in target pixels
    std::vector<Pixel> pixels;

    // Cell (row, column) of the block of source pixel (x, y).
    Pixel cell(std::int32_t x, std::int32_t y, std::int32_t row, std::int32_t column) const {
        return pixels[static_cast<std::size_t>(y * factor + row) * width + x * factor + column];
    }
};

inline Enlarged enlarge(const Image& image, std::int32_t factor) {
    Enlarged out{factor, image.width * factor, {}};
    out.pixels.assign(static_cast<std::size_t>(image.width) * image.height * factor * factor, 0x12345678u);
    upscale(factor, image.pixels.data(), out.pixels.data(), image.width, image.height, ScaleSettings{},
            INT32_MAX);
    return out;
}

// A grey word with the given channel value on all three channels.
constexpr Pixel grey(std::uint32_t value, std::uint32_t alpha) {
    return (alpha << 24) | (value << 16) | (value << 8) | value;
}

} // namespace tessera::test
