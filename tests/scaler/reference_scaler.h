// A deliberately plain second implementation of the enlargement, used only as an
// oracle for the optimised pass: whole rows graded first, every distance measured where
// it is used, the quarter turns as explicit per-turn tables, pattern lists as data,
// every blend per channel with no shortcut. `alpha` selects the alpha-aware mode:
// transparent words are one pixel, alpha enters the distance, blends are premultiplied and
// transparent cells are stored as 0. `edges` says which pixel each neighbour reads: clamped
// or wrapped at the borders of the image, or of the cell of a sheet that holds the pixel.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <tessera/scaler.h>
#include <vector>

namespace tessera::reference {

inline double formula(Pixel a, Pixel b, double w) {
    const double dr = static_cast<int>((a >> 16) & 255) - static_cast<int>((b >> 16) & 255);
    const double dg = static_cast<int>((a >> 8) & 255) - static_cast<int>((b >> 8) & 255);
    const double db = static_cast<int>(a & 255) - static_cast<int>(b & 255);
    const double y = (dg * 0.7152 + dr * 0.2126) + db * 0.0722;
    const double cb = (db - y) * 0.5389092476826902;
    const double cr = (dr - y) * 0.63500127000254;
    return std::sqrt(((y * w) * (y * w) + cb * cb) + cr * cr);
}

inline bool samePixel(Pixel a, Pixel b, bool alpha) {
    return a == b || (alpha && (a >> 24) == 0 && (b >> 24) == 0);
}

inline double distance(Pixel a, Pixel b, double w, bool alpha) {
    if (samePixel(a, b, alpha))
        return 0.0;
    const double colour = formula(a, b, w);
    const int alphaA = static_cast<int>(a >> 24), alphaB = static_cast<int>(b >> 24);
    if (!alpha || (alphaA == 255 && alphaB == 255))
        return colour;
    const double m = std::min(alphaA, alphaB);
    const double d = std::abs(alphaA - alphaB);
    return colour * m / 255.0 + d;
}

struct Step {
    int row, column, k, n; // n == 0: set
};

// Pattern lists by factor (2..5) and kind (both slopes, shallow, steep, diagonal, corner).
inline const std::vector<Step>& pattern(int factor, int kind) {
    static const std::vector<Step> lists[4][5] = {
        {{{1, 0, 1, 4}, {0, 1, 1, 4}, {1, 1, 5, 6}},
         {{1, 0, 1, 4}, {1, 1, 3, 4}},
         {{0, 1, 1, 4}, {1, 1, 3, 4}},
         {{1, 1, 1, 2}},
         {{1, 1, 21, 100}}},
        {{{2, 0, 1, 4}, {0, 2, 1, 4}, {2, 1, 3, 4}, {1, 2, 3, 4}, {2, 2, 0, 0}},
         {{2, 0, 1, 4}, {1, 2, 1, 4}, {2, 1, 3, 4}, {2, 2, 0, 0}},
         {{0, 2, 1, 4}, {2, 1, 1, 4}, {1, 2, 3, 4}, {2, 2, 0, 0}},
         {{1, 2, 1, 8}, {2, 1, 1, 8}, {2, 2, 7, 8}},
         {{2, 2, 45, 100}}},
        {{{3, 1, 3, 4},
          {1, 3, 3, 4},
          {3, 0, 1, 4},
          {0, 3, 1, 4},
          {2, 2, 1, 3},
          {2, 3, 0, 0},
          {3, 2, 0, 0},
          {3, 3, 0, 0}},
         {{3, 0, 1, 4}, {2, 2, 1, 4}, {3, 1, 3, 4}, {2, 3, 3, 4}, {3, 2, 0, 0}, {3, 3, 0, 0}},
         {{0, 3, 1, 4}, {2, 2, 1, 4}, {1, 3, 3, 4}, {3, 2, 3, 4}, {2, 3, 0, 0}, {3, 3, 0, 0}},
         {{3, 2, 1, 2}, {2, 3, 1, 2}, {3, 3, 0, 0}},
         {{3, 3, 68, 100}, {3, 2, 9, 100}, {2, 3, 9, 100}}},
        {{{0, 4, 1, 4},
          {2, 3, 1, 4},
          {1, 4, 3, 4},
          {4, 0, 1, 4},
          {3, 2, 1, 4},
          {4, 1, 3, 4},
          {2, 4, 0, 0},
          {3, 4, 0, 0},
          {4, 2, 0, 0},
          {4, 3, 0, 0},
          {4, 4, 0, 0},
          {3, 3, 2, 3}},
         {{4, 0, 1, 4},
          {3, 2, 1, 4},
          {2, 4, 1, 4},
          {4, 1, 3, 4},
          {3, 3, 3, 4},
          {4, 2, 0, 0},
          {4, 3, 0, 0},
          {4, 4, 0, 0},
          {3, 4, 0, 0}},
         {{0, 4, 1, 4},
          {2, 3, 1, 4},
          {4, 2, 1, 4},
          {1, 4, 3, 4},
          {3, 3, 3, 4},
          {2, 4, 0, 0},
          {3, 4, 0, 0},
          {4, 4, 0, 0},
          {4, 3, 0, 0}},
         {{4, 2, 1, 8}, {3, 3, 1, 8}, {2, 4, 1, 8}, {4, 3, 7, 8}, {3, 4, 7, 8}, {4, 4, 0, 0}},
         {{4, 4, 86, 100}, {4, 3, 23, 100}, {3, 4, 23, 100}}},
    };
    return lists[factor - 2][kind];
}

inline Pixel blendChannels(Pixel current, Pixel colour, int k, int n, bool alpha) {
    Pixel out = 0;
    if (!alpha) {
        for (int shift = 0; shift <= 16; shift += 8) {
            const std::uint32_t c = (colour >> shift) & 255, d = (current >> shift) & 255;
            out |= ((k * c + (n - k) * d) / n) << shift;
        }
        return out;
    }
    const std::uint32_t wb = k * (colour >> 24), wc = (n - k) * (current >> 24), total = wb + wc;
    if (total / n == 0)
        return 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t c = (colour >> shift) & 255, d = (current >> shift) & 255;
        out |= ((wb * c + wc * d) / total) << shift;
    }
    return out | (total / n) << 24;
}

