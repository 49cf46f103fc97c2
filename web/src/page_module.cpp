// The page's module: one image file at a time, from its bytes to the PNG of its enlargement, by
// the command's own path (source_image.h: the header judged, the image decoded and converted
// with the command's opaque-or-alpha choice and flattening), the scaler in bands so that the
// worker can report progress between them, and the PNG encoded here.
//
// The worker copies a file into the module's memory, opens it, enlarges the bands, encodes,
// copies the PNG out and closes the job. Every function takes the job pageOpen returned; a
// failed job holds only its message.
#include "image_decoder.h"
#include "png_writer.h"
#include "size_limits.h"
#include "source_image.h"

#include <cstdint>
#include <emscripten/emscripten.h>
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

struct Job {
    std::string failure; // empty while the job can go on
    int factor = 0;
    tool::SourceImage source;
    std::vector<Pixel> target;
    std::vector<std::uint8_t> png;
};

// Reads the file into a job: the command's checks and decoding, then the page's own size
// limit, which is judged on the declared size before anything is decoded.
Job open(std::span<const char> file, int factor, std::optional<pixels::Rgb> background) {
    Job job;
    job.factor = factor;
    if (factor < minScaleFactor || factor > maxScaleFactor) {
        job.failure = "the factor must be 2, 3, 4 or 5";
        return job;
    }
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

// `background` is 0xRRGGBB to flatten over, or -1 to keep transparency.
EMSCRIPTEN_KEEPALIVE Job* pageOpen(const char* file, std::size_t size, int factor, int background) {
    std::optional<tessera::pixels::Rgb> colour;
    if (background >= 0)
        colour = tessera::pixels::Rgb{static_cast<std::uint8_t>(background >> 16),
                                      static_cast<std::uint8_t>(background >> 8),
                                      static_cast<std::uint8_t>(background)};
    return new Job{tessera::web::open({file, size}, factor, colour)};
}

// The reason the job failed, as the end of "cannot ... 'NAME': ", or an empty string.
EMSCRIPTEN_KEEPALIVE const char* pageFailure(const Job* job) {
    return job->failure.c_str();
}

EMSCRIPTEN_KEEPALIVE int pageWidth(const Job* job) {
    return job->source.width;
}

EMSCRIPTEN_KEEPALIVE int pageHeight(const Job* job) {
    return job->source.height;
}

// 1 when the image keeps its transparency through the alpha-aware enlargement, 0 when opaque.
EMSCRIPTEN_KEEPALIVE int pageMode(const Job* job) {
    return job->source.conversion.mode == tessera::pixels::ScaleMode::WithAlpha;
}

// 1 when translucent pixels were composited over the background.
EMSCRIPTEN_KEEPALIVE int pageFlattened(const Job* job) {
    return job->source.conversion.flattened;
}

// Writes the RGBA bytes of what is enlarged (the flattened image, with a background) to `rgba`,
// width * height * 4 of them, for the page to show beside the enlargement.
EMSCRIPTEN_KEEPALIVE void pageSourceRgba(const Job* job, std::uint8_t* rgba) {
    tessera::pixels::convertToRgba(job->source.conversion.mode, job->source.pixels, rgba);
}

// Enlarges source rows [rowBegin, rowEnd); bands of one job give the words of one whole call.
EMSCRIPTEN_KEEPALIVE void pageEnlarge(Job* job, int rowBegin, int rowEnd) {
    const tessera::tool::SourceImage& source = job->source;
    tessera::pixels::enlargeBand(source.conversion.mode, job->factor, source.pixels.data(),
                                 job->target.data(), source.width, source.height, ScaleSettings{}, rowBegin,
                                 rowEnd);
}

// Encodes the enlargement of every band as PNG; 0 when memory ran out.
EMSCRIPTEN_KEEPALIVE int pageEncode(Job* job) {
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
