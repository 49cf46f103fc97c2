#include "png_encoder.h"

#include "deflate_groups.h"
#include "limits_and_defaults.h"
#include "png_chunks.h"
#include "work_threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <libdeflate.h>
#include <mutex>
#include <new>
#include <optional>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace tessera::codecs {
namespace {

constexpr std::uint32_t adlerBase = 65521;

constexpr std::size_t maxPaletteEntries = 256;

std::uint32_t pixelKey(const std::uint8_t* pixel) {
    std::uint32_t key = 0;
    std::memcpy(&key, pixel, 4);
    return key;
}

std::uint8_t alphaOfKey(std::uint32_t key) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &key, 4);
    return bytes[3];
}

// The distinct pixels of an image with at most maxPaletteEntries of them, each with its palette
// index: an open-addressed table at most a quarter full, so a probe rarely goes past one slot.
class PaletteTable {
public:
    // Adds the pixel if it is new; false once the image holds more pixels than a palette does.
    bool add(std::uint32_t key) {
        const std::size_t slot = find(key);
        if (used_[slot])
            return true;
        if (keys_.size() == maxPaletteEntries)
            return false;
        used_[slot] = true;
        slotKeys_[slot] = key;
        slotIndices_[slot] = static_cast<std::uint8_t>(keys_.size());
        keys_.push_back(key);
        return true;
    }

    const std::vector<std::uint32_t>& keys() const { return keys_; }

    // Orders the entries so that those that are not opaque come first: the transparency chunk
    // then needs an alpha for those only.
    void putTranslucentFirst() {
        std::stable_partition(keys_.begin(), keys_.end(),
                              [](std::uint32_t key) { return alphaOfKey(key) != 255; });
        for (std::size_t index = 0; index < keys_.size(); ++index)
            slotIndices_[find(keys_[index])] = static_cast<std::uint8_t>(index);
    }

    std::uint8_t indexOf(std::uint32_t key) const { return slotIndices_[find(key)]; }

private:
    static constexpr std::size_t slots = 4 * maxPaletteEntries;

    std::size_t find(std::uint32_t key) const {
        std::size_t slot = (key * 0x9E3779B1u) >> 22; // the top 10 bits: one of 1024 slots
        while (used_[slot] && slotKeys_[slot] != key)
            slot = (slot + 1) % slots;
        return slot;
    }

    std::array<bool, slots> used_{};
    std::array<std::uint32_t, slots> slotKeys_{};
    std::array<std::uint8_t, slots> slotIndices_{};
    std::vector<std::uint32_t> keys_;
};

// How the layout's rows are laid out in the file.
struct RowShape {
    std::size_t rowBytes = 0;   // one row in the file, without its filter byte
    std::size_t pixelBytes = 4; // the distance Sub and Paeth look back (1 below 8 bits)
};

RowShape rowShape(const PngLayout& layout) {
    if (layout.colourType == 3)
        return {(std::size_t{layout.width} * layout.bitDepth + 7) / 8, 1};
    const std::size_t pixelBytes = layout.colourType == 2 ? 3 : 4;
    return {std::size_t{layout.width} * pixelBytes, pixelBytes};
}

// One source row in the file's layout.
void packRow(const PngLayout& layout, const RowShape& shape, const PaletteTable* palette,
             const std::uint8_t* rgba, std::uint8_t* row) {
    const std::uint32_t width = layout.width;
    if (layout.colourType == 6) {
        std::memcpy(row, rgba, std::size_t{width} * 4);
    } else if (layout.colourType == 2) {
        for (std::uint32_t x = 0; x < width; ++x)
            std::memcpy(row + 3 * x, rgba + 4 * x, 3);
    } else {
        std::fill(row, row + shape.rowBytes, 0);
        // Indices are packed from the most significant bit down, several to a byte below 8 bits.
        const std::uint32_t bits = layout.bitDepth;
        const std::uint32_t perByte = 8 / bits;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t shift = 8 - bits * (1 + x % perByte);
            row[x / perByte] |= static_cast<std::uint8_t>(palette->indexOf(pixelKey(rgba + 4 * x)) << shift);
        }
    }
}

