// The pass alone on the sprite sheet at factors 2 and 4, once per build of the pass the
// program carries (dispatch.h), on one thread: the fastest of several runs, in milliseconds,
// and a hash of the enlargement's words, which every build must give alike. Built natively
// and for WebAssembly (run under Node), so that bench/pass_speed.sh can set the WebAssembly
// builds beside one native thread in the same run.
//   pass_speed SHEET.png
#include "dispatch.h"
#include "source_image.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <tessera/scaler.h>
#include <vector>

namespace {

constexpr int runs = 15;

std::uint64_t hashOf(const std::vector<Pixel>& words) {
    std::uint64_t hash = 14695981039346656037u;
    for (const Pixel word : words)
        hash = (hash ^ word) * 1099511628211u;
    return hash;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pass_speed SHEET.png\n");
        return 2;
    }
    const SourceImage sheet = loadSourceImage(argv[1], Alpha::Opaque);
    if (sheet.pixels.empty()) {
        std::fprintf(stderr, "pass_speed: cannot read %s\n", argv[1]);
        return 1;
    }
    const tessera::InstructionSet chosen = tessera::activeInstructionSet();
    for (int set = 0; set < tessera::instructionSetCount; ++set) {
        if (!tessera::forceInstructionSet(static_cast<tessera::InstructionSet>(set)))
            continue;
        for (const int factor : {2, 4}) {
            std::vector<Pixel> target(sheet.pixels.size() * factor * factor);
            double best = 1e300;
            for (int run = 0; run < runs; ++run) {
                const auto start = std::chrono::steady_clock::now();
                upscale(factor, sheet.pixels.data(), target.data(), sheet.width, sheet.height,
                        ScaleSettings{}, INT32_MAX);
                best = std::min(
                    best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                              .count());
            }
            std::printf("%s x%d %.2f ms %016llx%s\n", tessera::instructionSetNames[set], factor, best,
                        static_cast<unsigned long long>(hashOf(target)),
                        set == static_cast<int>(chosen) ? " chosen" : "");
        }
    }
    tessera::forceInstructionSet(chosen);
    return 0;
}
