// The page's module: a C ABI over enlarge/'s one path, so that the page writes exactly the files
// tessera-scale writes. The worker copies a file into the module's memory, opens it with the page's
// settings and budget (or the command's, for the npm package), reads the source frames to show them,
// enlarges the still image band by band (or the animation frame by frame) so that progress can be
// reported between them, finishes the output file, copies it out and closes the job. Every function
// taking a job takes the one pageOpen returned; a failed job holds only its message.
//
// A large still written as a PNG is shared out among the page's workers, each with a module of its
// own: the worker that opened it (the job's) hands its converted source to the others (pageShare...).
// Every worker takes row groups of the PNG, each enlarged there into a target of its own rows
// alone, its colours found and its rows compressed in the layout the PNG most likely has (true
// colour, with alpha when transparency is kept). Only the compressed rows, their sums and the
// colours go back. The job then chooses the layout from all the colours; when it is the likely
// one, it writes the file's two ends from the groups' sums and the page puts the groups' blocks
// between them; otherwise (a palette) the groups are compressed again in that layout first. The
// bytes are the same as one worker's, and the command's.
#include "enlarge.h"
#include "limits_and_defaults.h"
#include "png_encoder.h"

#include <algorithm>
#include <cstdint>
#include <emscripten/emscripten.h>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessera::web {

struct Job {
    std::string failure; // empty while the job can go on
    tessera::Step failureStep = tessera::Step::Read;
    std::optional<enlarge::Opened> opened;
    std::vector<pixels::RowBand> bands; // of a still image, for progress between them
    // A shared still's PNG: its layout, likely and then chosen (also as words for the other
    // workers), its row groups and their sums as they come in (their blocks stay with the page),
    // and the target of the group's rows this worker enlarges at a time.
    std::optional<tessera::codecs::PngLayout> layout;
    std::vector<std::uint32_t> layoutWords;
    std::vector<tessera::codecs::RowRange> groupRows;
    std::vector<tessera::codecs::RowGroupSums> groupSums;
    std::vector<Pixel> groupTarget;
    std::vector<std::uint8_t> output;
    // Where in `output` the row groups' blocks go: its end, but for a planned PNG, whose output
    // is the file's two ends.
    std::size_t groupsAt = 0;
};

// Row groups of another worker's still: its converted source, and the target of a group's rows.
struct Share {
    tessera::enlarge::Request request;
    tessera::enlarge::StillImage still; // with no target of its own
    std::vector<Pixel> groupTarget;
};

