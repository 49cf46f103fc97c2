// Reading an image file's header without decoding the image, so that tessera-scale can refuse a
// size before the decoder allocates for it: SFML 2.5's decoder allocates whatever a file declares.
#pragma once

#include "scale_pixels.h"

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

} // namespace tessera::tool