CompressedRows compressGroup(const PngLayout& layout, const PaletteTable* palette,
                             std::span<const std::uint8_t> above, std::span<const std::uint8_t> rows,
                             bool last) {
    const RowShape shape = rowShape(layout);
    const std::size_t rgbaRow = std::size_t{layout.width} * 4;
    const std::size_t count = rows.size() / rgbaRow;
    const std::size_t line = shape.rowBytes + 1;
    // The thread keeps its buffer for the next group and image; every byte in use is written.
    thread_local std::vector<std::uint8_t> filteredSpace;
    filteredSpace.resize(std::max(filteredSpace.size(), count * line));
    const std::span<std::uint8_t> filtered = std::span{filteredSpace}.first(count * line);
    std::vector<std::uint8_t> previous(shape.rowBytes), current(shape.rowBytes);
    const std::uint8_t* sourceAbove = above.empty() ? nullptr : above.data();
    if (sourceAbove != nullptr)
        packRow(layout, shape, palette, sourceAbove, previous.data());
    for (std::size_t y = 0; y < count; ++y) {
        const std::uint8_t* source = &rows[y * rgbaRow];
        std::uint8_t* out = &filtered[y * line];
        // An enlarged image repeats most rows: a row equal to the one above needs no packing and
        // no choice, as Up makes it all zeros (and an indexed row is kept as it is, below).
        if (sourceAbove != nullptr && std::memcmp(source, sourceAbove, rgbaRow) == 0) {
            if (layout.colourType == 3) {
                out[0] = static_cast<std::uint8_t>(Filter::None);
                std::memcpy(out + 1, previous.data(), shape.rowBytes);
            } else {
                out[0] = static_cast<std::uint8_t>(Filter::Up);
                std::memset(out + 1, 0, shape.rowBytes);
            }
            continue;
        }
        packRow(layout, shape, palette, source, current.data());
        const std::span<const std::uint8_t> previousRow = sourceAbove != nullptr
                                                              ? std::span<const std::uint8_t>{previous}
                                                              : std::span<const std::uint8_t>{};
        // Indexed rows compress best unfiltered; true colour takes each row's best filter.
        const Filter filter =
            layout.colourType == 3 ? Filter::None : chooseFilter(current, previousRow, shape.pixelBytes);
        filterRow(filter, current, previousRow, shape.pixelBytes, out);
        std::swap(previous, current);
        sourceAbove = source;
    }
    CompressedRows group;
    group.sums.adler = libdeflate_adler32(1, filtered.data(), filtered.size());
    group.sums.length = filtered.size();
    deflateGroup(filtered, last, pixels::pngCompressionLevel, group.deflated);
    group.sums.size = group.deflated.size();
    group.sums.crc = crc32(group.deflated);
    return group;
}

