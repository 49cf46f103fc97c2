// The choice of instruction set (dispatch.h), made once.
#include "dispatch.h"

#include <atomic>

namespace tessera {
namespace {

#if defined(__x86_64__)
// What each build's flags need beyond the baseline; the AVX-512 build is x86-64-v4, whose
// other features (AVX2, BMI, FMA) every processor with these has too.
bool processorHas(InstructionSet set) {
    __builtin_cpu_init();
    switch (set) {
    case InstructionSet::Baseline:
        return true;
    case InstructionSet::Avx2:
        return __builtin_cpu_supports("avx2");
    case InstructionSet::Avx512:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512cd") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    case InstructionSet::Simd128:
        return false;
    }
    return false;
}

const PassTable& passesFor(InstructionSet set) {
    switch (set) {
    case InstructionSet::Avx512:
        return passesBuiltFor<InstructionSet::Avx512>();
    case InstructionSet::Avx2:
        return passesBuiltFor<InstructionSet::Avx2>();
    default:
        return passesBuiltFor<InstructionSet::Baseline>();
    }
}
#elif defined(__wasm__)
// The WebAssembly library carries a build with SIMD and one without. A module holding SIMD
// instructions only validates in an engine that has them, so once it runs, both can.
bool processorHas(InstructionSet set) {
    return set == InstructionSet::Baseline || set == InstructionSet::Simd128;
}

const PassTable& passesFor(InstructionSet set) {
    return set == InstructionSet::Simd128 ? passesBuiltFor<InstructionSet::Simd128>()
                                          : passesBuiltFor<InstructionSet::Baseline>();
}
#else
// Elsewhere the library carries the baseline build only.
bool processorHas(InstructionSet set) {
    return set == InstructionSet::Baseline;
}

const PassTable& passesFor(InstructionSet) {
    return passesBuiltFor<InstructionSet::Baseline>();
}
#endif

InstructionSet bestSet() {
    for (int set = instructionSetCount - 1; set > 0; --set)
        if (processorHas(static_cast<InstructionSet>(set)))
            return static_cast<InstructionSet>(set);
    return InstructionSet::Baseline;
}

std::atomic<InstructionSet>& active() {
    static std::atomic<InstructionSet> set{bestSet()};
    return set;
}

} // namespace

bool canRun(InstructionSet set) {
    return processorHas(set);
}

InstructionSet activeInstructionSet() {
    return active().load(std::memory_order_relaxed);
}

const PassTable& activePasses() {
    return passesFor(activeInstructionSet());
}

bool forceInstructionSet(InstructionSet set) {
    if (!canRun(set))
        return false;
    active().store(set, std::memory_order_relaxed);
    return true;
}

} // namespace tessera
