#include "canvas_file.h"

#include <image_decoder.h>
#include <image_files.h>
#include <png_encoder.h>
#include <vector>

namespace {

using namespace tessera::tool;

Result<> writeCanvas(const EditorState& state, const std::filesystem::path& path, mode_t mode) {
    std::vector<std::uint8_t> rgba(state.canvas.size() * 4);
    pixelsToOpaqueRgba(state.canvas.data(), state.canvas.size(), rgba.data());
    const Result<EncodedPng> encoded = encodePng(rgba, static_cast<std::uint32_t>(state.layout.canvasWidth),
                                                 static_cast<std::uint32_t>(state.layout.canvasHeight));
    if (const Failure* failure = std::get_if<Failure>(&encoded))
        return *failure;
    return writeFileSafely(std::get<EncodedPng>(encoded).view(), path, mode);
}

Result<DecodedImage> readImage(const std::filesystem::path& path) {
    const Result<std::vector<char>> file = readWholeFile(path);
    if (const Failure* failure = std::get_if<Failure>(&file))
        return *failure;
    // Any image the command can enlarge at all, at its smallest factor.
    return loadImage(std::get<std::vector<char>>(file), minScaleFactor);
}

} // namespace

void saveCanvasFile(EditorState& state, const std::filesystem::path& path, mode_t mode,
                    Clock::time_point now) {
    const Result<> written = writeCanvas(state, path, mode);
    const Failure* failure = std::get_if<Failure>(&written);
    noteCanvasSaved(state, failure ? std::optional(failure->reason) : std::nullopt, now);
}

void openCanvasFile(EditorState& state, const std::filesystem::path& path, Clock::time_point now) {
    const Result<DecodedImage> read = readImage(path);
    if (const Failure* failure = std::get_if<Failure>(&read)) {
        noteCanvasNotOpened(state, failure->reason, now);
        return;
    }
    const DecodedImage& image = std::get<DecodedImage>(read);
    openImage(state,
              {image.width, image.height, {image.rgba.get(), std::size_t{image.width} * image.height * 4}},
              now);
}
