// The one deflate the PNG encoder needs: a group of bytes compressed as raw deflate blocks that a
// later group can follow, with libdeflate in every build, native and WebAssembly alike.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessera::codecs {

// Appends `data` to `out` as raw deflate blocks (no zlib header or checksum) that end on a byte
// boundary. Only when `last` does the final block carry BFINAL; otherwise the blocks end so that
// the next group's blocks may follow directly (as a sync flush leaves them). The groups are
// independent: none refers back into another. Any number of threads may call it at once.
void deflateGroup(std::span<const std::uint8_t> data, bool last, int level, std::vector<std::uint8_t>& out);

} // namespace tessera::codecs
