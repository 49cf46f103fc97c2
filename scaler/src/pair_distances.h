// Distances measured for a whole row of pixel pairs at a time.
//
// The pass measures every pair of neighbouring pixels between two rows (or within one)
// once, in a loop the compiler vectorises. IEEE multiplication, addition, subtraction
// and square root give the same bits in vector registers as in scalar ones, and the
// library is built without contraction or reassociation, so each distance is exactly
// the double the scalar measure gives for that pair.
#pragma once

#include "colour_rules.h"

#include <tessera/scaler.h>

namespace tessera {

// A row of pixels as the pair loops read it: the words, and each colour channel as a
// double, so that a pair's channel differences are plain subtractions.
struct PixelRow {
    const Pixel* words;
    const double* red;
    const double* green;
    const double* blue;
};

// out[i] = Colours::distance(first pixel i, second pixel i + shift) for i in [0, count).
template <typename Colours>
void measurePairs(const PixelRow& first, const PixelRow& second, int shift, int count, double lumaWeight,
                  double* out);

} // namespace tessera
