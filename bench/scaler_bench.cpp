// The scaler at every factor, each figure beside two baselines measured in the same run:
//   BlockFill  plain replication making the same target writes without grading or
//              blending, the floor any enlargement pays;
//   Baseline   the opaque pass as it stood before it measured whole rows of pixel pairs at
//              a time (baseline/), giving the same words.
// Images: the sprite sheet (opaque as the editor holds pixels, and with its transparency
// for the alpha-aware entry), a sheet-like image tiled from the other test sprites, a
// random image of few colours and a one-colour image. The sheet is also enlarged in both
// modes as a tile with wrap-around edges (Wrap) and cell by cell in cells of 32 x 32
// (Cells32), beside the same mode with clamped edges. Compare within one run:
//   scaler_bench --benchmark_filter=Sheet
#include "baseline/pass.h"
#include "source_image.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <string>
#include <tessera/scaler.h>
#include <vector>

namespace {

const std::string data = TESSERA_BENCH_DATA;

// Few colours with runs, so that edges and flat areas both occur; with `alpha`, few
// alpha levels too, transparent among them.
SourceImage randomSource(std::int32_t size, Alpha alpha) {
    const Pixel colours[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF3050A0u, 0xFFE0C020u, 0xFF80FF80u};
    const Pixel alphas[] = {0x00000000u, 0x80000000u, 0xFF000000u, 0xFF000000u};
    std::mt19937 random(7);
    SourceImage source{size, size, std::vector<Pixel>(static_cast<std::size_t>(size) * size)};
    for (Pixel& p : source.pixels) {
        p = colours[random() % std::size(colours)];
        if (alpha == Alpha::Kept)
            p = (p & 0x00FFFFFFu) | alphas[random() % std::size(alphas)];
    }
    return source;
}

SourceImage flatSource(std::int32_t size) {
    return {size, size, std::vector<Pixel>(static_cast<std::size_t>(size) * size, 0xFF4080C0u)};
}

// The smaller test sprites, one after another in cells of 64 x 80 pixels on a transparent
// 1024 x 1040 sheet, as a sprite sheet holds a game's animals and props.
SourceImage tiledSprites(Alpha alpha) {
    const char* names[] = {"cdda_bears_zombie_horse_20.png",
                           "cdda_bears_zombie_pig_20.png",
                           "cdda_hoder_apple_tree_16.png",
                           "cdda_hoder_cat_16.png",
                           "cdda_hoder_zombie_crawler_16.png",
                           "cdda_mshock_streetlight_64x80.png",
                           "cdda_mshock_zombie_biter_32.png",
                           "cdda_uc_cat_calico_32.png",
                           "cdda_uc_crow_32.png",
                           "cdda_uc_dog_gshepherd_32.png",
                           "cdda_uc_door_closed_32.png",
                           "cdda_uc_fire_32.png",
                           "cdda_uc_zombie_child_32.png"};
    constexpr std::int32_t cellWidth = 64, cellHeight = 80, columns = 16, rows = 13;
    const Pixel background = alpha == Alpha::Kept ? 0u : 0xFF000000u;
    SourceImage sheet{
        cellWidth * columns, cellHeight * rows,
        std::vector<Pixel>(static_cast<std::size_t>(cellWidth) * columns * cellHeight * rows, background)};
    std::vector<SourceImage> sprites;
    for (const char* name : names)
        sprites.push_back(loadSourceImage(data + "/" + name, alpha));
    for (std::int32_t cell = 0; cell < columns * rows; ++cell) {
        const SourceImage& sprite = sprites[static_cast<std::size_t>(cell) % sprites.size()];
        for (std::int32_t y = 0; y < std::min(sprite.height, cellHeight); ++y)
            std::copy_n(sprite.pixels.begin() + static_cast<std::ptrdiff_t>(y) * sprite.width,
                        std::min(sprite.width, cellWidth),
                        sheet.pixels.begin() +
                            static_cast<std::ptrdiff_t>(cell / columns * cellHeight + y) * sheet.width +
                            cell % columns * cellWidth);
    }
    return sheet;
}

// The floor any enlargement pays: every target pixel stored once, block by block, with the
// factor fixed at compile time as in the real pass.
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

void blockFill(std::int32_t factor, const Pixel*, Pixel* target, std::int32_t, std::int32_t,
               const ScaleSettings&, const SourceImage& source) {
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

void baseline(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t width,
              std::int32_t height, const ScaleSettings& settings, const SourceImage&) {
    tessera::baseline::upscaleBand(factor, source, target, width, height, settings, 0, height);
}

void opaque(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t width, std::int32_t height,
            const ScaleSettings& settings, const SourceImage&) {
    upscale(factor, source, target, width, height, settings, INT32_MAX);
}

void withAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t width,
               std::int32_t height, const ScaleSettings& settings, const SourceImage&) {
    upscaleWithAlpha(factor, source, target, width, height, settings, INT32_MAX);
}

template <ColourMode Colours, EdgeMode Edges, std::int32_t Cell>
void withOptions(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t width,
                 std::int32_t height, const ScaleSettings& settings, const SourceImage&) {
    upscaleWithOptions(factor, source, target, width, height, settings, {Colours, Edges, Cell, Cell});
}

using Pass = void (*)(std::int32_t, const Pixel*, Pixel*, std::int32_t, std::int32_t, const ScaleSettings&,
                      const SourceImage&);
using ImageOf = const SourceImage& (*)();

void enlarge(benchmark::State& state, ImageOf image, Pass pass) {
    const SourceImage& source = image();
    if (source.pixels.empty()) {
        state.SkipWithError("test image not found");
        return;
    }
    const auto factor = static_cast<std::int32_t>(state.range(0));
    std::vector<Pixel> target(source.pixels.size() * factor * factor);
    const ScaleSettings settings;
    for (auto _ : state) {
        pass(factor, source.pixels.data(), target.data(), source.width, source.height, settings, source);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.pixels.size()));
}

