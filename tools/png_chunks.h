// The chunk layer of PNG files, for the animated PNG reader and writer: big-endian words, chunks
// written with their CRC, and chunks walked in a file with every length checked against its end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tessera::tool {

inline constexpr std::uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value);

// The CRC-32 of a chunk's type and data. Each build takes it from its own PNG encoder: natively
// the PNG library's (png_chunk_crc.cpp), in the page stb_image_write's.
std::uint32_t chunkCrc(std::span<const std::uint8_t> typeAndData);

void putChunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data);

inline std::uint32_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

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

} // namespace tessera::tool
