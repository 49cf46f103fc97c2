// upscale at every factor on real sprites, a random image of few colours and a
// one-colour image, each beside the block-fill pass: plain replication making the
// same target writes without grading or blending. Compare the two in one run:
//   scaler_bench --benchmark_filter=Sheet
#include "source_image.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <string>
#include <tessera/scaler.h>
#include <vector>

namespace {

SourceImage randomSource(std::int32_t size) {
    const Pixel colours[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF3050A0u, 0xFFE0C020u, 0xFF80FF80u};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, 4);
    SourceImage source{size, size, std::vector<Pixel>(static_cast<std::size_t>(size) * size)};
    for (Pixel& p : source.pixels)
        p = colours[pick(random)];
    return source;
}

SourceImage flatSource(std::int32_t size) {
    return {size, size, std::vector<Pixel>(static_cast<std::size_t>(size) * size, 0xFF4080C0u)};
}

// The floor any enlargement pays: every target pixel stored once, block by block,
// with the factor fixed at compile time as in the real pass.
template <std::int32_t Factor>
void fillBlocks(const SourceImage& source, Pixel* target) {
    const std::ptrdiff_t targetWidth = static_cast<std::ptrdiff_t>(source.width) * Factor;
    for (std::int32_t y = 0; y < source.height; ++y)
        for (std::int32_t x = 0; x < source.width; ++x) {
            Pixel* block = target + y * Factor * targetWidth + x * Factor;
            for (std::int32_t r = 0; r < Factor; ++r)
                std::fill_n(block + r * targetWidth, Factor,
                            source.pixels[static_cast<std::size_t>(y) * source.width + x]);
        }
}

void fillBlocks(std::int32_t factor, const SourceImage& source, Pixel* target) {
    switch (factor) {
    case 2:
        return fillBlocks<2>(source, target);
    case 3:
        return fillBlocks<3>(source, target);
    case 4:
        return fillBlocks<4>(source, target);
    default:
        return fillBlocks<5>(source, target);
    }
}

template <bool BlockFillOnly>
void enlarge(benchmark::State& state, const SourceImage& source) {
    if (source.pixels.empty()) {
        state.SkipWithError("test image not found");
        return;
    }
    const auto factor = static_cast<std::int32_t>(state.range(0));
    std::vector<Pixel> target(source.pixels.size() * factor * factor);
    const ScaleSettings settings;
    for (auto _ : state) {
        if constexpr (BlockFillOnly)
            fillBlocks(factor, source, target.data());
        else
            upscale(factor, source.pixels.data(), target.data(), source.width, source.height, settings,
                    INT32_MAX);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.pixels.size()));
    state.counters["source_MP/s"] = benchmark::Counter(static_cast<double>(source.pixels.size()) * 1e-6,
                                                       benchmark::Counter::kIsIterationInvariantRate);
}

const SourceImage& sheet() {
    static const SourceImage source =
        loadSourceImage(std::string(TESSERA_BENCH_DATA) + "/sheet_cdda_uc_1024.png");
    return source;
}
const SourceImage& tile() {
    static const SourceImage source =
        loadSourceImage(std::string(TESSERA_BENCH_DATA) + "/cdda_uc_dog_gshepherd_32.png");
    return source;
}
const SourceImage& randomImage() {
    static const SourceImage source = randomSource(512);
    return source;
}
const SourceImage& flatImage() {
    static const SourceImage source = flatSource(512);
    return source;
}

void Sheet_Upscale(benchmark::State& s) {
    enlarge<false>(s, sheet());
}
void Sheet_BlockFill(benchmark::State& s) {
    enlarge<true>(s, sheet());
}
void Tile_Upscale(benchmark::State& s) {
    enlarge<false>(s, tile());
}
void Tile_BlockFill(benchmark::State& s) {
    enlarge<true>(s, tile());
}
void Random_Upscale(benchmark::State& s) {
    enlarge<false>(s, randomImage());
}
void Random_BlockFill(benchmark::State& s) {
    enlarge<true>(s, randomImage());
}
void Flat_Upscale(benchmark::State& s) {
    enlarge<false>(s, flatImage());
}
void Flat_BlockFill(benchmark::State& s) {
    enlarge<true>(s, flatImage());
}

} // namespace

BENCHMARK(Sheet_BlockFill)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(Sheet_Upscale)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(Tile_BlockFill)->DenseRange(2, 5);
BENCHMARK(Tile_Upscale)->DenseRange(2, 5);
BENCHMARK(Random_BlockFill)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(Random_Upscale)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(Flat_BlockFill)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(Flat_Upscale)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
