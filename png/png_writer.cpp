#include "png_writer.h"

#include "deflate_backend.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

namespace tessera::png {
namespace {

constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

constexpr std::uint32_t adlerBase = 65521;

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.insert(out.end(), {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                           static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

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

// The palette of the image, or nothing when it has more distinct pixels than a palette holds.
std::optional<PaletteTable> findPalette(std::span<const std::uint8_t> rgba) {
    PaletteTable table;
    std::uint32_t previous = 0;
    bool first = true;
    for (std::size_t at = 0; at < rgba.size(); at += 4) {
        const std::uint32_t key = pixelKey(&rgba[at]);
        // Runs of one pixel are the rule in enlarged pixel art; they cost one comparison.
        if (!first && key == previous)
            continue;
        if (!table.add(key))
            return std::nullopt;
        previous = key;
        first = false;
    }
    table.putTranslucentFirst();
    return table;
}

// How the image's rows are laid out in the file.
struct Layout {
    std::uint8_t colourType = 6; // 2 RGB, 3 palette, 6 RGBA
    std::uint8_t bitDepth = 8;
    std::size_t rowBytes = 0;   // one row in the file, without its filter byte
    std::size_t pixelBytes = 4; // the distance Sub and Paeth look back (1 below 8 bits)
};

// One source row in the file's layout.
void packRow(const Layout& layout, const PaletteTable* palette, const std::uint8_t* rgba, std::uint32_t width,
             std::uint8_t* row) {
    if (layout.colourType == 6) {
        std::memcpy(row, rgba, std::size_t{width} * 4);
    } else if (layout.colourType == 2) {
        for (std::uint32_t x = 0; x < width; ++x)
            std::memcpy(row + 3 * x, rgba + 4 * x, 3);
    } else {
        std::fill(row, row + layout.rowBytes, 0);
        // Indices are packed from the most significant bit down, several to a byte below 8 bits.
        const std::uint32_t bits = layout.bitDepth;
        const std::uint32_t perByte = 8 / bits;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t shift = 8 - bits * (1 + x % perByte);
            row[x / perByte] |= static_cast<std::uint8_t>(palette->indexOf(pixelKey(rgba + 4 * x)) << shift);
        }
    }
}

struct RowGroup {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    std::vector<std::uint8_t> deflated;
    std::uint32_t adler = 1;
    std::uint64_t length = 0; // filtered bytes
};

// Filtered bytes per group: small enough that a group's buffer stays a modest share of the image,
// large enough that the groups' separate starts cost nothing measurable in size.
constexpr std::size_t groupBytes = std::size_t{4} << 20;
// Below this many filtered bytes an image is compressed as one group on the calling thread.
constexpr std::size_t parallelBytes = std::size_t{1} << 20;

void compressGroup(RowGroup& group, const Layout& layout, const PaletteTable* palette,
                   std::span<const std::uint8_t> rgba, std::uint32_t width, bool last, int level) {
    const std::size_t rgbaRow = std::size_t{width} * 4;
    const std::size_t line = layout.rowBytes + 1;
    std::vector<std::uint8_t> filtered((group.end - group.begin) * line);
    std::vector<std::uint8_t> previous(layout.rowBytes), current(layout.rowBytes), scratch;
    if (group.begin > 0)
        packRow(layout, palette, &rgba[(group.begin - 1) * rgbaRow], width, previous.data());
    for (std::uint32_t y = group.begin; y < group.end; ++y) {
        packRow(layout, palette, &rgba[y * rgbaRow], width, current.data());
        const std::span<const std::uint8_t> above =
            y > 0 ? std::span<const std::uint8_t>{previous} : std::span<const std::uint8_t>{};
        // Indexed rows compress best unfiltered; true colour takes each row's best filter.
        const Filter filter =
            layout.colourType == 3 ? Filter::None : chooseFilter(current, above, layout.pixelBytes, scratch);
        filterRow(filter, current, above, layout.pixelBytes, &filtered[(y - group.begin) * line]);
        std::swap(previous, current);
    }
    group.adler = adler32(filtered);
    group.length = filtered.size();
    deflateGroup(filtered, last, level, group.deflated);
    group.deflated.shrink_to_fit(); // the backend reserves its worst case
}

std::uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

} // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    crc = ~crc;
    for (std::uint8_t byte : bytes)
        crc = crcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t adler32(std::span<const std::uint8_t> bytes, std::uint32_t adler) {
    std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
    // 5552 bytes is the most that can be summed before b could overflow 32 bits.
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.size(), at + 5552);
        for (; at < end; ++at) {
            a += bytes[at];
            b += a;
        }
        a %= adlerBase;
        b %= adlerBase;
    }
    return b << 16 | a;
}

std::uint32_t adler32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
    const std::uint64_t length = secondLength % adlerBase;
    const std::uint64_t a1 = first & 0xFFFF, b1 = first >> 16;
    const std::uint64_t a2 = second & 0xFFFF, b2 = second >> 16;
    // A's sum a1 is added once for each byte of B, and B's sums start from 1, not 0.
    const std::uint64_t a = (a1 + a2 + adlerBase - 1) % adlerBase;
    const std::uint64_t b = (b1 + b2 + length * a1 + adlerBase - length) % adlerBase;
    return static_cast<std::uint32_t>(b << 16 | a);
}

void appendChunk(std::vector<std::uint8_t>& png, const char (&type)[5], std::span<const std::uint8_t> data) {
    appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    appendBigEndian(png, crc32({png.data() + start, png.size() - start}));
}

