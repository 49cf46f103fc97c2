// Where one tessera-scale run on one image goes, phase by phase, on one thread: the steps the
// command takes, called one after another with a clock around each (best of several runs).
//   png_phases IMAGE FACTOR [RUNS]
// Filtering is the encoder's time less its deflate, measured apart on the same filtered rows.
#include "deflate_groups.h"
#include "limits_and_defaults.h"
#include "pixel_conversion.h"
#include "png_encoder.h"
#include "still_decoder.h"
#include "whole_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <libdeflate.h>
#include <string>
#include <tessera/scaler.h>
#include <vector>

namespace {

using namespace tessera;
using Clock = std::chrono::steady_clock;

double bestMilliseconds(int runs, const std::function<void()>& step) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        step();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

template <typename T>
T orExit(Result<T> result, const char* what) {
    if (const Failure* failure = std::get_if<Failure>(&result)) {
        std::fprintf(stderr, "png_phases: %s: %s\n", what, failure->reason.c_str());
        std::exit(1);
    }
    return std::move(std::get<T>(result));
}

// The filtered rows of a PNG this writer made, from its one IDAT chunk.
std::vector<std::uint8_t> filteredRows(const std::vector<std::uint8_t>& png, std::size_t size) {
    std::vector<std::uint8_t> rows(size);
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 |
                                   std::size_t{png[at + 2]} << 8 | png[at + 3];
        if (std::string(reinterpret_cast<const char*>(&png[at + 4]), 4) == "IDAT") {
            libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
            const libdeflate_result result =
                libdeflate_zlib_decompress(inflater, &png[at + 8], length, rows.data(), size, nullptr);
            libdeflate_free_decompressor(inflater);
            if (result != LIBDEFLATE_SUCCESS) {
                std::fprintf(stderr, "png_phases: the encoder's output does not inflate\n");
                std::exit(1);
            }
            return rows;
        }
        at += 12 + length;
    }
    std::fprintf(stderr, "png_phases: the encoder's output has no image data\n");
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: png_phases IMAGE FACTOR [RUNS]\n");
        return 2;
    }
    const std::filesystem::path input = argv[1];
    const int factor = std::atoi(argv[2]);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    const std::vector<char> file = orExit(files::readWholeFile(input), "read");
    codecs::DecodedImage decoded;
    const double decoding = bestMilliseconds(runs, [&] {
        decoded = orExit(codecs::decodeStill(file, codecs::withinPixels(UINT64_MAX)), "decode");
    });
    const std::span<const std::uint8_t> decodedRgba{decoded.rgba};
    std::vector<Pixel> words(decodedRgba.size() / 4);
    pixels::Conversion conversion;
    const double convertingIn = bestMilliseconds(
        runs, [&] { conversion = pixels::convertToWords(decodedRgba, std::nullopt, words); });
    const auto sourceWidth = static_cast<std::int32_t>(decoded.width);
    const auto sourceHeight = static_cast<std::int32_t>(decoded.height);
    const auto width = static_cast<std::uint32_t>(sourceWidth * factor);
    const auto height = static_cast<std::uint32_t>(sourceHeight * factor);
    std::vector<Pixel> target(std::size_t{width} * height);
    const double scaling = bestMilliseconds(runs, [&] {
        upscaleWithOptions(factor, words.data(), target.data(), sourceWidth, sourceHeight, ScaleSettings{},
                           {.colours = conversion.mode});
    });
    std::vector<std::uint8_t> rgba(target.size() * 4);
    const double converting =
        bestMilliseconds(runs, [&] { pixels::convertToRgba(conversion.mode, target, rgba.data()); });

    std::vector<std::uint8_t> encoded;
    const double encoding =
        bestMilliseconds(runs, [&] { encoded = orExit(codecs::encodePng(rgba, width, height), "encode"); });
    const std::uint8_t bitDepth = encoded[24], colourType = encoded[25];
    const std::size_t channels = colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
    const std::size_t line = (std::size_t{width} * channels * bitDepth + 7) / 8 + 1;
    const std::vector<std::uint8_t> rows = filteredRows(encoded, line * height);
    // The groups as the encoder cuts them: whole rows, near-equal.
    const std::size_t groups = std::min<std::size_t>(
        height, std::max<std::size_t>(1, (rows.size() + codecs::rowGroupBytes - 1) / codecs::rowGroupBytes));
    const double deflating = bestMilliseconds(runs, [&] {
        std::vector<std::uint8_t> out;
        for (std::size_t g = 0; g < groups; ++g) {
            const std::size_t begin = height * g / groups * line;
            const std::size_t end = height * (g + 1) / groups * line;
            codecs::deflateGroup(std::span{rows}.subspan(begin, end - begin), g + 1 == groups,
                                 pixels::pngCompressionLevel, out);
        }
    });
    const std::filesystem::path output = std::filesystem::temp_directory_path() / "png_phases_output.png";
    const double writing =
        bestMilliseconds(runs, [&] { orExit(files::writeFileSafely(encoded, output, 0644), "write"); });
    std::filesystem::remove(output);

    std::printf("%s x%d: %u x %u, colour type %u, %zu bytes, %zu groups\n", input.filename().c_str(), factor,
                width, height, colourType, encoded.size(), groups);
    std::printf(
        "  decoding %7.1f ms\n  conversion in %7.1f ms\n  scaling %7.1f ms\n  conversion out %7.1f ms\n"
        "  filtering %7.1f ms\n  deflate %7.1f ms\n  writing %7.1f ms\n",
        decoding, convertingIn, scaling, converting, encoding - deflating, deflating, writing);
    return 0;
}
