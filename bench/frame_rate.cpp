// Frames per second of the opaque enlargement of one 256 x 240 game frame, the screen of an
// emulated console, at factors 2 to 5: the whole frame per call on one thread, and the frame cut
// into row bands enlarged side by side on every core. The same source builds natively (bench/)
// and as WebAssembly for Node (web/), which has one thread. Each figure is the fastest of rounds
// that alternate between the two ways, the round least disturbed by other work on the machine.
// It prints a Markdown table; bench/frame_rate.py runs both builds and joins their tables:
//   frame_rate [seconds per factor, default 2]
#include "source_image.h"
#include "work_threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <tessera/scaler.h>
#include <thread>
#include <vector>

namespace {

constexpr std::int32_t frameWidth = 256;
constexpr std::int32_t frameHeight = 240;

// A frame as a tile-based game draws it: a backdrop colour, a stretch of terrain tiles from the
// sheet's right half, and animals and creatures from its left half drawn over them, each layer's
// transparent pixels showing what lies beneath.
SourceImage gameFrame(const SourceImage& sheet) {
    SourceImage frame{frameWidth, frameHeight,
                      std::vector<Pixel>(static_cast<std::size_t>(frameWidth) * frameHeight, 0xFF203040u)};
    const auto draw = [&](std::int32_t left, std::int32_t top) {
        for (std::int32_t y = 0; y < frameHeight; ++y)
            for (std::int32_t x = 0; x < frameWidth; ++x) {
                const Pixel pixel = sheet.pixels[static_cast<std::size_t>(top + y) * sheet.width + left + x];
                if (pixel >> 24 >= 0x80)
                    frame.pixels[static_cast<std::size_t>(y) * frameWidth + x] = pixel | 0xFF000000u;
            }
    };
    draw(512, 576);
    draw(0, 128);
    return frame;
}

// The frame in one band per thread, each thread taking the next band left. The threads are
// started for each frame, as a caller without a pool of its own would do it: a pool whose helpers
// sleep between frames gained nothing on frames paced as a game paces them, its helper waking too
// late to take a band.
void enlargeInBands(const SourceImage& frame, std::int32_t factor, int threads, Pixel* target) {
    const ScaleSettings settings;
    std::atomic<int> next{0};
    tessera::runOnThreads(threads, [&] {
        for (int band = next++; band < threads; band = next++)
            upscaleBand(factor, frame.pixels.data(), target, frame.width, frame.height, settings,
                        frame.height * band / threads, frame.height * (band + 1) / threads);
    });
}

// Frames per second of each way of enlarging: `rounds` rounds, each running every way in turn
// for `roundSeconds`, and the fastest round of each.
std::vector<double> framesPerSecond(const std::vector<std::function<void()>>& ways, int rounds,
                                    double roundSeconds) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> best(ways.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t way = 0; way < ways.size(); ++way) {
            const Clock::time_point start = Clock::now();
            std::chrono::duration<double> elapsed{};
            int frames = 0;
            do {
                ways[way]();
                ++frames;
                elapsed = Clock::now() - start;
            } while (elapsed.count() < roundSeconds);
            best[way] = std::max(best[way], frames / elapsed.count());
        }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (argc > 2 || !(seconds > 0)) {
        std::fprintf(stderr, "usage: frame_rate [seconds per factor]\n");
        return 2;
    }
    const SourceImage sheet = loadSourceImage(TESSERA_SHEET_PATH, Alpha::Kept);
    if (sheet.width < 1024 || sheet.height < 1024) {
        std::fprintf(stderr, "frame_rate: cannot load the sprite sheet '%s'\n", TESSERA_SHEET_PATH);
        return 1;
    }
    const SourceImage frame = gameFrame(sheet);
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    if (threads > 1)
        std::printf("| factor | 1 thread fps | %d threads fps |\n|---|---|---|\n", threads);
    else
        std::printf("| factor | 1 thread fps |\n|---|---|\n");
    for (std::int32_t factor = minScaleFactor; factor <= maxScaleFactor; ++factor) {
        const std::size_t targetSize = frame.pixels.size() * static_cast<std::size_t>(factor * factor);
        std::vector<Pixel> whole(targetSize), banded(targetSize);
        std::vector<std::function<void()>> ways{[&] {
            upscale(factor, frame.pixels.data(), whole.data(), frame.width, frame.height, ScaleSettings{},
                    INT32_MAX);
        }};
        if (threads > 1)
            ways.emplace_back([&] { enlargeInBands(frame, factor, threads, banded.data()); });
        constexpr int rounds = 10;
        const std::vector<double> rates =
            framesPerSecond(ways, rounds, seconds / rounds / static_cast<double>(ways.size()));
        if (threads > 1 && banded != whole) {
            std::fprintf(stderr, "frame_rate: the bands at factor %d differ from the whole frame\n", factor);
            return 1;
        }
        if (threads > 1)
            std::printf("| %d | %.0f | %.0f |\n", factor, rates[0], rates[1]);
        else
            std::printf("| %d | %.0f |\n", factor, rates[0]);
    }
    return 0;
}
