// The scaler's entries, opaque and alpha-aware, on images drawn from the bytes (alpha
// bytes included), with every size, row range and factor they can be given, valid or not.
//
// Input layout: a fixed 8-byte header, then the pixels.
//   0  factor        -1 .. 6
//   1  width         -3 .. 64, or 188 .. 203 with flag bit 2
//   2  height        -3 .. 64
//   3  rowEnd        -3 .. 66, or INT32_MAX, or INT32_MIN
//   4  rowBegin      -3 .. 66, or INT32_MIN (the band entry only)
//   5  flags         bit 0: pixels are 2-bit indices into a palette of four words that follows,
//                    so that equal and near colours (and thus edges) are common;
//                    bit 1: the four tuning values follow as raw doubles instead of the defaults;
//                    bit 2: the image is wide enough for the pass's column strips to meet inside it
//   then the palette (16 bytes) and the doubles (32 bytes) when flagged, then one pixel per
//   4 bytes (or per byte with the palette); pixels the input does not reach are 0.
//
// Each call writes into a target that has guard zones before and after it and is filled with a
// sentinel, and is made twice with two different sentinels. Afterwards: the guards and the rows
// the call may not write still hold the sentinel; the rows it may write are the same in both runs
// (so every one of them was written and none depends on what the target held); those rows equal
// the rows of a whole-image call; and the source is unchanged. Two bands that split the image
// between them, as the batch command enlarges it, give the whole-image result. Every check is
// made for both colour modes.
#include "fuzz_check.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <tessera/scaler.h>
#include <vector>

namespace {

constexpr std::size_t headerSize = 8;
constexpr std::size_t guardPixels = 256;
constexpr Pixel firstSentinel = 0xA5C3E1F0u;
constexpr Pixel secondSentinel = 0x5A3C1E0Fu;

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    Pixel word() {
        Pixel w = 0;
        for (int i = 0; i < 4; ++i)
            w = w << 8 | byte();
        return w;
    }
    double real() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = bits << 8 | byte();
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
};

std::int32_t rowLimit(std::uint8_t b) {
    if (b == 255)
        return std::numeric_limits<std::int32_t>::max();
    if (b == 254)
        return std::numeric_limits<std::int32_t>::min();
    return b % 70 - 3;
}

// The whole-image and band entries of one colour mode.
struct Mode {
    void (*whole)(std::int32_t, const Pixel*, Pixel*, std::int32_t, std::int32_t, const ScaleSettings&,
                  std::int32_t);
    void (*band)(std::int32_t, const Pixel*, Pixel*, std::int32_t, std::int32_t, const ScaleSettings&,
                 std::int32_t, std::int32_t);
};

constexpr Mode modes[] = {{upscale, upscaleBand}, {upscaleWithAlpha, upscaleBandWithAlpha}};

struct Call {
    const Mode* mode;
    std::int32_t factor;
    std::int32_t width;
    std::int32_t height;
    std::int32_t rowBegin; // 0 for upscale
    std::int32_t rowEnd;
    bool band;
};

// The target rows [first, last) that the call may write; empty when it may write nothing.
struct RowRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

RowRange writableRows(const Call& call) {
    if (call.factor < 2 || call.factor > 5 || call.width <= 0)
        return {};
    const std::int64_t firstRow = std::max(call.rowBegin, 0);
    const std::int64_t lastRow = std::min(call.rowEnd, call.height);
    if (lastRow <= firstRow)
        return {};
    return {firstRow * call.factor, lastRow * call.factor};
}

// A target buffer of the whole image's size between two guard zones, all filled with a sentinel.
struct GuardedTarget {
    std::vector<Pixel> storage;
    Pixel sentinel;

    GuardedTarget(std::size_t pixels, Pixel fill) : storage(pixels + 2 * guardPixels, fill), sentinel(fill) {}
    Pixel* image() { return storage.data() + guardPixels; }
    const Pixel* image() const { return storage.data() + guardPixels; }
    bool holdsSentinel(std::size_t begin, std::size_t end) const {
        return std::all_of(storage.begin() + static_cast<std::ptrdiff_t>(begin),
                           storage.begin() + static_cast<std::ptrdiff_t>(end),
                           [this](Pixel p) { return p == sentinel; });
    }
};

void run(const Call& call, const std::vector<Pixel>& source, const ScaleSettings& settings, Pixel* target) {
    if (call.band)
        call.mode->band(call.factor, source.data(), target, call.width, call.height, settings, call.rowBegin,
                        call.rowEnd);
    else
        call.mode->whole(call.factor, source.data(), target, call.width, call.height, settings, call.rowEnd);
}

