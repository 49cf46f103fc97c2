// The scaler's entries, opaque and alpha-aware, on small images drawn from the bytes (alpha bytes
// included), with every size, row range and factor they can be given, valid or not, against the
// plain implementation the tests use as their oracle.
//
// Input layout: a 6-byte header, then the pixels.
//   0  factor     -1 .. 6
//   1  flags      bit 0: the alpha-aware entries instead of the opaque ones;
//                 bit 1: pixels are 2-bit indices into a palette of four words that follows,
//                        so that equal and near colours (and thus edges) are common;
//                 bit 2: the four tuning values follow as raw doubles instead of the defaults;
//                 bits 4-5: the call (see Form)
//   2  width      -3 .. 49, most often small; or from 240 up, 188 .. 203, wide enough for the
//                 pass's column strips to meet inside a row
//   3  height     -3 .. 60, most often small, and at most maxSourcePixels / width
//   4  rowBegin   -3 .. height + 3, or INT32_MAX (255), or INT32_MIN (254)
//   5  rowEnd     the same
//   then the palette (16 bytes) and the doubles (32 bytes) when flagged, then one pixel per 4 bytes
//   (or per byte with the palette); pixels the input does not reach are 0.
//
// The call is made twice, into a target between two guard zones that is filled with a sentinel, a
// different one each time. Each time the whole buffer must come out as the plain implementation's
// rows where the call may write and the sentinel everywhere else: so every word of those rows is
// written, none depends on what the target held, and nothing outside them is touched. As the
// oracle gives every form of call the same rows, bands agree with whole-image calls, also when two
// of them fill one target as the batch command does. The source must be unchanged.
#include "fuzz_check.h"
#include "reference_scaler.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <tessera/scaler.h>
#include <vector>

namespace {

constexpr std::size_t headerSize = 6;
// Small images keep the inputs fast; a few thousand pixels still hold every pattern, both image
// edges in every direction and, in a wide image, strips meeting inside a row.
constexpr std::int32_t maxSourcePixels = 4096;
constexpr std::size_t guardPixels = 64;
constexpr Pixel sentinels[] = {0xA5C3E1F0u, 0x5A3C1E0Fu};
constexpr std::int32_t wholeImage = std::numeric_limits<std::int32_t>::max();

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

// A side of -3 .. 60 that grows with the cube of the byte, so that small images dominate: half of
// all bytes give 4 or less, three quarters 24 or less.
std::int32_t side(std::uint8_t b) {
    return b * b * b / (1 << 18) - 3;
}

std::int32_t width(std::uint8_t b) {
    return b >= 240 ? 188 + b % 16 : side(b);
}

std::int32_t rowLimit(std::uint8_t b, std::int32_t height) {
    if (b == 255)
        return wholeImage;
    if (b == 254)
        return std::numeric_limits<std::int32_t>::min();
    return b % (std::max(height, 0) + 7) - 3;
}

// The forms of call: the editor enlarges whole images, the batch command bands of one target.
enum class Form : std::uint8_t {
    Whole,     // upscale of every row
    FirstRows, // upscale up to rowEnd
    Band,      // upscaleBand of [rowBegin, rowEnd)
    TwoBands,  // the image as two bands split at rowBegin, the lower one first, in one target
};

struct Call {
    bool alpha;
    Form form;
    std::int32_t factor;
    std::int32_t width;
    std::int32_t height;
    std::int32_t rowBegin;
    std::int32_t rowEnd;
    ScaleSettings settings;
};

void enlarge(const Call& call, const Pixel* source, Pixel* target) {
    const auto whole = [&](std::int32_t rowEnd) {
        (call.alpha ? upscaleWithAlpha : upscale)(call.factor, source, target, call.width, call.height,
                                                  call.settings, rowEnd);
    };
    const auto band = [&](std::int32_t rowBegin, std::int32_t rowEnd) {
        (call.alpha ? upscaleBandWithAlpha : upscaleBand)(call.factor, source, target, call.width,
                                                          call.height, call.settings, rowBegin, rowEnd);
    };
    switch (call.form) {
    case Form::Whole:
        return whole(wholeImage);
    case Form::FirstRows:
        return whole(call.rowEnd);
    case Form::Band:
        return band(call.rowBegin, call.rowEnd);
    case Form::TwoBands: {
        const std::int32_t split = std::clamp(call.rowBegin, 0, std::max(call.height, 0));
        band(split, call.height);
        return band(0, split);
    }
    }
}

// The source rows [begin, end) the call enlarges.
struct Rows {
    std::int32_t begin = 0;
    std::int32_t end = 0;
};

Rows enlargedRows(const Call& call) {
    if (call.factor < minScaleFactor || call.factor > maxScaleFactor || call.width <= 0)
        return {};
    const bool band = call.form == Form::Band;
    const bool partial = band || call.form == Form::FirstRows;
    const Rows rows{band ? std::max(call.rowBegin, 0) : 0,
                    std::min(partial ? call.rowEnd : wholeImage, call.height)};
    return rows.end > rows.begin ? rows : Rows{};
}

// The target buffer: guard, image, guard. Factors outside 2..5 write nothing; their image is sized
// as for factor 1.
struct Layout {
    std::size_t imagePixels; // of the target image
    std::size_t writeBegin;  // the words the call may write, as indices into the buffer
    std::size_t writeEnd;
};

Layout layoutOf(const Call& call) {
    const std::int32_t scale =
        call.factor >= minScaleFactor && call.factor <= maxScaleFactor ? call.factor : 1;
    const auto rowPixels = static_cast<std::size_t>(std::max(call.width, 0)) * scale;
    const Rows rows = enlargedRows(call);
    return {rowPixels * std::max(call.height, 0) * scale, guardPixels + rowPixels * scale * rows.begin,
            guardPixels + rowPixels * scale * rows.end};
}

// What went wrong at a word of the buffer that differs from the expected one.
const char* fault(const Layout& layout, std::size_t at) {
    if (at < guardPixels)
        return "the guard before the target is intact";
    if (at >= guardPixels + layout.imagePixels)
        return "the guard after the target is intact";
    if (at < layout.writeBegin || at >= layout.writeEnd)
        return "rows outside the call's range are not written";
    return "the rows written equal the plain implementation's, whatever the target held";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < headerSize)
        return 0;
    Reader in{data, size};
    Call call{};
    call.factor = in.byte() % 8 - 1;
    const std::uint8_t flags = in.byte();
    call.alpha = flags & 1;
    call.form = static_cast<Form>(flags >> 4 & 3);
    call.width = width(in.byte());
    call.height = std::min(side(in.byte()), maxSourcePixels / std::max(call.width, 1));
    call.rowBegin = rowLimit(in.byte(), call.height);
    call.rowEnd = rowLimit(in.byte(), call.height);

