// How the source rows of one image are split into bands that threads enlarge side by side.
#pragma once

#include <cstdint>
#include <vector>

namespace tessera::pixels {

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

} // namespace tessera::pixels