// The quarter turns, each written out: where turn t finds N(dx, dy) of the turn-0
// frame, where it puts pattern cell (r, c), and the shifts of the own, ahead and
// behind grade fields.
inline void turnOffset(int t, int& dx, int& dy) {
    const int x = dx, y = dy;
    const int turned[4][2] = {{x, y}, {y, -x}, {-x, -y}, {-y, x}};
    dx = turned[t][0];
    dy = turned[t][1];
}

inline void turnCell(int t, int factor, int& r, int& c) {
    const int s = factor - 1, row = r, column = c;
    const int turned[4][2] = {{row, column}, {s - column, row}, {s - row, s - column}, {column, s - row}};
    r = turned[t][0];
    c = turned[t][1];
}

struct GradeFields {
    int own, ahead, behind;
};
constexpr GradeFields turnFields[4] = {{4, 2, 6}, {2, 0, 4}, {0, 6, 2}, {6, 4, 0}};

struct Edges {
    bool wrap = false;
    int cellWidth = 0, cellHeight = 0; // 0: the whole image is one cell
};

// The index that offset d from index i reads along one side of length `size`, split into
// cells of `cell` from 0 (the last one shorter).
inline int neighbourIndex(int i, int d, int size, int cell, bool wrap) {
    const int first = cell > 0 ? i / cell * cell : 0;
    const int length = cell > 0 ? std::min(cell, size - first) : size;
    const int j = i + d - first;
    return first + (wrap ? (j % length + length) % length : std::clamp(j, 0, length - 1));
}

// The grades the corner whose top-left pixel is N(0, 0) gives N(0,0), N(1,0), N(0,1), N(1,1).
template <typename Cell, typename Distance, typename Same>
std::array<int, 4> cornerGrades(Cell n, Distance d, Same same, const ScaleSettings& s) {
    if ((same(n(0, 0), n(1, 0)) && same(n(0, 1), n(1, 1))) ||
        (same(n(0, 0), n(0, 1)) && same(n(1, 0), n(1, 1))))
        return {0, 0, 0, 0};
    const double rising = d(n(0, 0), n(1, -1)) + d(n(-1, 1), n(0, 0)) + d(n(0, 2), n(1, 1)) +
                          d(n(1, 1), n(2, 0)) + 4.0 * d(n(0, 1), n(1, 0));
    const double falling = d(n(0, 1), n(1, 2)) + d(n(-1, 0), n(0, 1)) + d(n(0, -1), n(1, 0)) +
                           d(n(1, 0), n(2, 1)) + 4.0 * d(n(0, 0), n(1, 1));
    std::array<int, 4> g{0, 0, 0, 0};
    if (falling > rising) {
        const int grade = falling > s.dominantRatio * rising ? 2 : 1;
        g[0] = !same(n(0, 0), n(1, 0)) && !same(n(0, 0), n(0, 1)) ? grade : 0;
        g[3] = !same(n(1, 1), n(0, 1)) && !same(n(1, 1), n(1, 0)) ? grade : 0;
    } else if (rising > falling) {
        const int grade = rising > s.dominantRatio * falling ? 2 : 1;
        g[2] = !same(n(0, 1), n(0, 0)) && !same(n(0, 1), n(1, 1)) ? grade : 0;
        g[1] = !same(n(1, 0), n(0, 0)) && !same(n(1, 0), n(1, 1)) ? grade : 0;
    }
    return g;
}

