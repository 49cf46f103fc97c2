#include "source_image.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

SourceImage loadSourceImage(const std::string& path, Alpha alpha) {
    int width = 0, height = 0, channels = 0;
    std::uint8_t* rgba = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (rgba == nullptr)
        return {};
    SourceImage source{width, height, std::vector<Pixel>(static_cast<std::size_t>(width) * height)};
    if (alpha == Alpha::Kept)
        rgbaToPixels(rgba, source.pixels.size(), source.pixels.data());
    else
        rgbaToOpaquePixels(rgba, source.pixels.size(), source.pixels.data());
    stbi_image_free(rgba);
    return source;
}
