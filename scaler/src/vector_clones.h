// Marks a function whose loops vectorise to be built three times, for the x86-64
// baseline, for AVX2 and for x86-64-v4 (AVX-512), with the clone chosen once when the
// program loads. The clones make the same IEEE operations in the same order, lane by
// lane, so they give the same bits; AVX2 adds wider registers and the double comparisons
// into integer lanes that the baseline lacks, and AVX-512 mask registers, which let the
// bitwise tests of a loop select lanes without blending. Only g++ builds the clones;
// other compilers build the baseline.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TESSERA_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define TESSERA_VECTOR_CLONES
#endif