[[gnu::always_inline]] inline int paeth(int a, int b, int c) {
    // |p - a|, |p - b| and |p - c| for p = a + b - c, in a form the compiler turns into selects
    // of 16-bit lanes (every term lies within -510 and 510).
    const auto pa = static_cast<std::int16_t>(std::abs(b - c));
    const auto pb = static_cast<std::int16_t>(std::abs(a - c));
    const auto pc = static_cast<std::int16_t>(std::abs(a + b - 2 * c));
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

template <Filter filter>
[[gnu::always_inline]] inline std::uint8_t residual(std::uint8_t value, int left, int up, int upLeft) {
    int predicted = 0;
    if constexpr (filter == Filter::Sub)
        predicted = left;
    else if constexpr (filter == Filter::Up)
        predicted = up;
    else if constexpr (filter == Filter::Average)
        predicted = (left + up) >> 1;
    else if constexpr (filter == Filter::Paeth)
        predicted = paeth(left, up, upLeft);
    return static_cast<std::uint8_t>(value - predicted);
}

// A residual's magnitude, the byte read as signed.
[[gnu::always_inline]] inline unsigned magnitude(std::uint8_t byte) {
    return static_cast<unsigned>(std::abs(static_cast<int>(static_cast<std::int8_t>(byte))));
}

#if defined(__wasm_simd128__)
// The filter's prediction of sixteen bytes at once. WebAssembly SIMD has sixteen lanes of bytes
// against eight of 16 bits, and every step here stays exact in bytes: the floor of the average is
// the rounded one less the odd bit, and Paeth's three distances are compared in bytes, the third
// saturated, which keeps its comparisons with the other two (both at most 255) as they are.
template <Filter filter>
[[gnu::always_inline]] inline v128_t predictedBytes(v128_t left, v128_t up, v128_t upLeft) {
    if constexpr (filter == Filter::None)
        return wasm_i8x16_splat(0);
    else if constexpr (filter == Filter::Sub)
        return left;
    else if constexpr (filter == Filter::Up)
        return up;
    else if constexpr (filter == Filter::Average)
        return wasm_i8x16_sub(wasm_u8x16_avgr(left, up),
                              wasm_v128_and(wasm_v128_xor(left, up), wasm_i8x16_splat(1)));
    else {
        const auto distance = [](v128_t a, v128_t b) {
            return wasm_i8x16_sub(wasm_u8x16_max(a, b), wasm_u8x16_min(a, b));
        };
        // p = left + up - upLeft: |p - left| = |up - upLeft|, |p - up| = |left - upLeft|, and
        // |p - upLeft| is their sum where up and left lie on the same side of upLeft, else their
        // difference.
        const v128_t pa = distance(up, upLeft), pb = distance(left, upLeft);
        const v128_t sameSide =
            wasm_v128_not(wasm_v128_xor(wasm_u8x16_ge(up, upLeft), wasm_u8x16_ge(left, upLeft)));
        const v128_t pc = wasm_v128_bitselect(wasm_u8x16_add_sat(pa, pb), distance(pa, pb), sameSide);
        const v128_t takeLeft = wasm_v128_and(wasm_u8x16_le(pa, pb), wasm_u8x16_le(pa, pc));
        return wasm_v128_bitselect(left, wasm_v128_bitselect(up, upLeft, wasm_u8x16_le(pb, pc)), takeLeft);
    }
}
#endif

// Writes the residuals of `size` bytes against the row above to `out`. The first pixel has
// nothing to its left, which keeps the loop over the rest free of branches, for the vectoriser
// (in WebAssembly, sixteen bytes at a time in byte lanes).
template <Filter filter>
[[gnu::always_inline]] inline void applyFilter(const std::uint8_t* row, const std::uint8_t* above,
                                               std::size_t size, std::size_t pixelBytes, std::uint8_t* out) {
    const std::size_t lead = std::min(pixelBytes, size);
    for (std::size_t i = 0; i < lead; ++i)
        out[i] = residual<filter>(row[i], 0, above[i], 0);
    std::size_t i = lead;
#if defined(__wasm_simd128__)
    for (; i + 16 <= size; i += 16)
        wasm_v128_store(out + i,
                        wasm_i8x16_sub(wasm_v128_load(row + i),
                                       predictedBytes<filter>(wasm_v128_load(row + i - pixelBytes),
                                                              wasm_v128_load(above + i),
                                                              wasm_v128_load(above + i - pixelBytes))));
#endif
    for (; i < size; ++i)
        out[i] = residual<filter>(row[i], row[i - pixelBytes], above[i], above[i - pixelBytes]);
}

// The row above, or zeros for the first row, as every filter reads it.
const std::uint8_t* aboveOrZeros(std::span<const std::uint8_t> previous, std::size_t size,
                                 std::vector<std::uint8_t>& zeros) {
    if (!previous.empty())
        return previous.data();
    zeros.assign(size, 0);
    return zeros.data();
}

} // namespace

std::uint32_t adler32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
    const std::uint64_t length = secondLength % adlerBase;
    const std::uint64_t a1 = first & 0xFFFF, b1 = first >> 16;
    const std::uint64_t a2 = second & 0xFFFF, b2 = second >> 16;
    // A's sum a1 is added once for each byte of B, and B's sums start from 1, not 0.
    const std::uint64_t a = (a1 + a2 + adlerBase - 1) % adlerBase;
    const std::uint64_t b = (b1 + b2 + length * a1 + adlerBase - length) % adlerBase;
    return static_cast<std::uint32_t>(b << 16 | a);
}

// The filters are built twice on x86-64, for AVX2 and without, the better chosen when the program
// starts; elsewhere (WebAssembly included) once.
#if defined(__x86_64__)
#define TESSERA_FILTER_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TESSERA_FILTER_CLONES
#endif

