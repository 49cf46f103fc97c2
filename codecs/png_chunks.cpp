#include "png_chunks.h"

#include <algorithm>
#include <libdeflate.h>

namespace tessera::codecs {

bool isPng(std::span<const std::uint8_t> file) {
    return file.size() >= sizeof pngSignature &&
           std::equal(std::begin(pngSignature), std::end(pngSignature), file.begin());
}

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    return libdeflate_crc32(crc, bytes.data(), bytes.size());
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data) {
    putWord(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    putWord(out, crc32(std::span{out}.subspan(typeAt)));
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

} // namespace tessera::codecs
