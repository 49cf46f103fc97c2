// Still images through stb_image (PNG, BMP, TGA, JPEG): first the size a file's header declares,
// without decoding the image, then, within a budget of pixels, the image itself as 8-bit RGBA.
// The decoder allocates whatever a file declares, so nothing is decoded before its size is judged.
//
// Both read exactly the same formats with the same parsers. Neither keeps state between calls, so
// any number of threads may call them at once.
#pragma once

#include "failure.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace tessera::codecs {

// Why a file that no decoder takes is refused, whether its header or its decoding failed.
inline constexpr std::string_view unreadableImage =
    "it is not a PNG, BMP, TGA, JPEG, GIF or WebP image, or it is damaged";

// What an image file's header declares, read before the file is decoded.
struct DeclaredImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Bytes per pixel of the decoder's own image buffer before it converts to 8-bit RGBA: 4 for
    // 8 bits per channel, 8 for 16.
    std::uint32_t decoderBytesPerPixel = 4;
};

// What the header declares, or a Read failure (unreadableImage) when the header is not one the
// decoder would take. A well-formed PNG header declares its size even when the decoder refuses the
// size alone, so that a huge PNG is judged too large, not unreadable.
Result<DeclaredImage> readDeclaredStill(std::span<const char> file);

// The largest image buffer the decoder is asked to fill: 256 MiB, the RGBA of the largest image
// that can be enlarged at all (2^26 pixels at factor 2). Only images of more than 8 bits per
// channel can reach it within the size limits; refusing them keeps any single allocation of the
// decoder well below 512 MiB.
inline constexpr std::uint64_t maxDecoderBytes = std::uint64_t{1} << 28;

struct DecodedImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba; // width * height pixels of red, green, blue and alpha, row-major
};

// Judges the canvas size a file declares before anything is decoded: a failure refuses the file
// with that failure. Every decoder reads the size once and asks this before it allocates.
using SizeJudge = std::function<Result<>(std::uint32_t width, std::uint32_t height)>;

// A judge that refuses a canvas of more than `maxPixels` pixels (an Enlarge failure).
SizeJudge withinPixels(std::uint64_t maxPixels);

// Reads the declared size, judges it (and the decoder's buffer against maxDecoderBytes, an Enlarge
// failure), decodes, and keeps the image only if it has exactly the size that was judged (a Read
// failure, unreadableImage, otherwise or when the file is damaged, a BMP or TGA whose pixel data
// is cut short included). 16-bit samples keep their high byte.
Result<DecodedImage> decodeStill(std::span<const char> file, const SizeJudge& judge);

} // namespace tessera::codecs
