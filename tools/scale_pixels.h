// Pixel conversions and sizing of tessera-scale, free of any I/O.
//
// Decoded images arrive as 8-bit RGBA bytes, row-major. The scaler takes them as words
// 0xFFRRGGBB, exactly as the editor's canvas holds them, and its target goes back out as
// RGBA bytes with alpha forced to 255, as the editor saves it.
#pragma once

#include "command_line.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tessera/scaler.h>
#include <vector>

namespace tessera::tool {

// Composites one channel of colour over the background with integer arithmetic, rounding to
// nearest (halves up): (colour * alpha + background * (255 - alpha) + 127) / 255. Alpha 255
// keeps the colour and alpha 0 gives the background exactly.
constexpr std::uint8_t compositeChannel(std::uint8_t colour, std::uint8_t alpha, std::uint8_t background) {
    return static_cast<std::uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}

// Fills `words` (rgba.size() / 4 of them) with the opaque canvas words of the RGBA bytes,
// compositing pixels whose alpha is below 255 over the background. Returns whether any
// pixel had alpha below 255.
bool flattenToWords(std::span<const std::uint8_t> rgba, Rgb background, std::span<Pixel> words);

// Writes the RGBA bytes of `words` with alpha 255 to `rgba` (4 bytes per word). `rgba` may
// be the storage of `words` itself: each word is read before its own four bytes are written.
void writeOpaqueRgba(std::span<const Pixel> words, std::uint8_t* rgba);

// The largest enlargement written, in pixels: 2^28 (a 16384 x 16384 image, 1 GiB of RGBA).
// Memory is the practical bound; it also keeps the PNG encoder's 32-bit sizes and the
// scaler's 32-bit target width far from overflow.
inline constexpr std::uint64_t maxTargetPixels = std::uint64_t{1} << 28;

// Why an image of this size cannot be enlarged by `factor`, or nothing when it can.
std::optional<std::string> checkTargetSize(std::uint64_t width, std::uint64_t height, int factor);

// What an image file's header declares, read before the file is decoded.
struct DeclaredImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Bytes per pixel of the decoder's own image buffer before it converts to 8-bit RGBA: 4 for
    // 8 bits per channel, 8 for 16, 16 for floating-point HDR (four floats).
    std::uint32_t decoderBytesPerPixel = 4;
};

// The largest image buffer the decoder is asked to fill: 256 MiB, the RGBA of the largest image
// that can be enlarged at all (2^26 pixels at factor 2). Only images of more than 8 bits per
// channel can reach it within maxTargetPixels; refusing them keeps any single allocation of the
// decoder well below 512 MiB.
inline constexpr std::uint64_t maxDecoderBytes = std::uint64_t{1} << 28;

// Why the image a header declares cannot be decoded and enlarged by `factor`, or nothing when
// it can: checkTargetSize on the declared size, then the decoder's buffer against maxDecoderBytes.
std::optional<std::string> checkDeclaredImage(const DeclaredImage& image, int factor);

struct RowBand {
    std::int32_t begin = 0; // first source row
    std::int32_t end = 0;   // one past the last source row

    friend bool operator==(const RowBand&, const RowBand&) = default;
};

// Target pixels below which an image is enlarged in one piece: splitting it would cost more
// in hand-over than it saves.
inline constexpr std::uint64_t minBandTargetPixels = std::uint64_t{1} << 20;

// Splits the source rows into consecutive bands of near-equal height that cover
// [0, height) exactly: one band for small images or one thread, else up to two per thread
// so that threads finishing early find work.
std::vector<RowBand> planBands(std::int32_t height, std::uint64_t targetPixels, int threads);

} // namespace tessera::tool
