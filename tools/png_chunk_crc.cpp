#include "png_chunks.h"
#include "png_writer.h"

namespace tessera::tool {

std::uint32_t chunkCrc(std::span<const std::uint8_t> typeAndData) {
    return png::crc32(typeAndData);
}

} // namespace tessera::tool
