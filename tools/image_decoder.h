// Reading image files: first the size a file's header declares, without decoding the image, so
// that tessera-scale can refuse a size before the decoder allocates for it (the decoder allocates
// whatever a file declares); then the image itself, as 8-bit RGBA.
//
// Both read exactly the same formats with the same parsers. Neither keeps state between calls, so
// any number of threads may call them at once.
#pragma once

#include "scale_pixels.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace tessera::tool {

// Why a file that no decoder takes is refused, whether its header or its decoding failed.
inline constexpr std::string_view unreadableImage =
    "it is not a PNG, BMP, TGA, JPEG or GIF image, or it is damaged";

// What the header declares for each format the decoder reads (JPEG, PNG, BMP, TGA, GIF, PSD,
// HDR, PIC and PNM), or nothing when the header is not one the decoder would take; a side too
// large for the decoder's int declares nothing either.
std::optional<DeclaredImage> readDeclaredImage(std::span<const char> file);

// Hands the decoder's pixel buffer back to the decoder, which allocated it.
struct FreeDecodedPixels {
    void operator()(std::uint8_t* pixels) const;
};

struct DecodedImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // width * height pixels of red, green, blue and alpha, row-major from the top.
    std::unique_ptr<std::uint8_t[], FreeDecodedPixels> rgba;
};

// Decodes a file of any format readDeclaredImage reads (a GIF's first frame) to RGBA; nothing
// when the file is damaged. HDR is tone-mapped to 8 bits and 16-bit samples keep their high byte.
// The decoder allocates for the size the header declares: judge that size first.
std::optional<DecodedImage> decodeImage(std::span<const char> file);

} // namespace tessera::tool
