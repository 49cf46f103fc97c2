// The instruction set a build of the pass is made for, and the namespace that keeps it
// apart from the other builds.
//
// The pass is compiled once per instruction set (dispatch.h), each time from the same
// headers with the compiler's flags for that set. Its inline functions and templates
// would otherwise be one symbol in all builds, and the linker would keep any one of them
// for all; so every header of the pass opens tessera::TESSERA_PASS_NAMESPACE, an inline
// namespace named after the flags the translation unit is built with.
#pragma once

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__)
#define TESSERA_PASS_NAMESPACE pass_avx512
#define TESSERA_PASS_INSTRUCTION_SET InstructionSet::Avx512
#elif defined(__AVX2__)
#define TESSERA_PASS_NAMESPACE pass_avx2
#define TESSERA_PASS_INSTRUCTION_SET InstructionSet::Avx2
#elif defined(__wasm_simd128__)
#define TESSERA_PASS_NAMESPACE pass_simd128
#define TESSERA_PASS_INSTRUCTION_SET InstructionSet::Simd128
#else
#define TESSERA_PASS_NAMESPACE pass_baseline
#define TESSERA_PASS_INSTRUCTION_SET InstructionSet::Baseline
#endif

// Put before a loop that mixes doubles with words. WebAssembly SIMD holds two doubles in a
// register and four words; the compiler vectorises such loops two positions at a time, which
// leaves half of each word vector empty, and four at a time (doubles in pairs of registers)
// runs them about a tenth faster there. Other builds keep the compiler's choice.
#if defined(__wasm_simd128__)
#define TESSERA_FOUR_LANES_IN_WASM _Pragma("clang loop vectorize_width(4)")
#else
#define TESSERA_FOUR_LANES_IN_WASM
#endif

namespace tessera {
inline namespace TESSERA_PASS_NAMESPACE {}
} // namespace tessera
