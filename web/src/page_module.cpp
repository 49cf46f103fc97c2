// The page's module: one image file at a time, from its bytes to the PNG of its enlargement, by
// the command's own path (source_image.h: the header judged, the image decoded and converted
// with the command's opaque-or-alpha choice and flattening), the scaler in bands so that the
// worker can report progress between them, and the PNG encoded here.
//
// An animated PNG is read by the command's reader too, each composited frame enlarged as the
// command enlarges it, and written as the command writes it, an animated PNG.
//
// The worker copies a file into the module's memory, opens it, enlarges the bands (or the frames
// of an animation), encodes, copies the PNG out and closes the job. Every function takes the job
// pageOpen returned; a failed job holds only its message.
#include "animated_png_writer.h"
#include "animation_frames.h"
#include "animation_reading.h"
#include "image_decoder.h"
#include "limits_and_defaults.h"
#include "png_writer.h"
#include "source_image.h"

#include <algorithm>
#include <cstdint>
#include <emscripten/emscripten.h>
#include <optional>
#include <string>
#include <vector>

namespace tessera::web {
namespace {

// The largest enlargement the page makes: 2^26 pixels (an 8192 x 8192 image, 256 MiB of RGBA),
// a quarter of the command's limit. The page holds the source, the enlargement and its PNG in
// a browser's 2 GiB of WebAssembly memory at most; larger sheets are for tessera-scale.
constexpr std::uint64_t maxPageTargetPixels = std::uint64_t{1} << 26;

tool::Result<> checkPageSize(const tool::DeclaredImage& image, int factor) {
    const std::uint64_t pixels = std::uint64_t{image.width} * image.height * factor * factor;
    if (pixels <= maxPageTargetPixels)
        return {};
    return tool::Failure{tool::Step::Enlarge,
                         "the image is too large for the page: " + std::to_string(image.width) + " x " +
                             std::to_string(image.height) + " enlarged by " + std::to_string(factor) +
                             " exceeds its limit of " + std::to_string(maxPageTargetPixels) +
                             " output pixels (tessera-scale takes larger ones)"};
}

// The frames of an animation, how they are enlarged and the file written so far.
struct AnimationJob {
    tool::Animation animation;
    tool::FrameScaling scaling;
    tool::AnimatedPngWriter writer;
    std::vector<Pixel> source; // working space of one frame
};

struct Job {
    std::string failure; // empty while the job can go on
    int factor = 0;
    pixels::Edges edges;
    tool::SourceImage source; // a still image
    std::optional<AnimationJob> animation;
    std::vector<Pixel> target;
    std::vector<std::uint8_t> png;
};

// An animated PNG's frames, judged by the command's limits and the page's. False when the file is
// not one.
bool openAnimation(std::span<const char> file, std::optional<pixels::Rgb> background, Job& job) {
    std::optional<tool::Result<tool::Animation>> decoded = tool::decodeAnimatedPng(file);
    if (!decoded)
        return false;
    if (const tool::Failure* failure = std::get_if<tool::Failure>(&*decoded)) {
        job.failure = failure->reason;
        return true;
    }
    tool::Animation& animation = std::get<tool::Animation>(*decoded);
    const tool::DeclaredImage canvas{animation.width, animation.height};
    for (const tool::Result<>& check :
         {tool::checkDeclaredImage(canvas, job.factor), checkPageSize(canvas, job.factor)})
        if (const tool::Failure* failure = std::get_if<tool::Failure>(&check)) {
            job.failure = failure->reason;
            return true;
        }
    const tool::FrameScaling scaling = tool::chooseFrameScaling(animation, job.factor, background, job.edges);
    const auto factor = static_cast<std::uint32_t>(job.factor);
    const tool::AnimationShape shape{animation.width * factor, animation.height * factor,
                                     static_cast<std::uint32_t>(animation.frames.size()), animation.plays};
    job.target.resize(std::size_t{shape.width} * shape.height);
    std::vector<Pixel> source(std::size_t{animation.width} * animation.height);
    job.animation = AnimationJob{std::move(animation), scaling,
                                 tool::startAnimatedPng(shape, scaling.mode == pixels::ScaleMode::Opaque),
                                 std::move(source)};
    return true;
}

// Reads the file into a job: the command's checks and decoding, then the page's own size
// limit, which is judged on the declared size before anything is decoded.
Job open(std::span<const char> file, int factor, std::optional<pixels::Rgb> background,
         const pixels::Edges& edges) {
    Job job;
    job.factor = factor;
    job.edges = edges;
    if (factor < minScaleFactor || factor > maxScaleFactor) {
        job.failure = "the factor must be 2, 3, 4 or 5";
        return job;
    }
    if (edges.cellWidth < 0 || edges.cellHeight < 0) {
        job.failure = "the cell size must be whole numbers from 1";
        return job;
    }
    if (openAnimation(file, background, job))
        return job;
    tool::Result<tool::DeclaredImage> declared = tool::readDeclaredImage(file);
    if (const tool::Failure* failure = std::get_if<tool::Failure>(&declared)) {
        job.failure = failure->reason;
        return job;
    }
    if (tool::Result<> fits = checkPageSize(std::get<tool::DeclaredImage>(declared), factor);
        const tool::Failure* failure = std::get_if<tool::Failure>(&fits)) {
        job.failure = failure->reason;
        return job;
    }
    tool::Result<tool::SourceImage> loaded = tool::loadSourceImage(file, factor, background);
    if (const tool::Failure* failure = std::get_if<tool::Failure>(&loaded)) {
        job.failure = failure->reason;
        return job;
    }
    job.source = std::move(std::get<tool::SourceImage>(loaded));
    job.target.resize(job.source.pixels.size() * factor * factor);
    return job;
}

} // namespace
} // namespace tessera::web

