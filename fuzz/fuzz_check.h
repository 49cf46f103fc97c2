// What the fuzz targets share: a check that stays on in every build type. A failed check
// aborts, which libFuzzer reports as a crash with the input saved, and which fails the replay
// program that runs the committed inputs under CTest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void require(bool holds, const char* what) {
    if (!holds)
        fail(what);
}

} // namespace fuzz

// The entry every target defines; libFuzzer calls it, and so does the replay program.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