// Makes the call twice, with two sentinels, and checks everything but the comparison with the
// whole-image result; returns the first run's target.
GuardedTarget checkedCall(const Call& call, const std::vector<Pixel>& source, const ScaleSettings& settings,
                          std::size_t imagePixels, std::size_t rowPixels) {
    const std::vector<Pixel> sourceBefore = source;
    GuardedTarget first{imagePixels, firstSentinel};
    GuardedTarget second{imagePixels, secondSentinel};
    run(call, source, settings, first.image());
    run(call, source, settings, second.image());
    fuzz::require(source == sourceBefore, "the source is not changed");

    const RowRange rows = writableRows(call);
    const std::size_t begin = guardPixels + static_cast<std::size_t>(rows.first) * rowPixels;
    const std::size_t end = guardPixels + static_cast<std::size_t>(rows.last) * rowPixels;
    for (const GuardedTarget* t : {&first, &second}) {
        fuzz::require(t->holdsSentinel(0, guardPixels), "the guard before the target is intact");
        fuzz::require(t->holdsSentinel(guardPixels + imagePixels, t->storage.size()),
                      "the guard after the target is intact");
        fuzz::require(t->holdsSentinel(guardPixels, begin), "rows above the range are not written");
        fuzz::require(t->holdsSentinel(end, guardPixels + imagePixels),
                      "rows below the range are not written");
    }
    fuzz::require(std::equal(first.storage.begin() + static_cast<std::ptrdiff_t>(begin),
                             first.storage.begin() + static_cast<std::ptrdiff_t>(end),
                             second.storage.begin() + static_cast<std::ptrdiff_t>(begin)),
                  "every pixel of the range is written, whatever the target held");
    return first;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < headerSize)
        return 0;
    Reader in{data, size};
    const std::int32_t factor = in.byte() % 8 - 1;
    const std::uint8_t widthByte = in.byte();
    const std::int32_t height = in.byte() % 68 - 3;
    const std::int32_t rowEnd = rowLimit(in.byte());
    const std::uint8_t beginByte = in.byte();
    const std::int32_t rowBegin =
        beginByte == 255 ? std::numeric_limits<std::int32_t>::min() : beginByte % 70 - 3;
    const std::uint8_t flags = in.byte();
    in.byte();
    in.byte();
    const std::int32_t width = flags & 4 ? 188 + widthByte % 16 : widthByte % 68 - 3;

    std::vector<Pixel> palette;
    if (flags & 1)
        for (int i = 0; i < 4; ++i)
            palette.push_back(in.word());
    ScaleSettings settings;
    if (flags & 2)
        settings = {in.real(), in.real(), in.real(), in.real()};

    const std::size_t sourcePixels = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
    // Exactly the size of the image, so that any read outside it is caught by the sanitizer.
    std::vector<Pixel> source(sourcePixels);
    for (Pixel& p : source)
        p = palette.empty() ? in.word() : palette[in.byte() & 3];

    // Factors outside 2..5 write nothing; their target is sized as for factor 1.
    const std::int32_t scale = factor >= 2 && factor <= 5 ? factor : 1;
    const std::size_t rowPixels = static_cast<std::size_t>(std::max(width, 0)) * scale;
    const std::size_t imagePixels = sourcePixels * scale * scale;

    const std::int32_t whole = std::numeric_limits<std::int32_t>::max();
    for (const Mode& mode : modes) {
        const GuardedTarget reference = checkedCall({&mode, factor, width, height, 0, whole, false}, source,
                                                    settings, imagePixels, rowPixels);
        for (const Call& call : {Call{&mode, factor, width, height, 0, rowEnd, false},
                                 Call{&mode, factor, width, height, rowBegin, rowEnd, true}}) {
            const GuardedTarget result = checkedCall(call, source, settings, imagePixels, rowPixels);
            const RowRange rows = writableRows(call);
            const auto begin = static_cast<std::ptrdiff_t>(guardPixels + rows.first * rowPixels);
            const auto end = static_cast<std::ptrdiff_t>(guardPixels + rows.last * rowPixels);
            fuzz::require(std::equal(result.storage.begin() + begin, result.storage.begin() + end,
                                     reference.storage.begin() + begin),
                          call.band ? "a band equals the same rows of the whole-image call"
                                    : "a partial call equals the same rows of the whole-image call");
        }

        // The batch command enlarges an image as consecutive bands into one shared target. Split at
        // rowBegin and done lower band first, the two must give the whole-image result.
        if (writableRows({&mode, factor, width, height, 0, whole, false}).last > 0) {
            const std::int32_t split = std::clamp(rowBegin, 0, height);
            GuardedTarget pieced{imagePixels, firstSentinel};
            mode.band(factor, source.data(), pieced.image(), width, height, settings, split, height);
            mode.band(factor, source.data(), pieced.image(), width, height, settings, 0, split);
            fuzz::require(pieced.storage == reference.storage,
                          "two bands pieced together equal the whole image");
        }
    }
    return 0;
}
