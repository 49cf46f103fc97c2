#include "png_writer.h"

#include "png_chunks.h"
#include "png_encoder.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

// Debian's stb_image_write, with its own deflate: the command's PNG library and zlib are not
// built for WebAssembly here. Static linkage and no file I/O.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace tessera::web {
namespace {

// RGB (the colours of RGBA) or RGBA, as asked; empty when memory runs out.
std::vector<std::uint8_t> encodeChannels(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                         std::uint32_t height, bool opaque) {
    const std::size_t count = rgba.size() / 4;
    std::vector<std::uint8_t> rgb;
    if (opaque) {
        rgb.resize(count * 3);
        for (std::size_t i = 0; i < count; ++i)
            std::copy_n(&rgba[4 * i], 3, &rgb[3 * i]);
    }
    const int channels = opaque ? 3 : 4;
    const std::uint8_t* pixels = opaque ? rgb.data() : rgba.data();
    int size = 0;
    const std::unique_ptr<unsigned char, decltype(&std::free)> png{
        stbi_write_png_to_mem(pixels, static_cast<int>(width) * channels, static_cast<int>(width),
                              static_cast<int>(height), channels, &size),
        &std::free};
    if (!png)
        return {};
    return {png.get(), png.get() + size};
}

} // namespace

std::vector<std::uint8_t> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                    std::uint32_t height) {
    const std::size_t count = rgba.size() / 4;
    bool opaque = true;
    for (std::size_t i = 0; i < count && opaque; ++i)
        opaque = rgba[4 * i + 3] == 255;
    return encodeChannels(rgba, width, height, opaque);
}

} // namespace tessera::web

std::uint32_t tessera::tool::chunkCrc(std::span<const std::uint8_t> typeAndData) {
    // The encoder's own CRC, which only reads the bytes.
    return stbiw__crc32(const_cast<unsigned char*>(typeAndData.data()), static_cast<int>(typeAndData.size()));
}

// The animated PNG writer's frames (animated_png_writer.h), encoded here as every other PNG of the
// page is.
tessera::tool::Result<tessera::tool::EncodedPng>
tessera::tool::encodePngAs(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                           PngColourType type) {
    std::vector<std::uint8_t> png =
        web::encodeChannels(rgba, width, height, type == PngColourType::Truecolour);
    if (png.empty())
        return Failure{Step::Write, "the page ran out of memory writing its PNG"};
    return EncodedPng{std::move(png)};
}
