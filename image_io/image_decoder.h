// Reading image files: first the size a file's header declares, without decoding the image, so
// that tessera-scale can refuse a size before the decoder allocates for it (the decoder allocates
// whatever a file declares); then the image itself, as 8-bit RGBA.
//
// Both read exactly the same formats with the same parsers. Neither keeps state between calls, so
// any number of threads may call them at once.
#pragma once

#include "failure.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tessera::tool {

// Why a file that no decoder takes is refused, whether its header or its decoding failed.
inline constexpr std::string_view unreadableImage =
    "it is not a PNG, BMP, TGA, JPEG or GIF image, or it is damaged";

// What an image file's header declares, read before the file is decoded.
struct DeclaredImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Bytes per pixel of the decoder's own image buffer before it converts to 8-bit RGBA: 4 for
    // 8 bits per channel, 8 for 16.
    std::uint32_t decoderBytesPerPixel = 4;
};

// What the header declares for each format the decoder reads (PNG, BMP, TGA, JPEG and GIF, the
// ones unreadableImage names), or a Read failure (unreadableImage) when the header is not one
// the decoder would take; a side too large for the decoder's int declares nothing either.
Result<DeclaredImage> readDeclaredImage(std::span<const char> file);

// The largest image buffer the decoder is asked to fill: 256 MiB, the RGBA of the largest image
// that can be enlarged at all (2^26 pixels at factor 2). Only images of more than 8 bits per
// channel can reach it within maxTargetPixels; refusing them keeps any single allocation of the
// decoder well below 512 MiB.
inline constexpr std::uint64_t maxDecoderBytes = std::uint64_t{1} << 28;

// Whether the image a header declares can be decoded and enlarged by `factor`: the shared size
// limit (pixels::targetSizeRefusal) on the declared size, then the decoder's buffer against maxDecoderBytes
// (an Enlarge failure).
Result<> checkDeclaredImage(const DeclaredImage& image, int factor);

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

// Decodes a file of any format readDeclaredImage reads (a GIF's first frame) to RGBA; a Read
// failure (unreadableImage) when the file is damaged. 16-bit samples keep their high byte. The decoder
// allocates for the size the header declares: judge that size first.
Result<DecodedImage> decodeImage(std::span<const char> file);

// The one way from a file's bytes to its pixels: reads the size the header declares, judges it for
// `factor` with checkDeclaredImage before anything is decoded, decodes, and keeps the image only
// if it has exactly the size that was judged (a Read failure otherwise).
Result<DecodedImage> loadImage(std::span<const char> file, int factor);

} // namespace tessera::tool
