// The page's module: a C ABI over enlarge/'s one path, so that the page writes exactly the files
// tessera-scale writes. One file at a time: the worker copies the file into the module's memory,
// opens it with the page's settings and budget (or the command's, for the npm package), reads the source
// frames to show them, enlarges the still image band by band (or the animation frame by frame) so that
// progress can be reported between them, finishes the output file, copies it out and closes the job. Every
// function takes the job pageOpen returned; a failed job holds only its message.
#include "enlarge.h"
#include "limits_and_defaults.h"

#include <algorithm>
#include <cstdint>
#include <emscripten/emscripten.h>
#include <optional>
#include <string>
#include <vector>

namespace tessera::web {

struct Job {
    std::string failure; // empty while the job can go on
    tessera::Step failureStep = tessera::Step::Read;
    std::optional<enlarge::Opened> opened;
    std::vector<pixels::RowBand> bands; // of a still image, for progress between them
    std::vector<std::uint8_t> output;
};

namespace {

void fail(Job& job, const Failure& failure) {
    job.failure = failure.reason;
    job.failureStep = failure.step;
    job.opened.reset();
}

template <typename Value>
bool failed(Job& job, const Result<Value>& result) {
    if (const Failure* failure = std::get_if<Failure>(&result)) {
        fail(job, *failure);
        return true;
    }
    return false;
}

const codecs::Animation* animationOf(const Job& job) {
    const auto* animation = std::get_if<enlarge::AnimationImage>(&job.opened->image);
    return animation != nullptr ? &animation->animation : nullptr;
}

// A file or pixels are opened with the same settings; `commandBudget` 1 chooses tessera-scale's
// size limit, 0 the page's.
std::optional<enlarge::Request> requestOf(Job& job, int factor, int background, int wrap, int cellWidth,
                                          int cellHeight, int webp, int commandBudget) {
    if (cellWidth < 0 || cellHeight < 0) {
        job.failure = "the cell size must be whole numbers from 1";
        return std::nullopt;
    }
    enlarge::Request request;
    request.factor = factor;
    if (background >= 0)
        request.background =
            pixels::Rgb{static_cast<std::uint8_t>(background >> 16),
                        static_cast<std::uint8_t>(background >> 8), static_cast<std::uint8_t>(background)};
    request.edges = {.edges = wrap != 0 ? EdgeMode::Wrap : EdgeMode::Clamp,
                     .cellWidth = cellWidth,
                     .cellHeight = cellHeight};
    request.format = webp != 0 ? codecs::OutputFormat::Webp : codecs::OutputFormat::Png;
    request.maxTargetPixels = commandBudget != 0 ? pixels::maxTargetPixels : pixels::maxPageTargetPixels;
    return request;
}

void start(Job& job, Result<enlarge::Opened>&& opened) {
    if (failed(job, opened))
        return;
    job.opened = std::get<enlarge::Opened>(std::move(opened));
    if (const auto* still = std::get_if<enlarge::StillImage>(&job.opened->image))
        job.bands = pixels::planProgressBands(still->height, still->targetPixels);
}

// The text handed to the page stays valid until the next call.
const char* text(std::string value) {
    static std::string held;
    held = std::move(value);
    return held.c_str();
}

} // namespace
} // namespace tessera::web

using tessera::web::Job;
namespace enlarge = tessera::enlarge;
namespace pixels = tessera::pixels;

extern "C" {

// The factors and the page's size limit, for the page's own words.
EMSCRIPTEN_KEEPALIVE int pageMinFactor() {
    return pixels::minFactor;
}

EMSCRIPTEN_KEEPALIVE int pageMaxFactor() {
    return pixels::maxFactor;
}

EMSCRIPTEN_KEEPALIVE int pageDefaultFactor() {
    return pixels::defaultFactor;
}

// "8,192 x 8,192": the largest square the page enlarges to.
EMSCRIPTEN_KEEPALIVE const char* pageLimit() {
    return tessera::web::text(pixels::squareSize(pixels::maxPageTargetPixels));
}

// `background` is 0xRRGGBB to flatten over, or -1 to keep transparency. `wrap` is 1 for
// wrap-around edges; the cell size is 0 by 0 for none, and negative when the page could not read
// it as whole numbers from 1. `webp` is 1 for a lossless WebP out, 0 for PNG. `commandBudget` is 1
// for tessera-scale's size limit, 0 for the page's.
EMSCRIPTEN_KEEPALIVE Job* pageOpen(const char* file, std::size_t size, int factor, int background, int wrap,
                                   int cellWidth, int cellHeight, int webp, int commandBudget) {
    auto* job = new Job;
    const std::optional<enlarge::Request> request =
        tessera::web::requestOf(*job, factor, background, wrap, cellWidth, cellHeight, webp, commandBudget);
    if (request)
        tessera::web::start(*job, enlarge::openFile({file, size}, *request));
    return job;
}

// The same for `width` x `height` pixels of RGBA, enlarged to pixels (pagePixels) rather than to a
// file: the job's steps are taken as for a file, and pageFinish is not called.
EMSCRIPTEN_KEEPALIVE Job* pageOpenPixels(const std::uint8_t* rgba, int width, int height, int factor,
                                         int background, int wrap, int cellWidth, int cellHeight,
                                         int commandBudget) {
    auto* job = new Job;
    const std::optional<enlarge::Request> request =
        tessera::web::requestOf(*job, factor, background, wrap, cellWidth, cellHeight, 0, commandBudget);
    if (!request)
        return job;
    if (width < 0 || height < 0) {
        job->failure = "the image is empty";
        return job;
    }
    tessera::codecs::DecodedImage image{
        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), {}};
    image.rgba.assign(rgba, rgba + std::size_t{image.width} * image.height * 4);
    tessera::web::start(*job, enlarge::openPixels(std::move(image), *request));
    return job;
}

