// A PNG encoder of 8-bit RGBA images that writes the smallest colour type keeping every pixel,
// with no metadata. Its rows are cut into groups deflated independently, on several threads, by
// the backend of deflate_backend.h, and joined into one zlib stream. The chunk writer is public
// for encoders that add chunks of their own (animation frames, for one).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessera::png {

// CRC-32 of PNG chunks (and zlib's adler-32 of the image data), continued from `crc`.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);
std::uint32_t adler32(std::span<const std::uint8_t> bytes, std::uint32_t adler = 1);
// The adler-32 of A followed by B from those of A and B and the length of B.
std::uint32_t adler32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

// Appends one chunk: length, type, data and the CRC of type and data.
void appendChunk(std::vector<std::uint8_t>& png, const char (&type)[5], std::span<const std::uint8_t> data);

// Row filter types, and the filter chosen for a row of true colour.
enum class Filter : std::uint8_t { None, Sub, Up, Average, Paeth };

// Writes the filter byte and the filtered row to `out` (row.size() + 1 bytes). `previous` is the
// row above, empty for the first row; `pixelBytes` the distance Sub and Paeth look back.
void filterRow(Filter filter, std::span<const std::uint8_t> row, std::span<const std::uint8_t> previous,
               std::size_t pixelBytes, std::uint8_t* out);

// The filter whose output has the smallest sum of magnitudes (bytes read as signed), trying all
// five: the heuristic that, for enlarged pixel art, comes within a fraction of a per cent of
// trying every filter by compressed size.
Filter chooseFilter(std::span<const std::uint8_t> row, std::span<const std::uint8_t> previous,
                    std::size_t pixelBytes);

// The colour type of an image that must match others, such as the frames of an animated PNG:
// Smallest lets each image take the smallest type that keeps its pixels.
enum class ColourType : std::uint8_t { Smallest, Truecolour, TruecolourAlpha };

struct EncodeOptions {
    int level = 6;                                // the backend's compression level, 1 (fastest) to 12
    int threads = 1;                              // row groups compressed at once
    ColourType colourType = ColourType::Smallest; // Truecolour drops alpha
    // Filtered bytes per group of rows compressed on its own: small enough that each thread's
    // buffers stay a modest share of a large image, large enough that the groups' separate
    // starts cost nothing measurable in size.
    std::size_t groupBytes = std::size_t{4} << 20;
};

// Encodes width x height RGBA pixels (row-major from the top) as a PNG: up to 256 distinct
// pixels as a palette of 1, 2, 4 or 8 bits (with tRNS when some are not opaque), more as RGB
// when all are opaque, else RGBA. Rows are cut into groups compressed independently, on up to
// options.threads threads, and joined into one zlib stream. Empty when the size is zero or the
// input holds fewer than width * height pixels.
std::vector<std::uint8_t> encodeRgba(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                     std::uint32_t height, const EncodeOptions& options);

} // namespace tessera::png