template <typename Make>
const SourceImage& once(Make make) {
    static const SourceImage image = make();
    return image;
}

const SourceImage& sheet() {
    return once([] { return loadSourceImage(data + "/sheet_cdda_uc_1024.png", Alpha::Opaque); });
}
const SourceImage& sheetWithAlpha() {
    return once([] { return loadSourceImage(data + "/sheet_cdda_uc_1024.png", Alpha::Kept); });
}
const SourceImage& tiles() {
    return once([] { return tiledSprites(Alpha::Opaque); });
}
const SourceImage& tilesWithAlpha() {
    return once([] { return tiledSprites(Alpha::Kept); });
}
const SourceImage& randomImage() {
    return once([] { return randomSource(512, Alpha::Opaque); });
}
const SourceImage& randomWithAlpha() {
    return once([] { return randomSource(512, Alpha::Kept); });
}
const SourceImage& flatImage() {
    return once([] { return flatSource(512); });
}

} // namespace

#define TESSERA_IMAGE_BENCHMARKS(name, opaqueImage, alphaImage)                                              \
    BENCHMARK_CAPTURE(enlarge, name##_BlockFill, opaqueImage, blockFill)                                     \
        ->DenseRange(2, 5)                                                                                   \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(enlarge, name##_Baseline, opaqueImage, baseline)                                       \
        ->DenseRange(2, 5)                                                                                   \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(enlarge, name##_Upscale, opaqueImage, opaque)                                          \
        ->DenseRange(2, 5)                                                                                   \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(enlarge, name##_UpscaleWithAlpha, alphaImage, withAlpha)                               \
        ->DenseRange(2, 5)                                                                                   \
        ->Unit(benchmark::kMillisecond)

TESSERA_IMAGE_BENCHMARKS(Sheet, sheet, sheetWithAlpha);
BENCHMARK_CAPTURE(enlarge, Sheet_UpscaleWrap, sheet, withOptions<ColourMode::Opaque, EdgeMode::Wrap, 0>)
    ->DenseRange(2, 5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(enlarge, Sheet_UpscaleCells32, sheet, withOptions<ColourMode::Opaque, EdgeMode::Clamp, 32>)
    ->DenseRange(2, 5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(enlarge, Sheet_UpscaleWithAlphaWrap, sheetWithAlpha,
                  withOptions<ColourMode::WithAlpha, EdgeMode::Wrap, 0>)
    ->DenseRange(2, 5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(enlarge, Sheet_UpscaleWithAlphaCells32, sheetWithAlpha,
                  withOptions<ColourMode::WithAlpha, EdgeMode::Clamp, 32>)
    ->DenseRange(2, 5)
    ->Unit(benchmark::kMillisecond);
TESSERA_IMAGE_BENCHMARKS(Tiles, tiles, tilesWithAlpha);
TESSERA_IMAGE_BENCHMARKS(Random, randomImage, randomWithAlpha);
TESSERA_IMAGE_BENCHMARKS(Flat, flatImage, flatImage);

BENCHMARK_MAIN();
