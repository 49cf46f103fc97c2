// The chunk layer of PNG files, for the PNG encoder and the animated PNG reader and writer: the
// signature, big-endian words, the CRC-32 of a chunk (also from parts), chunks written with their
// CRC, and chunks walked in a file with every length checked against its end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tessera::codecs {

inline constexpr std::uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Whether the bytes start with the PNG signature.
bool isPng(std::span<const std::uint8_t> file);

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value);

inline std::uint32_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The CRC-32 of PNG chunks, continued from `crc` (libdeflate's).
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

// The CRC-32 of A followed by B from those of A and B and the length of B, so that a chunk's CRC
// comes from parts of its data computed wherever they were made.
std::uint32_t crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

// Appends one chunk: length, type, data and the CRC of type and data.
void putChunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data);

struct PngChunk {
    std::string_view type;
    std::span<const std::uint8_t> data;
};

// Walks the chunks of a PNG file after its signature, one per call.
struct PngChunkReader {
    std::span<const std::uint8_t> file;
    std::size_t at = sizeof pngSignature;
};

// The next chunk, or nothing at the end of the file or when the chunk does not fit in it (then
// `reader.at` stays short of the file's end).
std::optional<PngChunk> nextChunk(PngChunkReader& reader);

} // namespace tessera::codecs
