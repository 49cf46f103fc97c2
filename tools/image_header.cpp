#include "image_header.h"

#include <climits>

// The header parsers come from the same decoder family that SFML carries inside its own library.
// They are compiled here alone, with static linkage so that no symbol can meet SFML's copy, and
// without file I/O or the failure strings, which this code never reads.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
// The formats SFML's decoder reads, each of them and no other.
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_GIF
#define STBI_ONLY_PSD
#define STBI_ONLY_HDR
#define STBI_ONLY_PIC
#define STBI_ONLY_PNM
#include <stb/stb_image.h>

namespace tessera::tool {

std::optional<DeclaredImage> readDeclaredImage(std::span<const char> file) {
    if (file.size() > INT_MAX)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const stbi_uc*>(file.data());
    const auto length = static_cast<int>(file.size());
    int width = 0;
    int height = 0;
    int channels = 0;
    if (stbi_info_from_memory(bytes, length, &width, &height, &channels) == 0)
        return std::nullopt;
    // Sides that do not fit an int, such as a PSD's past 2^31, arrive here negative. An empty image
    // goes on, to be refused as empty.
    if (width < 0 || height < 0)
        return std::nullopt;
    // stb's 16-bit test misreads a PSD's depth (v2.27), at worst overstating the buffer of a PSD
    // over a million rows high; SFML decodes a PSD straight to 8 bits anyway.
    std::uint32_t bytesPerPixel = 4;
    if (stbi_is_hdr_from_memory(bytes, length) != 0)
        bytesPerPixel = 4 * sizeof(float);
    else if (stbi_is_16_bit_from_memory(bytes, length) != 0)
        bytesPerPixel = 8;
    return DeclaredImage{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                         bytesPerPixel};
}

} // namespace tessera::tool
