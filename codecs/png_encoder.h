// The PNG encoder of 8-bit RGBA images: the smallest colour type that keeps every pixel, no
// metadata, each row with its best filter, and the rows cut into groups deflated independently
// (libdeflate, deflate_groups.h), on several threads, and joined into one zlib stream.
//
// The groups depend only on the image's size, never on the number of threads, so an image gives
// the same bytes whatever the machine. The compressed image is also handed out without its file
// around it (compressImage), for animated PNG frames.
#pragma once

#include "failure.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tessera::codecs {

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

// The adler-32 of A followed by B from those of A and B and the length of B.
std::uint32_t adler32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

// Filtered bytes per group of rows compressed on its own: small enough that a large image has
// groups for every thread and each thread's buffers stay a modest share of it, large enough that
// the groups' separate starts cost nothing measurable in size.
inline constexpr std::size_t rowGroupBytes = std::size_t{1} << 21;

// The colour type of an image that must match others, such as the frames of an animated PNG:
// Smallest lets each image take the smallest type that keeps its pixels.
enum class PngColourType : std::uint8_t { Smallest, Truecolour, TruecolourAlpha };

// An image compressed as a PNG holds it: the header chunk's data, the palette and transparency
// chunks when it has a palette (whole chunks), and the zlib stream of its rows.
struct CompressedImage {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> paletteChunks;
    std::vector<std::uint8_t> stream;
};

// Compresses width x height RGBA pixels (row-major from the top) in `type`: Smallest gives up to
// 256 distinct pixels as a palette of 1, 2, 4 or 8 bits (with transparency when some are not
// opaque), more as RGB when all are opaque, else RGBA; Truecolour drops alpha. Row groups are
// deflated on up to `threads` threads, each group about `groupBytes` filtered bytes (smaller only
// to test the joins). A Write failure when there is no image or memory runs out.
Result<CompressedImage> compressImage(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                      std::uint32_t height, PngColourType type, int threads = 1,
                                      std::size_t groupBytes = rowGroupBytes);

// The same in parts, for a caller that compresses the row groups itself, wherever it likes (the
// page hands them to its other workers): the layout decided from all the pixels, its row groups,
// each group compressed on its own, and the groups joined, or written as a file. Together they
// give compressImage's and encodePng's bytes.

// How an image's rows are written: the colour type and depth, and the palette (the entries' RGBA
// bytes as words, in index order) when the colour type is 3.
struct PngLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t colourType = 6; // 2 RGB, 3 palette, 6 RGBA
    std::uint8_t bitDepth = 8;
    std::vector<std::uint32_t> palette;
};

// Image rows [begin, end).
struct RowRange {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

// What the file needs of a row group besides its blocks: their size and CRC-32, and the adler-32
// and length of the filtered bytes they hold.
struct RowGroupSums {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint32_t adler = 1;
    std::uint64_t length = 0;
};

// A row group's raw deflate blocks and their sums.
struct CompressedRows {
    std::vector<std::uint8_t> deflated;
    RowGroupSums sums;
};

PngLayout choosePngLayout(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                          PngColourType type);

// The smallest layout can also be chosen from the colours of consecutive parts of the image,
// found wherever the parts are: their distinct pixels (RGBA bytes as words) in the order they
// first appear, stopping past a palette's worth, and whether they are all opaque.
struct PngColours {
    std::vector<std::uint32_t> pixels;
    bool fitPalette = true;
    bool opaque = true;
};

PngColours findColours(std::span<const std::uint8_t> rgba);

// The smallest layout of a width x height image whose parts, from the top, have these colours.
PngLayout layoutOfColours(std::span<const PngColours> parts, std::uint32_t width, std::uint32_t height);

// The row groups of the layout, from its size alone.
std::vector<RowRange> pngRowGroups(const PngLayout& layout, std::size_t groupBytes = rowGroupBytes);

// Compresses a group's RGBA `rows`; `above` is the image's row just above them, empty for the
// first group, and `last` is set for the last group.
Result<CompressedRows> compressRowGroup(const PngLayout& layout, std::span<const std::uint8_t> above,
                                        std::span<const std::uint8_t> rows, bool last);

// The compressed image from every group in order; their blocks are moved out.
Result<CompressedImage> joinRowGroups(const PngLayout& layout, std::span<CompressedRows> groups);

// The PNG file of the groups in two ends, from their sums alone: the file is `head`, every
// group's blocks in order, then `tail`. A caller whose blocks are elsewhere (the page's, in its
// other workers) puts them between without bringing them together first.
struct PngEnds {
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> tail;
};

Result<PngEnds> pngEnds(const PngLayout& layout, std::span<const RowGroupSums> groups);

// The PNG file of every group in order, holding the image and nothing else.
Result<std::vector<std::uint8_t>> pngFile(const PngLayout& layout, std::span<const CompressedRows> groups);

// The PNG file of the image in the smallest colour type, holding nothing but the image. Decoding
// it to RGBA gives `rgba` back byte for byte.
Result<std::vector<std::uint8_t>> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                            std::uint32_t height, int threads = 1,
                                            std::size_t groupBytes = rowGroupBytes);

} // namespace tessera::codecs
