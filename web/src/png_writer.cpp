#include "png_writer.h"

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

std::vector<std::uint8_t> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                    std::uint32_t height) {
    const std::size_t count = rgba.size() / 4;
    bool opaque = true;
    for (std::size_t i = 0; i < count && opaque; ++i)
        opaque = rgba[4 * i + 3] == 255;
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

} // namespace tessera::web
