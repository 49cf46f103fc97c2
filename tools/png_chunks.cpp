#include "png_chunks.h"

#include <array>

namespace tessera::tool {
namespace {

// The chunk CRC (CRC-32, polynomial 0xEDB88320), computed here rather than taken from zlib, so
// that the page, which is built without zlib, writes chunks the same way.
constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

std::uint32_t crc32Of(std::span<const std::uint8_t> bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes)
        c = crcTable[(c ^ byte) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data) {
    putWord(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    putWord(out, crc32Of(std::span{out}.subspan(typeAt)));
}

std::optional<PngChunk> nextChunk(PngChunkReader& reader) {
    const std::span<const std::uint8_t> file = reader.file;
    if (reader.at + 12 > file.size())
        return std::nullopt;
    const std::uint64_t length = wordAt(file, reader.at);
    if (length > file.size() - reader.at - 12)
        return std::nullopt;
    const PngChunk chunk{{reinterpret_cast<const char*>(&file[reader.at + 4]), 4},
                         file.subspan(reader.at + 8, length)};
    reader.at += 12 + length;
    return chunk;
}

} // namespace tessera::tool