// The reason the job failed, as the end of "cannot ... 'NAME': ", or an empty string.
EMSCRIPTEN_KEEPALIVE const char* pageFailure(const Job* job) {
    return job->failure.c_str();
}

// What failed, for the command's "cannot read", "cannot enlarge" or "cannot write": 1, 2 or 3.
EMSCRIPTEN_KEEPALIVE int pageFailureStep(const Job* job) {
    return static_cast<int>(job->failureStep);
}

EMSCRIPTEN_KEEPALIVE int pageWidth(const Job* job) {
    return enlarge::sourceWidth(*job->opened);
}

EMSCRIPTEN_KEEPALIVE int pageHeight(const Job* job) {
    return enlarge::sourceHeight(*job->opened);
}

// 1 when the image keeps its transparency through the alpha-aware enlargement, 0 when opaque.
EMSCRIPTEN_KEEPALIVE int pageWithAlpha(const Job* job) {
    return enlarge::colourMode(*job->opened) == ColourMode::WithAlpha;
}

// 1 when translucent pixels were composited over the background.
EMSCRIPTEN_KEEPALIVE int pageFlattened(const Job* job) {
    return enlarge::flattened(*job->opened);
}

// How many frames the source has: 1 for a still image, 2 or more for an animation.
EMSCRIPTEN_KEEPALIVE int pageFrames(const Job* job) {
    const tessera::codecs::Animation* animation = tessera::web::animationOf(*job);
    return animation != nullptr ? static_cast<int>(animation->frames.size()) : 1;
}

// How long source frame `index` shows, in milliseconds (0 for a still image).
EMSCRIPTEN_KEEPALIVE int pageFrameDelay(const Job* job, int index) {
    const tessera::codecs::Animation* animation = tessera::web::animationOf(*job);
    if (animation == nullptr)
        return 0;
    const tessera::codecs::AnimationFrame& frame = animation->frames.at(static_cast<std::size_t>(index));
    return static_cast<int>((std::uint64_t{frame.delayNumerator} * 1000 + frame.delayDenominator / 2) /
                            frame.delayDenominator);
}

// Writes the RGBA bytes of source frame `index` as it is enlarged (flattened over the background
// when there is one) to `rgba`, width * height * 4 of them; before that frame is enlarged.
EMSCRIPTEN_KEEPALIVE void pageSourceFrame(const Job* job, int index, std::uint8_t* rgba) {
    const std::vector<std::uint8_t> frame =
        enlarge::sourceRgba(*job->opened, static_cast<std::size_t>(index));
    std::copy(frame.begin(), frame.end(), rgba);
}

// How many steps the enlargement takes: bands of a still image, frames of an animation.
EMSCRIPTEN_KEEPALIVE int pageSteps(const Job* job) {
    return tessera::web::animationOf(*job) != nullptr ? pageFrames(job) : static_cast<int>(job->bands.size());
}

// Takes step `index` (in order, each once); 0 when it failed.
EMSCRIPTEN_KEEPALIVE int pageStep(Job* job, int index) {
    if (auto* still = std::get_if<enlarge::StillImage>(&job->opened->image)) {
        enlarge::enlargeBand(job->opened->request, *still, job->bands.at(static_cast<std::size_t>(index)));
        return 1;
    }
    auto& animation = std::get<enlarge::AnimationImage>(job->opened->image);
    return !tessera::web::failed(*job, enlarge::enlargeFrame(job->opened->request, animation));
}

// Writes the output file once every step is done; 0 when it failed.
EMSCRIPTEN_KEEPALIVE int pageFinish(Job* job) {
    tessera::Result<std::vector<std::uint8_t>> file;
    if (auto* still = std::get_if<enlarge::StillImage>(&job->opened->image))
        file = enlarge::encodeStill(job->opened->request, *still);
    else
        file = enlarge::finishAnimation(std::get<enlarge::AnimationImage>(job->opened->image));
    if (tessera::web::failed(*job, file))
        return 0;
    job->output = std::get<std::vector<std::uint8_t>>(std::move(file));
    return 1;
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* pageOutput(const Job* job) {
    return job->output.data();
}

// The enlarged RGBA bytes of opened pixels once every step is done: (width * factor) x
// (height * factor) pixels.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pagePixels(const Job* job) {
    return reinterpret_cast<const std::uint8_t*>(
        std::get<enlarge::StillImage>(job->opened->image).target.get());
}

EMSCRIPTEN_KEEPALIVE std::size_t pageOutputSize(const Job* job) {
    return job->output.size();
}

EMSCRIPTEN_KEEPALIVE void pageClose(Job* job) {
    delete job;
}

} // extern "C"