TESSERA_FILTER_CLONES void filterRow(Filter filter, std::span<const std::uint8_t> row,
                                     std::span<const std::uint8_t> previous, std::size_t pixelBytes,
                                     std::uint8_t* out) {
    std::vector<std::uint8_t> zeros;
    const std::uint8_t* above = aboveOrZeros(previous, row.size(), zeros);
    *out++ = static_cast<std::uint8_t>(filter);
    switch (filter) {
    case Filter::None:
        std::memcpy(out, row.data(), row.size());
        break;
    case Filter::Sub:
        applyFilter<Filter::Sub>(row.data(), above, row.size(), pixelBytes, out);
        break;
    case Filter::Up:
        applyFilter<Filter::Up>(row.data(), above, row.size(), pixelBytes, out);
        break;
    case Filter::Average:
        applyFilter<Filter::Average>(row.data(), above, row.size(), pixelBytes, out);
        break;
    case Filter::Paeth:
        applyFilter<Filter::Paeth>(row.data(), above, row.size(), pixelBytes, out);
        break;
    }
}

// Adds the magnitude of each filter's residual of one byte to that filter's sum, in the order of
// the filter types.
template <typename Sum>
[[gnu::always_inline]] inline void addMagnitudes(Sum (&sums)[5], std::uint8_t value, int left, int up,
                                                 int upLeft) {
    sums[0] += magnitude(residual<Filter::None>(value, left, up, upLeft));
    sums[1] += magnitude(residual<Filter::Sub>(value, left, up, upLeft));
    sums[2] += magnitude(residual<Filter::Up>(value, left, up, upLeft));
    sums[3] += magnitude(residual<Filter::Average>(value, left, up, upLeft));
    sums[4] += magnitude(residual<Filter::Paeth>(value, left, up, upLeft));
}

#if defined(__wasm_simd128__)
// The five filters' residuals of sixteen bytes, each magnitude added into `sums` (four lanes of
// 32 bits per filter).
[[gnu::always_inline]] inline void addSixteenMagnitudes(v128_t value, v128_t left, v128_t up, v128_t upLeft,
                                                        v128_t (&sums)[5]) {
    const auto add = [&](int filter, v128_t predicted) {
        const v128_t bytes = wasm_i8x16_abs(wasm_i8x16_sub(value, predicted)); // 0 .. 128, read unsigned
        sums[filter] = wasm_i32x4_add(
            sums[filter], wasm_u32x4_extadd_pairwise_u16x8(wasm_u16x8_extadd_pairwise_u8x16(bytes)));
    };
    add(0, predictedBytes<Filter::None>(left, up, upLeft));
    add(1, predictedBytes<Filter::Sub>(left, up, upLeft));
    add(2, predictedBytes<Filter::Up>(left, up, upLeft));
    add(3, predictedBytes<Filter::Average>(left, up, upLeft));
    add(4, predictedBytes<Filter::Paeth>(left, up, upLeft));
}

Filter chooseFilter(std::span<const std::uint8_t> row, std::span<const std::uint8_t> previous,
                    std::size_t pixelBytes) {
    std::vector<std::uint8_t> zeros;
    const std::uint8_t* above = aboveOrZeros(previous, row.size(), zeros);
    std::uint64_t sums[5] = {};
    const std::size_t lead = std::min(pixelBytes, row.size());
    for (std::size_t i = 0; i < lead; ++i)
        addMagnitudes(sums, row[i], 0, above[i], 0);
    // Each lane gains at most 4 * 128 per step: 32 bits hold any row's.
    v128_t parts[5];
    for (v128_t& part : parts)
        part = wasm_i32x4_splat(0);
    std::size_t i = lead;
    for (; i + 16 <= row.size(); i += 16)
        addSixteenMagnitudes(wasm_v128_load(&row[i]), wasm_v128_load(&row[i - pixelBytes]),
                             wasm_v128_load(above + i), wasm_v128_load(above + i - pixelBytes), parts);
    for (; i < row.size(); ++i)
        addMagnitudes(sums, row[i], row[i - pixelBytes], above[i], above[i - pixelBytes]);
    for (int f = 0; f < 5; ++f)
        sums[f] += std::uint64_t{wasm_u32x4_extract_lane(parts[f], 0)} +
                   wasm_u32x4_extract_lane(parts[f], 1) + wasm_u32x4_extract_lane(parts[f], 2) +
                   wasm_u32x4_extract_lane(parts[f], 3);
    // The first of the smallest, in the order of the filter types.
    return static_cast<Filter>(std::min_element(std::begin(sums), std::end(sums)) - std::begin(sums));
}
#else
TESSERA_FILTER_CLONES Filter chooseFilter(std::span<const std::uint8_t> row,
                                          std::span<const std::uint8_t> previous, std::size_t pixelBytes) {
    std::vector<std::uint8_t> zeros;
    const std::uint8_t* above = aboveOrZeros(previous, row.size(), zeros);
    // All five sums in one pass over the row, each byte read once, in parts of 16 bits over
    // stretches short enough that they cannot overflow: the vectoriser then works in lanes of
    // 16 bits throughout.
    std::uint64_t sums[5] = {};
    const std::size_t lead = std::min(pixelBytes, row.size());
    std::uint16_t part[5] = {};
    for (std::size_t i = 0; i < lead; ++i)
        addMagnitudes(part, row[i], 0, above[i], 0);
    constexpr std::size_t stretch = 256; // with the first pixel, at most 260 magnitudes of at most 128
    for (std::size_t begin = lead; begin < row.size(); begin += stretch) {
        const std::size_t end = std::min(row.size(), begin + stretch);
        for (std::size_t i = begin; i < end; ++i)
            addMagnitudes(part, row[i], row[i - pixelBytes], above[i], above[i - pixelBytes]);
        for (int f = 0; f < 5; ++f) {
            sums[f] += part[f];
            part[f] = 0;
        }
    }
    for (int f = 0; f < 5; ++f)
        sums[f] += part[f];
    // The first of the smallest, in the order of the filter types.
    return static_cast<Filter>(std::min_element(std::begin(sums), std::end(sums)) - std::begin(sums));
}
#endif