    std::vector<Pixel> palette;
    if (flags & 2)
        for (int i = 0; i < 4; ++i)
            palette.push_back(in.word());
    if (flags & 4)
        call.settings = {in.real(), in.real(), in.real(), in.real()};

    // Exactly the size of the image, so that any read outside it is caught by the sanitizer.
    std::vector<Pixel> source(static_cast<std::size_t>(std::max(call.width, 0)) * std::max(call.height, 0));
    for (Pixel& p : source)
        p = palette.empty() ? in.word() : palette[in.byte() & 3];
    const std::vector<Pixel> sourceBefore = source;

    const Layout layout = layoutOf(call);
    const Rows rows = enlargedRows(call);
    std::vector<Pixel> oracle(layout.imagePixels);
    tessera::reference::upscale(call.factor, source.data(), oracle.data(), call.width, call.height,
                                call.settings, rows.begin, rows.end, call.alpha);

    for (const Pixel sentinel : sentinels) {
        std::vector<Pixel> target(guardPixels + layout.imagePixels + guardPixels, sentinel);
        std::vector<Pixel> expected = target;
        std::copy(oracle.begin() + static_cast<std::ptrdiff_t>(layout.writeBegin - guardPixels),
                  oracle.begin() + static_cast<std::ptrdiff_t>(layout.writeEnd - guardPixels),
                  expected.begin() + static_cast<std::ptrdiff_t>(layout.writeBegin));
        enlarge(call, source.data(), target.data() + guardPixels);
        if (target != expected) {
            const auto wrong = std::mismatch(target.begin(), target.end(), expected.begin()).first;
            fuzz::fail(fault(layout, static_cast<std::size_t>(wrong - target.begin())));
        }
    }
    fuzz::require(source == sourceBefore, "the source is not changed");
    return 0;
}