// Rows [max(rowBegin, 0), min(rowEnd, h)) of the enlargement.
inline void upscale(int factor, const Pixel* source, Pixel* target, int w, int h, const ScaleSettings& s,
                    int rowBegin, int rowEnd, bool alpha, const Edges& edges = {}) {
    const int firstRow = std::max(rowBegin, 0);
    const int lastRow = std::min(rowEnd, h);
    if (factor < 2 || factor > 5 || w <= 0 || lastRow <= firstRow)
        return;
    // N(dx, dy) of pixel (x, y).
    const auto at = [&](int x, int y, int dx, int dy) {
        return source[neighbourIndex(y, dy, h, edges.cellHeight, edges.wrap) * w +
                      neighbourIndex(x, dx, w, edges.cellWidth, edges.wrap)];
    };
    const auto d = [&](Pixel a, Pixel b) {
        return distance(a, b, s.lumaWeight, alpha);
    };
    const auto same = [&](Pixel a, Pixel b) {
        return samePixel(a, b, alpha);
    };
    const auto stored = [&](Pixel p) {
        return alpha && (p >> 24) == 0 ? Pixel{0} : p;
    };

    // Each corner is graded once, at its top-left pixel, for the rows enlarged and the rows
    // above them, and its grades go to the four pixels around it: the pixel itself, N(1, 0),
    // N(0, 1) and N(1, 1), as its cell reads them. Where a cell clamps, those are the pixel's
    // own column or row and the corner is flat, so it grades nothing.
    const auto column = [&](int x, int dx) {
        return neighbourIndex(x, dx, w, edges.cellWidth, edges.wrap);
    };
    const auto row = [&](int y, int dy) {
        return neighbourIndex(y, dy, h, edges.cellHeight, edges.wrap);
    };
    std::vector<bool> rowGraded(h, false);
    for (int y = firstRow; y < lastRow; ++y)
        rowGraded[y] = rowGraded[row(y, -1)] = true;
    std::vector<std::uint8_t> grades(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w && rowGraded[y]; ++x) {
            const auto n = [&](int dx, int dy) {
                return at(x, y, dx, dy);
            };
            const std::array<int, 4> g = cornerGrades(n, d, same, s);
            grades[y * w + x] |= g[0] << 4;               // its bottom-right corner
            grades[y * w + column(x, 1)] |= g[1] << 6;    // the bottom-left of N(1, 0)
            grades[row(y, 1) * w + x] |= g[2] << 2;       // the top-right of N(0, 1)
            grades[row(y, 1) * w + column(x, 1)] |= g[3]; // the top-left of N(1, 1)
        }

    const int tw = w * factor;
    for (int y = firstRow; y < lastRow; ++y)
        for (int x = 0; x < w; ++x) {
            Pixel* block = target + static_cast<std::ptrdiff_t>(y) * factor * tw + x * factor;
            const Pixel p = at(x, y, 0, 0);
            for (int r = 0; r < factor; ++r)
                for (int c = 0; c < factor; ++c)
                    block[r * tw + c] = stored(p);
            const std::uint8_t g = grades[y * w + x];
            for (int t = 0; t < 4 && g != 0; ++t) {
                const GradeFields f = turnFields[t];
                const int own = (g >> f.own) & 3, ahead = (g >> f.ahead) & 3, behind = (g >> f.behind) & 3;
                if (own == 0)
                    continue;
                const auto nt = [&](int dx, int dy) {
                    turnOffset(t, dx, dy);
                    return at(x, y, dx, dy);
                };
                const auto like = [&](Pixel a, Pixel b) {
                    return d(a, b) < s.sameColourTolerance;
                };
                bool line = true;
                if (own == 2)
                    line = true;
                else if (ahead != 0 && !like(p, nt(-1, 1)))
                    line = false;
                else if (behind != 0 && !like(p, nt(1, -1)))
                    line = false;
                else if (like(nt(-1, 1), nt(0, 1)) && like(nt(0, 1), nt(1, 1)) && like(nt(1, 1), nt(1, 0)) &&
                         like(nt(1, 0), nt(1, -1)) && !like(p, nt(1, 1)))
                    line = false;
                const Pixel colour = d(p, nt(1, 0)) <= d(p, nt(0, 1)) ? nt(1, 0) : nt(0, 1);
                int kind = 4;
                if (line) {
                    const double side = d(nt(1, 0), nt(-1, 1)), lower = d(nt(0, 1), nt(1, -1));
                    const bool shallow =
                        lower >= s.steepRatio * side && !same(p, nt(-1, 1)) && !same(nt(-1, 0), nt(-1, 1));
                    const bool steep =
                        side >= s.steepRatio * lower && !same(p, nt(1, -1)) && !same(nt(0, -1), nt(1, -1));
                    kind = shallow && steep ? 0 : shallow ? 1 : steep ? 2 : 3;
                }
                for (const Step& step : pattern(factor, kind)) {
                    int r = step.row, c = step.column;
                    turnCell(t, factor, r, c);
                    Pixel& cell = block[r * tw + c];
                    cell = step.n == 0 ? stored(colour) : blendChannels(cell, colour, step.k, step.n, alpha);
                }
            }
        }
}

} // namespace tessera::reference
