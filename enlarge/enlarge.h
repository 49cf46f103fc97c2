// The one path from an image file's bytes to its enlargement's bytes, shared by tessera-scale,
// the page, the fuzzers and the Python module: no disk and no threads of its own.
//
//   openFile      the file's size judged from its header, then the file decoded: a still image
//                 or an animation, converted to what is enlarged under the request
//   enlargeBand   a still image's source rows [begin, end) enlarged into the shared target (or a
//                 target of their own) and turned into RGBA bytes in place: bands of one image
//                 may run on different threads and give exactly the words of one whole-image call
//   encodeStill   the still's output file, PNG or WebP, once every band is done
//   enlargeFrame  an animation's next frame enlarged and handed to the writer
//   finishAnimation  the animation's output file, once every frame is done
//
// An animation's frames are all enlarged in one mode (alpha-aware when any frame has a pixel
// with alpha below 255, unless a background flattens them all), each exactly as it would be as a
// still. The decoded frames are held, the enlarged ones are not: each goes to the writer as soon
// as it is made, which keeps only the one before it.
#pragma once

#include "animation.h"
#include "animation_writer.h"
#include "failure.h"
#include "image_file.h"
#include "limits_and_defaults.h"
#include "pixel_conversion.h"
#include "row_bands.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <tessera/scaler.h>
#include <variant>
#include <vector>

namespace tessera::enlarge {

// What is asked of an enlargement.
struct Request {
    int factor = pixels::defaultFactor;
    std::optional<pixels::Rgb> background; // set: translucent pixels are composited over it
    ScaleOptions edges;                    // wrap-around edges and cells; colours and rows are the path's own
    codecs::OutputFormat format = codecs::OutputFormat::Png;
    std::uint64_t maxTargetPixels = pixels::maxTargetPixels; // the caller's budget
};

struct StillImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    pixels::Conversion conversion;
    std::vector<Pixel> source; // width * height words, for enlargement in conversion.mode
    // Every pixel is written by the bands, so the target is left uninitialised: its pages are
    // first touched by the threads that enlarge into them, not cleared by one beforehand.
    std::unique_ptr<Pixel[]> target;
    std::size_t targetPixels = 0;
};

struct AnimationImage {
    codecs::Animation animation; // the decoded frames, each released once enlarged
    ColourMode mode = ColourMode::Opaque;
    bool flattened = false;
    codecs::AnimationWriter writer;
    std::size_t nextFrame = 0;
    std::vector<Pixel> source; // working space of one frame
    std::vector<Pixel> target;
};

struct Opened {
    Request request;
    std::variant<StillImage, AnimationImage> image;
};

// Judges the size the header declares for the request's factor and budget before anything is
// decoded, decodes, converts and prepares the target. A Read failure when the file is no image
// read here or is damaged, an Enlarge failure when the image is empty or too large.
Result<Opened> openFile(std::span<const char> file, const Request& request);

// The same for an image already in RGBA bytes (width * height * 4 of them): judged, converted
// and prepared as a decoded still file would be.
Result<Opened> openPixels(codecs::DecodedImage&& image, const Request& request);

// The canvas's size and how it is enlarged.
std::int32_t sourceWidth(const Opened& opened);
std::int32_t sourceHeight(const Opened& opened);
ColourMode colourMode(const Opened& opened);
bool flattened(const Opened& opened);

// Enlarges source rows [rows.begin, rows.end) of a still image into its target and turns those
// target rows into RGBA bytes in place. Any number of threads may enlarge different bands at once.
void enlargeBand(const Request& request, StillImage& still, pixels::RowBand rows);

// The same into `band`, a target of those rows alone ((end - begin) * factor rows of
// width * factor pixels), for a caller that encodes the image a band at a time.
void enlargeBand(const Request& request, const StillImage& still, pixels::RowBand rows, Pixel* band);

// The still's output file once every band is done, its PNG row groups deflated on up to `threads`
// threads (the bytes are the same whatever their number). Releases the target.
Result<std::vector<std::uint8_t>> encodeStill(const Request& request, StillImage& still, int threads = 1);

// Enlarges the animation's next frame and adds it to the output; a Write failure when memory runs
// out on the way.
Result<> enlargeFrame(const Request& request, AnimationImage& animation);

// The animation's output file once every frame is done.
Result<std::vector<std::uint8_t>> finishAnimation(AnimationImage& animation);

// The RGBA bytes of what is enlarged, as it would be shown before the enlargement: the still
// (flattened over the background when there is one), or the animation's frame `frame` as it is
// enlarged. width * height * 4 bytes.
std::vector<std::uint8_t> sourceRgba(const Opened& opened, std::size_t frame = 0);

} // namespace tessera::enlarge
