#include "canvas_file.h"

#include <image_file.h>
#include <limits_and_defaults.h>
#include <png_encoder.h>
#include <vector>
#include <whole_files.h>

namespace {

using namespace tessera;

Result<> writeCanvas(const EditorState& state, const std::filesystem::path& path, mode_t mode) {
    std::vector<std::uint8_t> rgba(state.canvas.size() * 4);
    pixelsToOpaqueRgba(state.canvas.data(), state.canvas.size(), rgba.data());
    const Result<std::vector<std::uint8_t>> encoded =
        codecs::encodePng(rgba, static_cast<std::uint32_t>(state.layout.canvasWidth),
                          static_cast<std::uint32_t>(state.layout.canvasHeight));
    if (const Failure* failure = std::get_if<Failure>(&encoded))
        return *failure;
    return files::writeFileSafely(std::get<std::vector<std::uint8_t>>(encoded), path, mode);
}

// Any image the command can enlarge at all; an animation's first frame.
Result<codecs::DecodedImage> readImage(const std::filesystem::path& path) {
    const Result<std::vector<char>> file = files::readWholeFile(path);
    if (const Failure* failure = std::get_if<Failure>(&file))
        return *failure;
    constexpr std::uint64_t largestEnlargeable =
        pixels::maxTargetPixels / (pixels::minFactor * pixels::minFactor);
    Result<codecs::DecodedFile> decoded =
        codecs::decodeImageFile(std::get<std::vector<char>>(file), codecs::withinPixels(largestEnlargeable));
    if (const Failure* failure = std::get_if<Failure>(&decoded))
        return *failure;
    codecs::DecodedFile& contents = std::get<codecs::DecodedFile>(decoded);
    if (auto* animation = std::get_if<codecs::Animation>(&contents))
        return codecs::DecodedImage{animation->width, animation->height,
                                    std::move(animation->frames.front().rgba)};
    return std::get<codecs::DecodedImage>(std::move(contents));
}

} // namespace

void saveCanvasFile(EditorState& state, const std::filesystem::path& path, mode_t mode,
                    Clock::time_point now) {
    const Result<> written = writeCanvas(state, path, mode);
    const Failure* failure = std::get_if<Failure>(&written);
    noteCanvasSaved(state, failure ? std::optional(failure->reason) : std::nullopt, now);
}

void openCanvasFile(EditorState& state, const std::filesystem::path& path, Clock::time_point now) {
    const Result<codecs::DecodedImage> read = readImage(path);
    if (const Failure* failure = std::get_if<Failure>(&read)) {
        noteCanvasNotOpened(state, failure->reason, now);
        return;
    }
    const codecs::DecodedImage& image = std::get<codecs::DecodedImage>(read);
    openImage(state, {image.width, image.height, image.rgba}, now);
}