void filterRow(Filter filter, std::span<const std::uint8_t> row, std::span<const std::uint8_t> previous,
               std::size_t pixelBytes, std::uint8_t* out) {
    *out++ = static_cast<std::uint8_t>(filter);
    const auto up = [&](std::size_t i) {
        return previous.empty() ? 0 : int{previous[i]};
    };
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
        const int upLeft = i >= pixelBytes ? up(i - pixelBytes) : 0;
        int predicted = 0;
        switch (filter) {
        case Filter::None:
            break;
        case Filter::Sub:
            predicted = left;
            break;
        case Filter::Up:
            predicted = up(i);
            break;
        case Filter::Average:
            predicted = (left + up(i)) / 2;
            break;
        case Filter::Paeth:
            predicted = paeth(left, up(i), upLeft);
            break;
        }
        out[i] = static_cast<std::uint8_t>(row[i] - predicted);
    }
}

Filter chooseFilter(std::span<const std::uint8_t> row, std::span<const std::uint8_t> previous,
                    std::size_t pixelBytes, std::vector<std::uint8_t>& scratch) {
    scratch.resize(row.size() + 1);
    Filter best = Filter::None;
    std::uint64_t bestSum = UINT64_MAX;
    for (Filter filter : {Filter::None, Filter::Sub, Filter::Up, Filter::Average, Filter::Paeth}) {
        filterRow(filter, row, previous, pixelBytes, scratch.data());
        std::uint64_t sum = 0;
        for (std::size_t i = 1; i < scratch.size(); ++i)
            sum +=
                static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(scratch[i]))));
        if (sum < bestSum) {
            bestSum = sum;
            best = filter;
        }
    }
    return best;
}

std::vector<std::uint8_t> encodeRgba(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                     std::uint32_t height, const EncodeOptions& options) {
    const std::size_t pixels = std::size_t{width} * height;
    if (pixels == 0 || rgba.size() < pixels * 4)
        return {};
    rgba = rgba.first(pixels * 4);

    const bool fixed = options.colourType != ColourType::Smallest;
    const std::optional<PaletteTable> palette = fixed ? std::nullopt : findPalette(rgba);
    bool opaque = options.colourType != ColourType::TruecolourAlpha;
    for (std::size_t at = 3; at < rgba.size() && opaque && !fixed; at += 4)
        opaque = rgba[at] == 255;
    Layout layout;
    if (palette) {
        const std::size_t count = palette->keys().size();
        layout.colourType = 3;
        layout.bitDepth = count <= 2 ? 1 : count <= 4 ? 2 : count <= 16 ? 4 : 8;
        layout.pixelBytes = 1;
        layout.rowBytes = (std::size_t{width} * layout.bitDepth + 7) / 8;
    } else {
        layout.colourType = opaque ? 2 : 6;
        layout.pixelBytes = opaque ? 3 : 4;
        layout.rowBytes = std::size_t{width} * layout.pixelBytes;
    }

    // Groups of whole rows, at least one per thread when the image is worth sharing out.
    const std::size_t filteredBytes = (layout.rowBytes + 1) * height;
    std::size_t groupCount = std::max<std::size_t>(1, (filteredBytes + groupBytes - 1) / groupBytes);
    if (filteredBytes >= parallelBytes)
        groupCount =
            std::max<std::size_t>(groupCount, static_cast<std::size_t>(std::max(options.threads, 1)));
    groupCount = std::min<std::size_t>(groupCount, height);
    std::vector<RowGroup> groups(groupCount);
    for (std::size_t g = 0; g < groupCount; ++g) {
        groups[g].begin = static_cast<std::uint32_t>(std::uint64_t{height} * g / groupCount);
        groups[g].end = static_cast<std::uint32_t>(std::uint64_t{height} * (g + 1) / groupCount);
    }
    const PaletteTable* table = palette ? &*palette : nullptr;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t g = next++; g < groupCount; g = next++)
            compressGroup(groups[g], layout, table, rgba, width, g + 1 == groupCount, options.level);
    };
    {
        const std::size_t helpers =
            std::min<std::size_t>(groupCount, static_cast<std::size_t>(std::max(options.threads, 1))) - 1;
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < helpers; ++i)
            threads.emplace_back(work);
        work();
    }

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header.insert(header.end(), {layout.bitDepth, layout.colourType, 0, 0, 0});
    appendChunk(png, "IHDR", header);
    if (palette) {
        std::vector<std::uint8_t> entries, alphas;
        for (std::uint32_t key : palette->keys()) {
            std::uint8_t bytes[4];
            std::memcpy(bytes, &key, 4);
            entries.insert(entries.end(), bytes, bytes + 3);
            if (bytes[3] != 255)
                alphas.push_back(bytes[3]);
        }
        appendChunk(png, "PLTE", entries);
        if (!alphas.empty())
            appendChunk(png, "tRNS", alphas);
    }
    // One zlib stream over all groups: its header, the groups' blocks one after another, and the
    // adler-32 of all filtered bytes, combined from the groups' own.
    std::vector<std::uint8_t> data = {0x78, 0x9C};
    std::uint32_t adler = 1;
    for (RowGroup& group : groups) {
        adler = adler32Combine(adler, group.adler, group.length);
        data.insert(data.end(), group.deflated.begin(), group.deflated.end());
        group.deflated = {};
    }
    appendBigEndian(data, adler);
    appendChunk(png, "IDAT", data);
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace tessera::png