PngColours findColours(std::span<const std::uint8_t> rgba) {
    PaletteTable table;
    PngColours colours;
    std::uint32_t previous = 0;
    std::size_t at = 0;
    for (; at < rgba.size(); at += 4) {
        const std::uint32_t key = pixelKey(&rgba[at]);
        // Runs of one pixel are the rule in enlarged pixel art; they cost one comparison.
        if (at > 0 && key == previous)
            continue;
        previous = key;
        if (!table.add(key)) {
            colours.fitPalette = false;
            break;
        }
    }
    colours.pixels = table.keys();
    colours.opaque = std::all_of(colours.pixels.begin(), colours.pixels.end(),
                                 [](std::uint32_t key) { return alphaOfKey(key) == 255; });
    // Past a palette's worth of pixels only their alpha matters.
    for (at += 3; at < rgba.size() && colours.opaque; at += 4)
        colours.opaque = rgba[at] == 255;
    return colours;
}

PngLayout layoutOfColours(std::span<const PngColours> parts, std::uint32_t width, std::uint32_t height) {
    PngLayout layout;
    layout.width = width;
    layout.height = height;
    bool palette =
        std::all_of(parts.begin(), parts.end(), [](const PngColours& part) { return part.fitPalette; });
    PaletteTable table;
    for (std::size_t part = 0; part < parts.size() && palette; ++part)
        for (std::uint32_t key : parts[part].pixels)
            if (!table.add(key)) {
                palette = false;
                break;
            }
    if (palette) {
        table.putTranslucentFirst();
        const std::size_t count = table.keys().size();
        layout.colourType = 3;
        layout.bitDepth = count <= 2 ? 1 : count <= 4 ? 2 : count <= 16 ? 4 : 8;
        layout.palette = table.keys();
        return layout;
    }
    const bool opaque =
        std::all_of(parts.begin(), parts.end(), [](const PngColours& part) { return part.opaque; });
    layout.colourType = opaque ? 2 : 6;
    return layout;
}

PngLayout choosePngLayout(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                          PngColourType type) {
    if (type == PngColourType::Smallest) {
        const PngColours colours = findColours(rgba.first(std::size_t{width} * height * 4));
        return layoutOfColours({&colours, 1}, width, height);
    }
    PngLayout layout;
    layout.width = width;
    layout.height = height;
    layout.colourType = type == PngColourType::Truecolour ? 2 : 6;
    return layout;
}

std::vector<RowRange> pngRowGroups(const PngLayout& layout, std::size_t groupBytes) {
    // Groups of whole rows, as many as the image's size gives: the bytes never depend on the
    // threads at hand.
    const std::size_t filteredBytes = (rowShape(layout).rowBytes + 1) * layout.height;
    groupBytes = std::max<std::size_t>(groupBytes, 1);
    const std::size_t count =
        std::min<std::size_t>((filteredBytes + groupBytes - 1) / groupBytes, layout.height);
    std::vector<RowRange> groups(count);
    for (std::size_t g = 0; g < count; ++g) {
        groups[g].begin = static_cast<std::uint32_t>(std::uint64_t{layout.height} * g / count);
        groups[g].end = static_cast<std::uint32_t>(std::uint64_t{layout.height} * (g + 1) / count);
    }
    return groups;
}

