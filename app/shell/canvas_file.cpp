#include "canvas_file.h"

#include <image_file.h>
#include <limits_and_defaults.h>
#include <png_encoder.h>
#include <vector>
#include <whole_files.h>

namespace {

using namespace tessera;

std::optional<std::string> writePng(std::span<const std::uint8_t> rgba, std::int32_t width,
                                    std::int32_t height, const std::filesystem::path& path, mode_t mode) {
    const Result<std::vector<std::uint8_t>> encoded =
        codecs::encodePng(rgba, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    if (const Failure* failure = std::get_if<Failure>(&encoded))
        return failure->reason;
    const Result<> written = files::writeFileSafely(std::get<std::vector<std::uint8_t>>(encoded), path, mode);
    if (const Failure* failure = std::get_if<Failure>(&written))
        return failure->reason;
    return std::nullopt;
}

// Any image the command can enlarge at all; an animation's first frame.
Result<codecs::DecodedImage> readImage(const std::filesystem::path& path) {
    const Result<std::vector<char>> file = files::readWholeFile(path);
    if (const Failure* failure = std::get_if<Failure>(&file))
        return *failure;
    constexpr std::uint64_t largestEnlargeable =
        pixels::maxTargetPixels / (pixels::minFactor * pixels::minFactor);
    return codecs::decodeFirstFrame(std::get<std::vector<char>>(file),
                                    codecs::withinPixels(largestEnlargeable));
}

} // namespace

std::optional<std::string> writePreviewFile(const EditorState& state, const std::filesystem::path& path,
                                            mode_t mode) {
    // Every preview pixel is opaque already, so the file is too.
    return writePng(state.preview, state.layout.previewWidth, state.layout.previewHeight, path, mode);
}

std::optional<std::string> writeCanvasFile(const EditorState& state, const std::filesystem::path& path,
                                           mode_t mode) {
    std::vector<std::uint8_t> rgba(state.canvas.size() * 4);
    pixelsToOpaqueRgba(state.canvas.data(), state.canvas.size(), rgba.data());
    return writePng(rgba, state.layout.canvasWidth, state.layout.canvasHeight, path, mode);
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
