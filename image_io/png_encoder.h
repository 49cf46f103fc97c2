// PNG encoding of tessera-scale's outputs, in memory, so that writing the file is a plain checked
// write of bytes (image_files.h).
#pragma once

#include "failure.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tessera::tool {

struct EncodedPng {
    std::vector<std::uint8_t> bytes;

    std::span<const std::uint8_t> view() const { return bytes; }
};

// Encodes `width` x `height` pixels of 8-bit red, green, blue and alpha (row-major from the top)
// as a PNG holding nothing but the image, in the smallest colour type that keeps every pixel
// exactly: up to 256 distinct pixels as a palette of 1, 2, 4 or 8 bits per pixel (with a
// transparency chunk when some are not opaque), more as RGB when all are opaque, else as RGBA.
// Decoding the file to RGBA gives `rgba` back byte for byte. A Write failure only when the
// encoder runs out of memory or there is no image. A large image's rows are compressed on up to
// `threads` threads, with the same pixels whatever their number.
Result<EncodedPng> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                             int threads = 1);

// The colour type of an image that must match others, such as the frames of an animated PNG.
enum class PngColourType { Truecolour, TruecolourAlpha };

// As encodePng, but always in the given colour type, 8 bits a channel (Truecolour drops alpha).
Result<EncodedPng> encodePngAs(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                               PngColourType type);

} // namespace tessera::tool
