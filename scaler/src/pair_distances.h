// Distances measured for a whole row of pixel pairs at a time.
//
// The pass measures every pair of neighbouring pixels between two rows (or within one)
// once, in a loop the compiler vectorises. IEEE multiplication, addition, subtraction
// and square root give the same bits in vector registers as in scalar ones, and the
// library is built without contraction or reassociation, so each distance is exactly
// the double the scalar measure gives for that pair.
#pragma once

#include "pass_namespace.h"

#include <tessera/scaler.h>

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// out[i] = Colours::distance(first[i], second[i]) for i in [0, count). The channel
// differences are taken in integers and converted: whole numbers, exact as doubles, so
// the distance is the one the scalar measure gives.
template <typename Colours>
void measurePairs(const Pixel* first, const Pixel* second, int count, double lumaWeight, double* out);

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
