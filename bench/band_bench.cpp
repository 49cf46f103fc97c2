// upscaleBand on the 1024 x 1024 sprite sheet: the whole image as one band on one thread
// against two bands on two threads, at every factor, in the same run. After the table it
// prints the speed-up of two threads over one per factor (wall-clock time):
//   band_bench
//   band_bench --benchmark_filter=x4 --benchmark_repetitions=5
#include "source_image.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <tessera/scaler.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

void enlargeInBands(benchmark::State& state, const SourceImage& sheet, int factor, int threads) {
    const ScaleSettings settings;
    const auto scale = static_cast<std::size_t>(factor);
    std::vector<Pixel> target(sheet.pixels.size() * scale * scale);
    const auto bandEnd = [&](int band) {
        return static_cast<std::int32_t>(sheet.height * band / threads);
    };
    for (auto _ : state) {
        {
            std::vector<std::jthread> helpers;
            for (int band = 1; band < threads; ++band)
                helpers.emplace_back([&, band] {
                    upscaleBand(factor, sheet.pixels.data(), target.data(), sheet.width, sheet.height,
                                settings, bandEnd(band), bandEnd(band + 1));
                });
            upscaleBand(factor, sheet.pixels.data(), target.data(), sheet.width, sheet.height, settings, 0,
                        bandEnd(1));
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(sheet.pixels.size()));
}

// The console table, then the ratio of each factor's one-thread time to its two-thread time.
struct SpeedUpReporter : benchmark::ConsoleReporter {
    std::map<std::string, std::pair<double, double>> secondsByFactor; // factor -> (one thread, two)

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean")
                continue;
            const std::string name = run.benchmark_name();
            const std::string factor = name.substr(name.find("/x") + 1, 2);
            const double seconds = run.GetAdjustedRealTime();
            if (name.find("/threads:1") != std::string::npos)
                secondsByFactor[factor].first = seconds;
            else if (name.find("/threads:2") != std::string::npos)
                secondsByFactor[factor].second = seconds;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [factor, seconds] : secondsByFactor)
            if (seconds.first > 0 && seconds.second > 0)
                std::printf("speed-up of 2 threads over 1 at %s: %.2fx\n", factor.c_str(),
                            seconds.first / seconds.second);
    }
};

} // namespace

int main(int argc, char** argv) {
    const SourceImage sheet = loadSourceImage(TESSERA_SHEET_PATH, Alpha::Opaque);
    if (sheet.pixels.empty()) {
        std::fprintf(stderr, "band_bench: cannot load the sprite sheet '%s'\n", TESSERA_SHEET_PATH);
        return 1;
    }
    for (int factor = 2; factor <= 5; ++factor)
        for (int threads : {1, 2})
            benchmark::RegisterBenchmark(
                ("Sheet/x" + std::to_string(factor) + "/threads:" + std::to_string(threads)).c_str(),
                [&sheet, factor, threads](benchmark::State& state) {
                    enlargeInBands(state, sheet, factor, threads);
                })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SpeedUpReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
