// The source rows around one source row of a column strip, and the distances between
// every pair of nearby pixels among them, each measured once.
//
// The pass enlarges the image in strips of up to stripColumns columns, each from the top
// row down, so that the working area stays a fixed size on the stack whatever the
// image's width. For source row y the window holds rows y - 1 .. y + 2 of the strip
// with two columns on each side, the rows and columns beyond the image's borders read by
// its edge mode (enlargement.h) as the neighbourhood reads them, and the distances of
// these pairs:
//   horizontal[r]  side by side in row y - 1 + r                      (r = 0, 1, 2)
//   vertical[r]    one above the other, rows y - 1 + r and y + r      (r = 0, 1)
//   falling[r]     upper-left to lower-right, rows y - 1 + r and y + r (r = 0, 1, 2)
//   rising[r]      lower-left to upper-right, rows y - 1 + r and y + r (r = 0, 1, 2)
// Each array is indexed by the window column of the pair's left pixel. Every term of
// the two diagonal sums of corner grading is a falling or rising pair, and every
// distance the blend decision asks for is one of these pairs (it leaves its slope spans,
// which few corners need, to be measured for those corners alone). Each pair is
// measured once, and only where it is read: moving down a row brings new pairs only with
// the new bottom row, and flat stretches, where no corner can be graded, read none. At
// most four pairs per source pixel in all.
#pragma once

#include "colour_distance.h"
#include "enlargement.h"
#include "pair_distances.h"
#include "pass_namespace.h"
#include "quarter_turn.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// With the staging area of factor 5, a strip's working area comes to about 51 KB and
// the deepest call below it (the row's decisions) 8 KB more; the pass stays within
// 64 KiB of stack.
constexpr int stripColumns = 192;
constexpr int stripMargin = 2; // columns read on each side of a strip
constexpr int windowColumns = stripColumns + 2 * stripMargin;

// Pairs are measured, corners graded and pixels decided in stretches of this many
// columns; a set of stretches is a mask, bit k for columns 16k .. 16k + 15.
constexpr int pairStretch = 16;
static_assert((windowColumns + pairStretch - 1) / pairStretch < 32);

// The stretches of values[0 .. count) that hold a value other than 0.
template <typename Value>
inline std::uint32_t nonZeroStretches(const Value* values, int count) {
    std::uint32_t stretches = 0;
    for (int from = 0; from < count; from += pairStretch) {
        Value any = 0;
        for (int x = from; x < std::min(from + pairStretch, count); ++x)
            any |= values[x];
        stretches |= static_cast<std::uint32_t>(any != 0) << (from / pairStretch);
    }
    return stretches;
}

// Calls visit(begin, end) for each run of consecutive stretches [begin, end) in the mask,
// from the left, so that each run is handled in one loop. Always inlined, and so are the
// visitors, so that each run's loop is optimised where it stands.
template <typename Visit>
[[gnu::always_inline]] inline void forEachRun(std::uint32_t stretches, Visit visit) {
    while (stretches != 0) {
        const int begin = std::countr_zero(stretches);
        const int end = begin + std::countr_one(stretches >> begin);
        stretches &= ~std::uint32_t{0} << end;
        visit(begin, end);
    }
}

// The columns of a strip: runs of source columns, each within one cell of the image, laid
// side by side in the window with their own margins, read at the borders of their own cell
// by its edge mode. Narrow cells go several to a strip, so that a sheet of them is enlarged
// in strips as wide as those of a whole image; the positions between two runs, their
// margins, are enlarged too, in the staging area only, and never reach the target.
struct StripRun {
    std::int32_t first = 0; // source columns [first, first + count)
    std::int32_t count = 0;
    std::int32_t cellFirst = 0; // the cell's columns [cellFirst, cellEnd)
    std::int32_t cellEnd = 0;
    int at = 0; // the strip position of its first column
};

constexpr int maxStripRuns = (stripColumns + 2 * stripMargin) / (1 + 2 * stripMargin);

struct Strip {
    StripRun runs[maxStripRuns];
    int runCount = 0;
    int columns = 0;      // the strip's positions, the margins between runs included
    std::int32_t end = 0; // the source column after its last run
};

