// The painter's two needs of image files, kept in paint_files.cpp alone so that they can follow
// the command's file code wherever it lives: encoding a PNG and decoding any image file the
// command reads.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessera::paint {

// `width` × `height` pixels of red, green, blue and alpha bytes, row-major from the top, as a
// lossless PNG (RGB when every pixel is opaque). Empty when memory runs out.
std::vector<std::uint8_t> encodePaintPng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                         std::uint32_t height);

// A decoded file: its pixels as red, green, blue and alpha bytes, or, when it cannot be read, the
// reason in a few words and no pixels.
struct DecodedFile {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
    std::string failure;
};

DecodedFile decodePaintFile(std::span<const char> file);

} // namespace tessera::paint