namespace {

std::optional<PaletteTable> tableOf(const PngLayout& layout) {
    if (layout.colourType != 3)
        return std::nullopt;
    PaletteTable table;
    for (std::uint32_t key : layout.palette)
        table.add(key);
    return table;
}

} // namespace

Result<CompressedRows> compressRowGroup(const PngLayout& layout, std::span<const std::uint8_t> above,
                                        std::span<const std::uint8_t> rows, bool last) {
    try {
        const std::optional<PaletteTable> table = tableOf(layout);
        return compressGroup(layout, table ? &*table : nullptr, above, rows, last);
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

namespace {

// The header chunk's data, and the palette and transparency chunks when the layout has a palette.
void putHeader(const PngLayout& layout, std::vector<std::uint8_t>& header,
               std::vector<std::uint8_t>& paletteChunks) {
    putWord(header, layout.width);
    putWord(header, layout.height);
    header.insert(header.end(), {layout.bitDepth, layout.colourType, 0, 0, 0});
    if (layout.colourType == 3) {
        std::vector<std::uint8_t> entries, alphas;
        for (std::uint32_t key : layout.palette) {
            std::uint8_t bytes[4];
            std::memcpy(bytes, &key, 4);
            entries.insert(entries.end(), bytes, bytes + 3);
            if (bytes[3] != 255)
                alphas.push_back(bytes[3]);
        }
        putChunk(paletteChunks, "PLTE", entries);
        if (!alphas.empty())
            putChunk(paletteChunks, "tRNS", alphas);
    }
}

// One zlib stream holds every group: this header, the groups' blocks one after another, and the
// adler-32 of all their filtered bytes, combined from the groups' own.
constexpr std::uint8_t zlibHeader[] = {0x78, 0x9C};

std::uint32_t streamAdler(std::span<const RowGroupSums> groups) {
    std::uint32_t adler = 1;
    for (const RowGroupSums& group : groups)
        adler = adler32Combine(adler, group.adler, group.length);
    return adler;
}

std::vector<RowGroupSums> sumsOf(std::span<const CompressedRows> groups) {
    std::vector<RowGroupSums> sums;
    for (const CompressedRows& group : groups)
        sums.push_back(group.sums);
    return sums;
}

} // namespace

Result<CompressedImage> joinRowGroups(const PngLayout& layout, std::span<CompressedRows> groups) {
    try {
        CompressedImage image;
        putHeader(layout, image.header, image.paletteChunks);
        image.stream.assign(std::begin(zlibHeader), std::end(zlibHeader));
        for (CompressedRows& group : groups) {
            image.stream.insert(image.stream.end(), group.deflated.begin(), group.deflated.end());
            group.deflated = {};
        }
        putWord(image.stream, streamAdler(sumsOf(groups)));
        return image;
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

Result<PngEnds> pngEnds(const PngLayout& layout, std::span<const RowGroupSums> groups) {
    try {
        PngEnds ends;
        std::vector<std::uint8_t> header, paletteChunks;
        putHeader(layout, header, paletteChunks);
        ends.head.assign(std::begin(pngSignature), std::end(pngSignature));
        putChunk(ends.head, "IHDR", header);
        ends.head.insert(ends.head.end(), paletteChunks.begin(), paletteChunks.end());
        // The image data chunk, written around the groups' blocks: its length and type here, its
        // CRC (of the type and all the data) in the tail, combined from the blocks' own.
        std::uint64_t blocks = 0;
        for (const RowGroupSums& group : groups)
            blocks += group.size;
        const std::uint64_t length = sizeof zlibHeader + blocks + 4;
        if (length > 0x7FFFFFFF)
            return Failure{Step::Write, "the image data is too large for a PNG"};
        putWord(ends.head, static_cast<std::uint32_t>(length));
        const std::size_t typeAt = ends.head.size();
        ends.head.insert(ends.head.end(), {'I', 'D', 'A', 'T'});
        ends.head.insert(ends.head.end(), std::begin(zlibHeader), std::end(zlibHeader));
        std::uint32_t crc = crc32(std::span{ends.head}.subspan(typeAt));
        for (const RowGroupSums& group : groups)
            crc = crc32Combine(crc, group.crc, group.size);
        putWord(ends.tail, streamAdler(groups));
        putWord(ends.tail, crc32(ends.tail, crc));
        putChunk(ends.tail, "IEND", {});
        return ends;
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

Result<std::vector<std::uint8_t>> pngFile(const PngLayout& layout, std::span<const CompressedRows> groups) {
    try {
        Result<PngEnds> ends = pngEnds(layout, sumsOf(groups));
        if (const Failure* failure = std::get_if<Failure>(&ends))
            return *failure;
        PngEnds& parts = std::get<PngEnds>(ends);
        std::vector<std::uint8_t> file = std::move(parts.head);
        for (const CompressedRows& group : groups)
            file.insert(file.end(), group.deflated.begin(), group.deflated.end());
        file.insert(file.end(), parts.tail.begin(), parts.tail.end());
        return file;
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

namespace {

// The layout's row groups compressed on up to `threads` threads.
std::vector<CompressedRows> compressGroups(const PngLayout& layout, std::span<const std::uint8_t> rgba,
                                           int threads, std::size_t groupBytes) {
    const std::optional<PaletteTable> table = tableOf(layout);
    const std::vector<RowRange> ranges = pngRowGroups(layout, groupBytes);
    const std::size_t groupCount = ranges.size();
    const std::size_t rgbaRow = std::size_t{layout.width} * 4;
    std::vector<CompressedRows> groups(groupCount);
    std::atomic<std::size_t> next{0};
    // A thread's failure (memory, most likely) ends every thread's work and is thrown here, on
    // the calling thread, once they have all stopped.
    std::mutex failureMutex;
    std::exception_ptr failure;
    runOnThreads(
        static_cast<int>(std::min<std::size_t>(groupCount, static_cast<std::size_t>(std::max(threads, 1)))),
        [&] {
            try {
                for (std::size_t g = next++; g < groupCount; g = next++) {
                    const RowRange rows = ranges[g];
                    groups[g] =
                        compressGroup(layout, table ? &*table : nullptr,
                                      rows.begin > 0 ? rgba.subspan((rows.begin - 1) * rgbaRow, rgbaRow)
                                                     : std::span<const std::uint8_t>{},
                                      rgba.subspan(rows.begin * rgbaRow, (rows.end - rows.begin) * rgbaRow),
                                      g + 1 == groupCount);
                }
            } catch (...) {
                const std::lock_guard lock{failureMutex};
                if (!failure)
                    failure = std::current_exception();
                next = groupCount;
            }
        });
    if (failure)
        std::rethrow_exception(failure);
    return groups;
}

} // namespace

namespace {

struct CompressedGroups {
    PngLayout layout;
    std::vector<CompressedRows> groups;
};

Result<CompressedGroups> compressAll(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                     std::uint32_t height, PngColourType type, int threads,
                                     std::size_t groupBytes) {
    if (std::size_t{width} * height == 0 || rgba.size() < std::size_t{width} * height * 4)
        return Failure{Step::Write, "there is no image to encode"};
    rgba = rgba.first(std::size_t{width} * height * 4);
    try {
        CompressedGroups compressed;
        compressed.layout = choosePngLayout(rgba, width, height, type);
        compressed.groups = compressGroups(compressed.layout, rgba, threads, groupBytes);
        return compressed;
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

} // namespace

Result<CompressedImage> compressImage(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                      std::uint32_t height, PngColourType type, int threads,
                                      std::size_t groupBytes) {
    Result<CompressedGroups> compressed = compressAll(rgba, width, height, type, threads, groupBytes);
    if (const Failure* failure = std::get_if<Failure>(&compressed))
        return *failure;
    CompressedGroups& all = std::get<CompressedGroups>(compressed);
    return joinRowGroups(all.layout, all.groups);
}

Result<std::vector<std::uint8_t>> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                            std::uint32_t height, int threads, std::size_t groupBytes) {
    Result<CompressedGroups> compressed =
        compressAll(rgba, width, height, PngColourType::Smallest, threads, groupBytes);
    if (const Failure* failure = std::get_if<Failure>(&compressed))
        return *failure;
    const CompressedGroups& all = std::get<CompressedGroups>(compressed);
    return pngFile(all.layout, all.groups);
}

} // namespace tessera::codecs