// The strip from source column `first` of an image `width` wide in cells `cellWidth`
// wide: the rest of the cell there (as much of it as fits), then as many whole cells as fit.
inline Strip stripFrom(std::int32_t first, std::int32_t width, std::int32_t cellWidth) {
    Strip strip;
    strip.end = first;
    while (strip.end < width && strip.runCount < maxStripRuns) {
        const std::int32_t cellFirst = strip.end / cellWidth * cellWidth;
        const std::int32_t cellEnd = std::min(cellFirst + cellWidth, width);
        const int at = strip.runCount == 0 ? 0 : strip.columns + 2 * stripMargin;
        const std::int32_t count = std::min(cellEnd - strip.end, stripColumns - at);
        if (strip.runCount > 0 && count < cellEnd - strip.end)
            break;
        strip.runs[strip.runCount++] = {strip.end, count, cellFirst, cellEnd, at};
        strip.columns = at + count;
        strip.end += count;
    }
    return strip;
}

template <typename Colours>
class StripWindow {
public:
    // The window around row `row` of the image's strip.
    StripWindow(const ImageView& image, const Strip& strip, std::int32_t row, double lumaWeight)
        : image_(image), strip_(strip), pairs_(strip.columns + 2 * stripMargin - 1), lumaWeight_(lumaWeight),
          row_(row) {
        for (int r = 0; r < 4; ++r) {
            slots_[r] = &rowStore_[r];
            load(*slots_[r], row - 1 + r);
        }
        double(*store)[windowColumns] = pairStore_;
        for (int r = 0; r < 3; ++r) {
            horizontal[r] = *store++;
            falling[r] = *store++;
            rising[r] = *store++;
        }
        for (int r = 0; r < 2; ++r)
            vertical[r] = *store++;
    }

    StripWindow(const StripWindow&) = delete;
    StripWindow& operator=(const StripWindow&) = delete;

    // Moves the window one source row down. The pairs the new bottom row brings are
    // measured when first asked for.
    void advance() {
        ++row_;
        rotate(slots_);
        rotateMeasured(horizontal, horizontalMeasured_);
        rotateMeasured(falling, fallingMeasured_);
        rotateMeasured(rising, risingMeasured_);
        rotateMeasured(vertical, verticalMeasured_);
        load(*slots_[3], row_ + 2);
    }

    // Window row r (0 .. 3): source row y - 1 + r.
    const Pixel* words(int r) const { return slots_[r]->words; }

    // Makes sure the pairs in the given stretches (those whose left pixel lies in the
    // stretches' window columns) are measured, each once: those corner grading reads, and
    // those the blend decision reads.
    void measureForGrading(std::uint32_t stretches) {
        for (int r = 0; r < 3; ++r) {
            measure(fallingMeasured_[r], stretches, r, r + 1, 1, falling[r]);
            measure(risingMeasured_[r], stretches, r + 1, r, 1, rising[r]);
        }
    }
    void measureForDecisions(std::uint32_t stretches) {
        for (int r = 0; r < 3; ++r)
            measure(horizontalMeasured_[r], stretches, r, r, 1, horizontal[r]);
        for (int r = 0; r < 2; ++r) {
            measure(fallingMeasured_[r], stretches, r, r + 1, 1, falling[r]);
            measure(risingMeasured_[r], stretches, r + 1, r, 1, rising[r]);
            measure(verticalMeasured_[r], stretches, r, r + 1, 0, vertical[r]);
        }
    }

    double* horizontal[3];
    double* vertical[2];
    double* falling[3];
    double* rising[3];

private:
    // A row of the window: its words, straight from the source where the strip is one run
    // whose margins lie inside its cell, else copied run by run.
    struct RowStore {
        const Pixel* words;
        Pixel copied[windowColumns];
    };

    // Row r of the image, each run with its margins, read by the edge mode.
    void load(RowStore& out, std::int32_t r) {
        const Pixel* line =
            image_.pixels +
            static_cast<std::ptrdiff_t>(edgeIndex(image_.edges, r, image_.height)) * image_.stride;
        const StripRun& only = strip_.runs[0];
        const std::int32_t from = only.first - stripMargin;
        if (strip_.runCount == 1 && from >= only.cellFirst && from + pairs_ + 1 <= only.cellEnd) {
            out.words = line + from;
            return;
        }
        for (int k = 0; k < strip_.runCount; ++k) {
            const StripRun& run = strip_.runs[k];
            // At most the two columns of each margin lie beyond the cell's borders.
            const std::int32_t first = run.first - stripMargin, end = run.first + run.count + stripMargin;
            const std::int32_t inside = std::max(first, run.cellFirst),
                               insideEnd = std::min(end, run.cellEnd);
            Pixel* to = out.copied + run.at; // column `first`
            const auto beyond = [&](std::int32_t x) {
                return line[run.cellFirst +
                            edgeIndex(image_.edges, x - run.cellFirst, run.cellEnd - run.cellFirst)];
            };
            for (std::int32_t x = first; x < inside; ++x)
                to[x - first] = beyond(x);
            std::copy(line + inside, line + insideEnd, to + (inside - first));
            for (std::int32_t x = insideEnd; x < end; ++x)
                to[x - first] = beyond(x);
        }
        out.words = out.copied;
    }