// A row group compressed for the job, here or in another worker, and the colours of its rows as
// pagePlanPng takes them (when asked for).
struct Rows {
    tessera::codecs::CompressedRows compressed;
    std::vector<std::uint32_t> colours;
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

// The layout as the words pageLayout hands out: width, height, colour type, bit depth, palette
// entries; and back.
std::vector<std::uint32_t> layoutWords(const codecs::PngLayout& layout) {
    std::vector<std::uint32_t> words{layout.width, layout.height, layout.colourType, layout.bitDepth};
    words.insert(words.end(), layout.palette.begin(), layout.palette.end());
    return words;
}

codecs::PngLayout layoutOf(const std::uint32_t* words, std::size_t count) {
    codecs::PngLayout layout;
    layout.width = words[0];
    layout.height = words[1];
    layout.colourType = static_cast<std::uint8_t>(words[2]);
    layout.bitDepth = static_cast<std::uint8_t>(words[3]);
    layout.palette.assign(words + 4, words + count);
    return layout;
}

// The colours of RGBA rows as words: whether they fit a palette, whether they are opaque, how
// many distinct pixels follow, and those pixels.
std::vector<std::uint32_t> colourWords(std::span<const std::uint8_t> rgba) {
    const codecs::PngColours colours = codecs::findColours(rgba);
    std::vector<std::uint32_t> words{colours.fitPalette, colours.opaque,
                                     static_cast<std::uint32_t>(colours.pixels.size())};
    words.insert(words.end(), colours.pixels.begin(), colours.pixels.end());
    return words;
}

// Compresses target rows [begin, end) of the still as a row group of the layout given as
// pageLayout's words, and finds their colours when asked: the source rows
// they come from, and the row above them, are enlarged first into `groupTarget`, a target of their
// rows alone kept for the next group. Null when memory runs out.
Rows* compressGroup(const enlarge::Request& request, const enlarge::StillImage& still,
                    std::vector<Pixel>& groupTarget, const std::uint32_t* layoutWords, std::size_t count,
                    std::int32_t begin, std::int32_t end, bool last, bool colours) {
    try {
        const std::int32_t factor = request.factor;
        const std::int32_t first = begin > 0 ? begin - 1 : 0;
        const pixels::RowBand rows{first / factor, (end + factor - 1) / factor};
        const std::size_t rowWords = static_cast<std::size_t>(still.width) * static_cast<std::size_t>(factor);
        const std::size_t words =
            static_cast<std::size_t>(rows.end - rows.begin) * static_cast<std::size_t>(factor) * rowWords;
        if (groupTarget.size() < words)
            groupTarget.resize(words);
        enlarge::enlargeBand(request, still, rows, groupTarget.data());
        const std::size_t rowBytes = rowWords * 4;
        const auto rowAt = [&](std::int32_t row) {
            return reinterpret_cast<const std::uint8_t*>(groupTarget.data()) +
                   static_cast<std::size_t>(row - rows.begin * factor) * rowBytes;
        };
        const std::span<const std::uint8_t> groupRows{rowAt(begin),
                                                      static_cast<std::size_t>(end - begin) * rowBytes};
        auto group = std::make_unique<Rows>();
        if (colours)
            group->colours = colourWords(groupRows);
        Result<codecs::CompressedRows> compressed = codecs::compressRowGroup(
            layoutOf(layoutWords, count),
            begin > 0 ? std::span{rowAt(first), rowBytes} : std::span<const std::uint8_t>{}, groupRows, last);
        if (std::holds_alternative<Failure>(compressed))
            return nullptr;
        group->compressed = std::get<codecs::CompressedRows>(std::move(compressed));
        return group.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Plans the still's PNG in `layout`: its words and its row groups, whose sums are to come.
void planPng(Job& job, codecs::PngLayout layout) {
    job.layoutWords = layoutWords(layout);
    job.groupRows = codecs::pngRowGroups(layout);
    job.groupSums.assign(job.groupRows.size(), {});
    job.layout = std::move(layout);
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
using tessera::web::Rows;
using tessera::web::Share;
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

// The same for `width` x `height` pixels of RGBA: the job's steps are taken as for a file, and the
// enlarged pixels read with pagePixels (or written as a PNG by pageFinish).
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

// A still's converted source, width * height words, for pageShareOpen in another worker.
EMSCRIPTEN_KEEPALIVE const Pixel* pageSourceWords(const Job* job) {
    return std::get<enlarge::StillImage>(job->opened->image).source.data();
}

// Plans a still to be shared out as a PNG in the layout it most likely has, true colour with
// alpha when transparency is kept, and returns how many row groups that layout has. Its rows are
// enlarged a group at a time from here on, so the whole target is let go.
EMSCRIPTEN_KEEPALIVE int pagePlanLikely(Job* job) {
    auto& still = std::get<enlarge::StillImage>(job->opened->image);
    still.target.reset();
    const auto factor = static_cast<std::uint32_t>(job->opened->request.factor);
    tessera::codecs::PngLayout layout;
    layout.width = static_cast<std::uint32_t>(still.width) * factor;
    layout.height = static_cast<std::uint32_t>(still.height) * factor;
    layout.colourType = still.conversion.mode == ColourMode::WithAlpha ? 6 : 2;
    tessera::web::planPng(*job, std::move(layout));
    return static_cast<int>(job->groupRows.size());
}

// Chooses the PNG layout of a shared still from the colours of its row groups in order (pageRows-
// Colours's words, one after another). Returns 0 when it is the layout planned, whose groups
// then stand; else plans it, and returns how many row groups are to be compressed in it.
EMSCRIPTEN_KEEPALIVE int pagePlanPng(Job* job, const std::uint32_t* colours, std::size_t count) {
    auto& still = std::get<enlarge::StillImage>(job->opened->image);
    std::vector<tessera::codecs::PngColours> parts;
    for (std::size_t at = 0; at + 3 <= count && at + 3 + colours[at + 2] <= count; at += 3 + colours[at + 2])
        parts.push_back(
            {{colours + at + 3, colours + at + 3 + colours[at + 2]}, colours[at] != 0, colours[at + 1] != 0});
    const auto factor = static_cast<std::uint32_t>(job->opened->request.factor);
    tessera::codecs::PngLayout layout =
        tessera::codecs::layoutOfColours(parts, static_cast<std::uint32_t>(still.width) * factor,
                                         static_cast<std::uint32_t>(still.height) * factor);
    if (tessera::web::layoutWords(layout) == job->layoutWords)
        return 0;
    tessera::web::planPng(*job, std::move(layout));
    return static_cast<int>(job->groupRows.size());
}

// The planned layout as words for pageJobGroup and pageShareGroup, and how many.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* pageLayout(const Job* job) {
    return job->layoutWords.data();
}

EMSCRIPTEN_KEEPALIVE int pageLayoutWords(const Job* job) {
    return static_cast<int>(job->layoutWords.size());
}

// The target rows of row group `index`.
EMSCRIPTEN_KEEPALIVE int pageGroupBegin(const Job* job, int index) {
    return static_cast<int>(job->groupRows.at(static_cast<std::size_t>(index)).begin);
}

EMSCRIPTEN_KEEPALIVE int pageGroupEnd(const Job* job, int index) {
    return static_cast<int>(job->groupRows.at(static_cast<std::size_t>(index)).end);
}

// Keeps the sums of row group `index` as pageRowsSize, pageRowsCrc, pageRowsAdler and
// pageRowsLength gave them, wherever it was compressed.
EMSCRIPTEN_KEEPALIVE void pageSetGroup(Job* job, int index, std::size_t size, std::uint32_t crc,
                                       std::uint32_t adler, std::uint32_t length) {
    job->groupSums.at(static_cast<std::size_t>(index)) = {size, crc, adler, length};
}

// Writes the output file once every step is done; for a planned PNG, once every row group is
// set, the file's two ends, with the groups' blocks to go between them at pageGroupsAt. 0 when it
// failed.
EMSCRIPTEN_KEEPALIVE int pageFinish(Job* job) {
    if (job->layout) {
        tessera::Result<tessera::codecs::PngEnds> ends =
            tessera::codecs::pngEnds(*job->layout, job->groupSums);
        if (tessera::web::failed(*job, ends))
            return 0;
        tessera::codecs::PngEnds& parts = std::get<tessera::codecs::PngEnds>(ends);
        job->groupsAt = parts.head.size();
        parts.head.insert(parts.head.end(), parts.tail.begin(), parts.tail.end());
        job->output = std::move(parts.head);
        return 1;
    }
    auto* still = std::get_if<enlarge::StillImage>(&job->opened->image);
    tessera::Result<std::vector<std::uint8_t>> file =
        still != nullptr ? enlarge::encodeStill(job->opened->request, *still)
                         : enlarge::finishAnimation(std::get<enlarge::AnimationImage>(job->opened->image));
    if (tessera::web::failed(*job, file))
        return 0;
    job->output = std::get<std::vector<std::uint8_t>>(std::move(file));
    job->groupsAt = job->output.size();
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

EMSCRIPTEN_KEEPALIVE std::size_t pageGroupsAt(const Job* job) {
    return job->groupsAt;
}

EMSCRIPTEN_KEEPALIVE void pageClose(Job* job) {
    delete job;
}

// Another worker's still, opened with the same settings, `withAlpha` as pageWithAlpha gave it; its
// converted source (pageSourceWords there) is then copied to pageShareSource here. Null when
// memory runs out.
EMSCRIPTEN_KEEPALIVE Share* pageShareOpen(int width, int height, int withAlpha, int factor, int wrap,
                                          int cellWidth, int cellHeight) {
    try {
        auto share = std::make_unique<Share>();
        share->request.factor = factor;
        share->request.edges = {.edges = wrap != 0 ? EdgeMode::Wrap : EdgeMode::Clamp,
                                .cellWidth = cellWidth,
                                .cellHeight = cellHeight};
        enlarge::StillImage& still = share->still;
        still.width = width;
        still.height = height;
        still.conversion.mode = withAlpha != 0 ? ColourMode::WithAlpha : ColourMode::Opaque;
        still.source.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        return share.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Where the shared still's converted source goes: width * height words.
EMSCRIPTEN_KEEPALIVE Pixel* pageShareSource(Share* share) {
    return share->still.source.data();
}

EMSCRIPTEN_KEEPALIVE void pageShareClose(Share* share) {
    delete share;
}

// Compresses target rows [begin, end) of the job's still, or of another worker's (the share), as
// a row group of a planned layout (pageLayout's words), and finds their colours when `colours` is
// 1. `last` is 1 for the image's last group. Null when memory runs out.
EMSCRIPTEN_KEEPALIVE Rows* pageJobGroup(Job* job, const std::uint32_t* layoutWords, std::size_t count,
                                        int begin, int end, int last, int colours) {
    return tessera::web::compressGroup(job->opened->request,
                                       std::get<enlarge::StillImage>(job->opened->image), job->groupTarget,
                                       layoutWords, count, begin, end, last != 0, colours != 0);
}

EMSCRIPTEN_KEEPALIVE Rows* pageShareGroup(Share* share, const std::uint32_t* layoutWords, std::size_t count,
                                          int begin, int end, int last, int colours) {
    return tessera::web::compressGroup(share->request, share->still, share->groupTarget, layoutWords, count,
                                       begin, end, last != 0, colours != 0);
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* pageRowsDeflated(const Rows* rows) {
    return rows->compressed.deflated.data();
}

EMSCRIPTEN_KEEPALIVE std::size_t pageRowsSize(const Rows* rows) {
    return rows->compressed.deflated.size();
}

EMSCRIPTEN_KEEPALIVE std::uint32_t pageRowsCrc(const Rows* rows) {
    return rows->compressed.sums.crc;
}

EMSCRIPTEN_KEEPALIVE std::uint32_t pageRowsAdler(const Rows* rows) {
    return rows->compressed.sums.adler;
}

EMSCRIPTEN_KEEPALIVE std::uint32_t pageRowsLength(const Rows* rows) {
    return static_cast<std::uint32_t>(rows->compressed.sums.length);
}

// The colours of the group's rows, when asked for, as words for pagePlanPng, and how many.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* pageRowsColours(const Rows* rows) {
    return rows->colours.data();
}

EMSCRIPTEN_KEEPALIVE int pageRowsColoursWords(const Rows* rows) {
    return static_cast<int>(rows->colours.size());
}

EMSCRIPTEN_KEEPALIVE void pageRowsClose(Rows* rows) {
    delete rows;
}

} // extern "C"
