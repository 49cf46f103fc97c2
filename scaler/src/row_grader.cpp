// The corner grading loop of row_grader.h, built for each instruction set of vector_clones.h.
#include "row_grader.h"

#include "colour_rules.h"
#include "vector_clones.h"

namespace tessera {
namespace {

// The row pointers are copied into locals first: the loop then reads nothing that its
// stores could alias, and vectorises.
template <typename Colours>
[[gnu::always_inline]] inline void gradeLoop(const Pixel* row, const Pixel* below,
                                             const double* const rising[3], const double* const falling[3],
                                             int from, int to, double dominantRatio, unsigned* out) {
    const double *risingAbove = rising[0], *risingHere = rising[1], *risingBelow = rising[2];
    const double *fallingAbove = falling[0], *fallingHere = falling[1], *fallingBelow = falling[2];
    for (int x = from; x < to; ++x)
        out[x] = gradeCorner<Colours>(
            {row[x], row[x + 1], below[x], below[x + 1]},
            diagonalSum(risingAbove[x], risingHere[x - 1], risingBelow[x], risingHere[x + 1], risingHere[x]),
            diagonalSum(fallingBelow[x], fallingHere[x - 1], fallingAbove[x], fallingHere[x + 1],
                        fallingHere[x]),
            dominantRatio);
}

TESSERA_VECTOR_CLONES void gradeOpaque(const Pixel* row, const Pixel* below, const double* const rising[3],
                                       const double* const falling[3], int from, int to, double dominantRatio,
                                       unsigned* out) {
    gradeLoop<OpaqueColours>(row, below, rising, falling, from, to, dominantRatio, out);
}

TESSERA_VECTOR_CLONES void gradeAlpha(const Pixel* row, const Pixel* below, const double* const rising[3],
                                      const double* const falling[3], int from, int to, double dominantRatio,
                                      unsigned* out) {
    gradeLoop<AlphaColours>(row, below, rising, falling, from, to, dominantRatio, out);
}

} // namespace

template <>
void gradeCorners<OpaqueColours>(const Pixel* row, const Pixel* below, const double* const rising[3],
                                 const double* const falling[3], int from, int to, double dominantRatio,
                                 unsigned* out) {
    gradeOpaque(row, below, rising, falling, from, to, dominantRatio, out);
}

template <>
void gradeCorners<AlphaColours>(const Pixel* row, const Pixel* below, const double* const rising[3],
                                const double* const falling[3], int from, int to, double dominantRatio,
                                unsigned* out) {
    gradeAlpha(row, below, rising, falling, from, to, dominantRatio, out);
}

} // namespace tessera