    // out[i] = distance(pixel i of window row `first`, pixel i + shift of row `second`), for
    // the wanted stretches not yet measured, each run of them in one loop.
    void measure(std::uint32_t& measured, std::uint32_t wanted, int first, int second, int shift,
                 double* out) {
        const int count = pairs_ + 1 - shift;
        forEachRun(wanted & ~measured, [&](int begin, int end) {
            const int from = begin * pairStretch, to = std::min(end * pairStretch, count);
            if (from >= to)
                return;
            measurePairs<Colours>(words(first) + from, words(second) + from + shift, to - from, lumaWeight_,
                                  out + from);
        });
        measured |= wanted;
    }

    // By hand: the library's rotate is a general loop that stays a call for rings of three and four slots.
    template <typename T, std::size_t N>
    static void rotate(T (&ring)[N]) {
        const T first = ring[0];
        for (std::size_t i = 0; i + 1 < N; ++i)
            ring[i] = ring[i + 1];
        ring[N - 1] = first;
    }

    // The slot that falls off the top comes back at the bottom, not yet measured.
    template <std::size_t N>
    static void rotateMeasured(double* (&ring)[N], std::uint32_t (&measured)[N]) {
        rotate(ring);
        rotate(measured);
        measured[N - 1] = 0;
    }

    ImageView image_;
    const Strip& strip_;
    int pairs_; // pairs of neighbours in a row of the window: the strip's columns and the margins
    double lumaWeight_;
    std::int32_t row_;
    RowStore rowStore_[4];
    RowStore* slots_[4];
    double pairStore_[11][windowColumns];
    std::uint32_t horizontalMeasured_[3] = {}, fallingMeasured_[3] = {}, risingMeasured_[3] = {};
    std::uint32_t verticalMeasured_[2] = {};
};

// The parts of the window the blend decision reads about its current row, as plain
// pointers taken once per row: a loop that reads through them reads nothing its own
// stores could change, and vectorises.
struct WindowView {
    const Pixel* words[3]; // window rows 0 .. 2: source rows y - 1 .. y + 1
    const double* horizontal[3];
    const double* vertical[2];
    const double* falling[2];
    const double* rising[2];

    template <typename Colours>
    explicit WindowView(const StripWindow<Colours>& w)
        : words{w.words(0), w.words(1), w.words(2)}, horizontal{w.horizontal[0], w.horizontal[1],
                                                                w.horizontal[2]},
          vertical{w.vertical[0], w.vertical[1]}, falling{w.falling[0], w.falling[1]}, rising{w.rising[0],
                                                                                              w.rising[1]} {}
};

// The cells and distances the blend decision asks for about the pixel in window column
// `column` of the window's current row.
struct WindowNeighbourhood {
    const WindowView& window;
    int column;

    static constexpr Offset offsetOf(int cell) { return {cell % 3 - 1, cell / 3 - 1}; }

    template <int Cell>
    Pixel pixel() const {
        constexpr Offset at = offsetOf(Cell);
        return window.words[at.y + 1][column + at.x];
    }

    template <int A, int B>
    double between() const {
        // The pair as seen from its upper (or, in one row, its left) cell.
        constexpr Offset a = offsetOf(A), b = offsetOf(B);
        constexpr bool aFirst = a.y < b.y || (a.y == b.y && a.x < b.x);
        constexpr Offset from = aFirst ? a : b, to = aFirst ? b : a;
        constexpr int dx = to.x - from.x, dy = to.y - from.y;
        constexpr int r = from.y + 1;
        const int at = column + from.x;
        if constexpr (dy == 1 && dx == 1)
            return window.falling[r][at];
        else if constexpr (dy == 1 && dx == -1)
            return window.rising[r][at - 1];
        else if constexpr (dy == 0 && dx == 1)
            return window.horizontal[r][at];
        else {
            static_assert(dy == 1 && dx == 0, "neighbouring cells");
            return window.vertical[r][at];
        }
    }
};

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