using tessera::web::Job;

extern "C" {

// `background` is 0xRRGGBB to flatten over, or -1 to keep transparency. `wrap` is 1 for
// wrap-around edges; the cell size is 0 by 0 for none, and negative when the page could not
// read it as whole numbers from 1.
EMSCRIPTEN_KEEPALIVE Job* pageOpen(const char* file, std::size_t size, int factor, int background, int wrap,
                                   int cellWidth, int cellHeight) {
    std::optional<tessera::pixels::Rgb> colour;
    if (background >= 0)
        colour = tessera::pixels::Rgb{static_cast<std::uint8_t>(background >> 16),
                                      static_cast<std::uint8_t>(background >> 8),
                                      static_cast<std::uint8_t>(background)};
    return new Job{tessera::web::open({file, size}, factor, colour, {wrap != 0, cellWidth, cellHeight})};
}

// The reason the job failed, as the end of "cannot ... 'NAME': ", or an empty string.
EMSCRIPTEN_KEEPALIVE const char* pageFailure(const Job* job) {
    return job->failure.c_str();
}

EMSCRIPTEN_KEEPALIVE int pageWidth(const Job* job) {
    return job->animation ? static_cast<int>(job->animation->animation.width) : job->source.width;
}

EMSCRIPTEN_KEEPALIVE int pageHeight(const Job* job) {
    return job->animation ? static_cast<int>(job->animation->animation.height) : job->source.height;
}

// 1 when the image keeps its transparency through the alpha-aware enlargement, 0 when opaque.
EMSCRIPTEN_KEEPALIVE int pageMode(const Job* job) {
    const auto mode = job->animation ? job->animation->scaling.mode : job->source.conversion.mode;
    return mode == tessera::pixels::ScaleMode::WithAlpha;
}

// 1 when translucent pixels were composited over the background.
EMSCRIPTEN_KEEPALIVE int pageFlattened(const Job* job) {
    return job->animation ? job->animation->scaling.flattened : job->source.conversion.flattened;
}

// Writes the RGBA bytes of what is enlarged (the flattened image, with a background; an
// animation's first frame) to `rgba`, width * height * 4 of them, for the page to show beside the
// enlargement.
EMSCRIPTEN_KEEPALIVE void pageSourceRgba(const Job* job, std::uint8_t* rgba) {
    if (!job->animation)
        return tessera::pixels::convertToRgba(job->source.conversion.mode, job->source.pixels, rgba);
    const tessera::tool::FrameScaling& scaling = job->animation->scaling;
    const std::vector<std::uint8_t>& first = job->animation->animation.frames.front().rgba;
    if (!scaling.background)
        return static_cast<void>(std::copy(first.begin(), first.end(), rgba));
    std::vector<Pixel> words(first.size() / 4);
    tessera::pixels::flattenToWords(first, *scaling.background, words);
    tessera::pixels::convertToRgba(tessera::pixels::ScaleMode::Opaque, words, rgba);
}

// How many frames an animation has, to be enlarged one by one; 0 for a still image.
EMSCRIPTEN_KEEPALIVE int pageFrames(const Job* job) {
    return job->animation ? static_cast<int>(job->animation->animation.frames.size()) : 0;
}

// Enlarges frame `index` (in order, each once) and writes it; 0 when memory ran out. A single
// frame is written as a still PNG.
EMSCRIPTEN_KEEPALIVE int pageEnlargeFrame(Job* job, int index) {
    tessera::web::AnimationJob& animation = *job->animation;
    tessera::tool::AnimationFrame& frame = animation.animation.frames[static_cast<std::size_t>(index)];
    tessera::tool::AnimationFrame enlarged{
        tessera::tool::enlargeFrame(animation.scaling, frame.rgba, animation.source, job->target),
        frame.delayNumerator, frame.delayDenominator};
    frame.rgba = {};
    const tessera::tool::AnimationShape& shape = animation.writer.shape;
    if (shape.frames == 1) {
        job->png = tessera::web::encodePng(enlarged.rgba, shape.width, shape.height);
        if (job->png.empty())
            job->failure = "the page ran out of memory writing its PNG";
        return !job->png.empty();
    }
    const tessera::tool::Result<> added = tessera::tool::addPngFrame(animation.writer, std::move(enlarged));
    if (const auto* failure = std::get_if<tessera::tool::Failure>(&added))
        job->failure = failure->reason;
    return job->failure.empty();
}

// Enlarges source rows [rowBegin, rowEnd); bands of one job give the words of one whole call.
EMSCRIPTEN_KEEPALIVE void pageEnlarge(Job* job, int rowBegin, int rowEnd) {
    const tessera::tool::SourceImage& source = job->source;
    tessera::pixels::enlargeBand(source.conversion.mode, job->factor, source.pixels.data(),
                                 job->target.data(), source.width, source.height, ScaleSettings{}, rowBegin,
                                 rowEnd, job->edges);
}

// Encodes the enlargement of every band as PNG, or finishes the animated PNG of every frame; 0
// when memory ran out.
EMSCRIPTEN_KEEPALIVE int pageEncode(Job* job) {
    if (job->animation) {
        if (job->animation->writer.shape.frames > 1)
            job->png = tessera::tool::finishAnimatedPng(job->animation->writer);
        return 1;
    }
    const int factor = job->factor;
    auto* rgba = reinterpret_cast<std::uint8_t*>(job->target.data());
    tessera::pixels::convertToRgba(job->source.conversion.mode, job->target, rgba);
    job->png = tessera::web::encodePng({rgba, job->target.size() * 4},
                                       static_cast<std::uint32_t>(job->source.width * factor),
                                       static_cast<std::uint32_t>(job->source.height * factor));
    if (job->png.empty())
        job->failure = "the page ran out of memory writing its PNG";
    return !job->png.empty();
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* pagePng(const Job* job) {
    return job->png.data();
}

EMSCRIPTEN_KEEPALIVE std::size_t pagePngSize(const Job* job) {
    return job->png.size();
}

EMSCRIPTEN_KEEPALIVE void pageClose(Job* job) {
    delete job;
}

} // extern "C"
