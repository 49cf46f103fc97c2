// The tessera Python module: argument checking, conversion between Python objects and pixel
// buffers, and the hand-over to the scaler with the interpreter lock released.
//
// Every wrong argument becomes a TypeError (wrong kind of object) or a ValueError (right kind,
// wrong value) before any pixel is touched. Inputs are only read; every result is a new array.
#include "image_scaling.h"
#include "limits_and_defaults.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <limits>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <string>
#include <tessera/scaler.h>
#include <tuple>
#include <utility>
#include <variant>

namespace py = pybind11;
using namespace py::literals;

namespace {

using tessera::python::ImageBytes;
using tessera::python::ScaleRequest;

std::string typeName(py::handle value) {
    return py::str(py::type::handle_of(value).attr("__name__"));
}

std::string reprText(py::handle value) {
    return py::repr(value);
}

// Any Python or numpy integer. Values beyond long long come back as its extremes, which every
// range checked here refuses as well.
long long integerArgument(py::handle value, const std::string& name) {
    if (!PyIndex_Check(value.ptr()))
        throw py::type_error(name + " must be an integer, got " + typeName(value));
    const auto number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number)
        throw py::error_already_set();
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0)
        return overflow > 0 ? LLONG_MAX : LLONG_MIN;
    return result;
}

std::int32_t factorArgument(py::handle value) {
    const long long factor = integerArgument(value, "factor");
    if (factor < tessera::pixels::minFactor || factor > tessera::pixels::maxFactor)
        throw py::value_error("factor must be " + tessera::pixels::factorList() + ", got " + reprText(value));
    return static_cast<std::int32_t>(factor);
}

int jobsArgument(py::handle value) {
    const long long jobs = integerArgument(value, "jobs");
    if (jobs < 1 || jobs > tessera::pixels::maxJobs)
        throw py::value_error("jobs must be from 1 to " + std::to_string(tessera::pixels::maxJobs) +
                              ", got " + reprText(value));
    return static_cast<int>(jobs);
}

ScaleSettings settingsArgument(py::handle value) {
    if (value.is_none())
        return {};
    if (!py::isinstance<ScaleSettings>(value))
        throw py::type_error("settings must be a tessera.ScaleSettings, got " + typeName(value));
    return value.cast<ScaleSettings>();
}

bool wrapArgument(py::handle value) {
    if (!py::isinstance<py::bool_>(value))
        throw py::type_error("wrap must be True or False, got " + typeName(value));
    return value.cast<bool>();
}

// The cell size of grid: None (the image is one cell), N for N x N, or (width, height).
std::pair<std::int32_t, std::int32_t> gridArgument(py::handle value) {
    const std::string expected = "grid must be None, a cell size N or (width, height), whole numbers from 1";
    if (value.is_none())
        return {0, 0};
    const auto side = [&](py::handle number) {
        const long long size = integerArgument(number, "each grid size");
        if (size < 1 || size > std::numeric_limits<std::int32_t>::max())
            throw py::value_error(expected + ", got " + reprText(value));
        return static_cast<std::int32_t>(size);
    };
    if (PyIndex_Check(value.ptr())) {
        const std::int32_t size = side(value);
        return {size, size};
    }
    if (!PySequence_Check(value.ptr()) || py::isinstance<py::str>(value))
        throw py::type_error(expected + ", got " + typeName(value));
    const auto sizes = py::reinterpret_borrow<py::sequence>(value);
    if (sizes.size() != 2)
        throw py::value_error(expected + ", got " + std::to_string(sizes.size()) + " values");
    return {side(sizes[0]), side(sizes[1])};
}

std::optional<tessera::pixels::Rgb> backgroundArgument(py::handle value) {
    const std::string expected =
        "background must be \"#RRGGBB\" or (red, green, blue) with each from 0 to 255";
    if (value.is_none())
        return std::nullopt;
    if (py::isinstance<py::str>(value)) {
        Py_ssize_t length = 0;
        const char* text = PyUnicode_AsUTF8AndSize(value.ptr(), &length);
        if (text == nullptr)
            throw py::error_already_set(); // text that UTF-8 cannot hold, a UnicodeEncodeError
        if (auto colour = tessera::pixels::parseColour({text, static_cast<std::size_t>(length)}))
            return colour;
        throw py::value_error(expected + ", got " + reprText(value));
    }
    if (!PySequence_Check(value.ptr()))
        throw py::type_error(expected + ", got " + typeName(value));
    const auto channels = py::reinterpret_borrow<py::sequence>(value);
    if (channels.size() != 3)
        throw py::value_error(expected + ", got " + std::to_string(channels.size()) + " values");
    std::uint8_t bytes[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        const long long channel = integerArgument(channels[i], "each background channel");
        if (channel < 0 || channel > 255)
            throw py::value_error(expected + ", got " + reprText(value));
        bytes[i] = static_cast<std::uint8_t>(channel);
    }
    return tessera::pixels::Rgb{bytes[0], bytes[1], bytes[2]};
}

py::module_ numpy() {
    return py::module_::import("numpy");
}

// The colour an RGB or L image marks as transparent, from Pillow's "transparency" info (which
// its PNG reader takes from the tRNS chunk): an L image gives a grey level, an RGB one (red,
// green, blue). None when the image has no such info.
std::optional<std::array<std::uint8_t, 3>> colourKey(py::handle image, const std::string& mode) {
    const py::dict info = image.attr("info");
    if (!info.contains("transparency") || info["transparency"].is_none())
        return std::nullopt;
    const py::object key = info["transparency"];
    const std::string expected = "the \"transparency\" of a PIL image of mode \"" + mode + "\" must be " +
                                 (mode == "L" ? "a grey level" : "(red, green, blue)") +
                                 " from 0 to 255, as an 8-bit PNG's colour key is, got " + reprText(key);
    const auto level = [&](py::handle value) {
        if (!PyIndex_Check(value.ptr()))
            throw py::value_error(expected);
        const long long number = integerArgument(value, "transparency");
        if (number < 0 || number > 255)
            throw py::value_error(expected);
        return static_cast<std::uint8_t>(number);
    };
    if (mode == "L") {
        const std::uint8_t grey = level(key);
        return std::array{grey, grey, grey};
    }
    if (!PySequence_Check(key.ptr()) || py::isinstance<py::str>(key) || py::isinstance<py::bytes>(key) ||
        py::len(key) != 3)
        throw py::value_error(expected);
    const auto channels = py::reinterpret_borrow<py::sequence>(key);
    return std::array{level(channels[0]), level(channels[1]), level(channels[2])};
}

// RGB pixels with alpha 0 where they hold the colour key and 255 elsewhere, as the command's
// decoder reads an image with a colour key.
py::array_t<std::uint8_t> keyedToRgba(const py::array& rgb, const std::array<std::uint8_t, 3>& key) {
    const auto pixels =
        numpy().attr("ascontiguousarray")(rgb, "dtype"_a = "uint8").cast<py::array_t<std::uint8_t>>();
    const py::ssize_t height = pixels.shape(0);
    const py::ssize_t width = pixels.shape(1);
    py::array_t<std::uint8_t> rgba({height, width, py::ssize_t{4}});
    const std::uint8_t* from = pixels.data();
    std::uint8_t* to = rgba.mutable_data();
    for (py::ssize_t i = 0; i < height * width; ++i, from += 3, to += 4) {
        std::copy(from, from + 3, to);
        to[3] = std::equal(from, from + 3, key.begin()) ? 0 : 255;
    }
    return rgba;
}

// A PIL image is taken as the pixels the command's decoder would give for the file it came from:
// modes that can carry transparency become RGBA, the others RGB. A colour key of an RGB or L
// image makes the pixels of that colour transparent; a palette image is transparent through a
// transparent index or alphas for its entries (tRNS of a PNG, or a GIF's transparent index), or
// a palette of RGBA entries, which Pillow's own conversion applies.
py::object pillowPixels(py::handle image) {
    const std::string mode = py::str(image.attr("mode"));
    if (mode == "RGB" || mode == "L") {
        const std::optional<std::array<std::uint8_t, 3>> key = colourKey(image, mode);
        const py::object rgb =
            mode == "RGB" ? py::reinterpret_borrow<py::object>(image) : image.attr("convert")("RGB");
        if (!key)
            return rgb;
        return keyedToRgba(numpy().attr("asarray")(rgb), *key);
    }
    if (mode == "RGBA")
        return py::reinterpret_borrow<py::object>(image);
    if (mode == "LA")
        return image.attr("convert")("RGBA");
    if (mode == "P") {
        const py::object palette = image.attr("palette");
        const bool transparent = py::bool_(image.attr("info").attr("__contains__")("transparency")) ||
                                 (!palette.is_none() && std::string(py::str(palette.attr("mode"))) == "RGBA");
        return image.attr("convert")(transparent ? "RGBA" : "RGB");
    }
    throw py::value_error("a PIL image of mode \"" + mode +
                          "\" cannot be enlarged: modes L, LA, P, RGB and RGBA can; convert it to \"RGB\" or "
                          "\"RGBA\" first");
}

bool isPillowImage(py::handle value) {
    const py::dict modules = py::module_::import("sys").attr("modules");
    if (!modules.contains("PIL.Image"))
        return false; // Pillow was never imported, so this cannot be one of its images
    return py::isinstance(value, modules["PIL.Image"].attr("Image"));
}

// The image as an array without copying, its element type and shape still unchecked.
py::array imageArray(py::handle image) {
    if (py::isinstance<py::array>(image))
        return py::reinterpret_borrow<py::array>(image);
    if (isPillowImage(image))
        return numpy().attr("asarray")(pillowPixels(image));
    if (py::hasattr(image, "__array_interface__") || py::hasattr(image, "__array__"))
        return numpy().attr("asarray")(image);
    throw py::type_error(
        "image must be a uint8 numpy array of shape (height, width, 3) or (height, width, 4), "
        "or a PIL image, got " +
        typeName(image));
}

std::string shapeText(const py::array& array) {
    return py::str(py::tuple(array.attr("shape")));
}

void checkElementType(const py::array& array, const std::string& name, char kind, py::ssize_t size,
                      const std::string& expected) {
    if (array.dtype().kind() != kind || array.dtype().itemsize() != size)
        throw py::type_error(name + " must be a " + expected + " array, got a " +
                             std::string(py::str(array.dtype())) + " array");
}

void checkTargetSize(py::ssize_t width, py::ssize_t height, std::int32_t factor) {
    if (const auto refusal = tessera::pixels::targetSizeRefusal(static_cast<std::uint64_t>(width),
                                                                static_cast<std::uint64_t>(height), factor))
        throw py::value_error(*refusal);
}

// C-ordered and packed, copying only when the array is not already so.
template <typename Element>
py::array_t<Element> packed(const py::array& array) {
    return numpy().attr("ascontiguousarray")(array, "dtype"_a = py::dtype::of<Element>());
}

// The image as a uint8 array of RGB or RGBA pixels, its kind and shape checked.
py::array checkedImage(py::handle image, const std::string& name) {
    const py::array array = imageArray(image);
    checkElementType(array, name, 'u', 1, "uint8");
    if (array.ndim() != 3 || (array.shape(2) != 3 && array.shape(2) != 4))
        throw py::value_error(name +
                              " must have shape (height, width, 3) for RGB or (height, width, 4) for RGBA, "
                              "got " +
                              shapeText(array));
    return array;
}

ScaleRequest scaleRequest(const py::object& factor, const py::object& background, const py::object& jobs,
                          const py::object& settings) {
    ScaleRequest request;
    request.factor = factorArgument(factor);
    request.background = backgroundArgument(background);
    request.jobs = jobsArgument(jobs);
    request.settings = settingsArgument(settings);
    return request;
}

// Enlarges a checked image array; the caller has checked its size for the factor.
py::array_t<std::uint8_t> enlargeArray(const py::array& array, const ScaleRequest& request) {
    const py::array_t<std::uint8_t> source = packed<std::uint8_t>(array);
    const ImageBytes pixels{source.data(), static_cast<std::int32_t>(array.shape(1)),
                            static_cast<std::int32_t>(array.shape(0)), static_cast<int>(array.shape(2))};
    const py::ssize_t width = py::ssize_t{pixels.width} * request.factor;
    const py::ssize_t height = py::ssize_t{pixels.height} * request.factor;
    // Four bytes a pixel, whatever comes out: the target words are enlarged here in place.
    py::array_t<std::uint8_t> result({height, width, py::ssize_t{4}});
    std::uint8_t* output = result.mutable_data();
    {
        const py::gil_scoped_release unlocked;
        tessera::python::scaleImage(pixels, request, output);
    }
    const int channels = tessera::python::outputChannels(pixels.channels, request);
    if (channels != 4)
        result.resize({height, width, py::ssize_t{channels}}, false);
    return result;
}

py::array_t<std::uint8_t> upscaleImage(const py::object& image, const py::object& factor,
                                       const py::object& background, const py::object& jobs,
                                       const py::object& settings, const py::object& wrap,
                                       const py::object& grid) {
    const py::array array = checkedImage(image, "image");
    ScaleRequest request = scaleRequest(factor, background, jobs, settings);
    request.edges.edges = wrapArgument(wrap) ? EdgeMode::Wrap : EdgeMode::Clamp;
    std::tie(request.edges.cellWidth, request.edges.cellHeight) = gridArgument(grid);
    checkTargetSize(array.shape(1), array.shape(0), request.factor);
    return enlargeArray(array, request);
}

bool anyTranslucent(const py::array& array) {
    if (array.shape(2) != 4)
        return false;
    const py::object alpha = array[py::make_tuple(py::ellipsis(), 3)];
    return py::bool_(alpha.attr("min")().attr("__lt__")(255));
}

// Every frame enlarged as tessera-scale enlarges an animation: alpha-aware, RGBA out, when some
// frame has a pixel with alpha below 255 and there is no background; else opaque, RGB out.
py::list upscaleFrames(const py::iterable& frames, const py::object& factor, const py::object& background,
                       const py::object& jobs, const py::object& settings, const py::object& wrap,
                       const py::object& grid) {
    ScaleRequest request = scaleRequest(factor, background, jobs, settings);
    request.edges.edges = wrapArgument(wrap) ? EdgeMode::Wrap : EdgeMode::Clamp;
    std::tie(request.edges.cellWidth, request.edges.cellHeight) = gridArgument(grid);
    std::vector<py::array> arrays;
    std::vector<bool> fromPillow;
    for (const py::handle frame : frames) {
        const std::string name = "frame " + std::to_string(arrays.size());
        arrays.push_back(checkedImage(frame, name));
        fromPillow.push_back(isPillowImage(frame));
        const py::array& first = arrays.front();
        if (arrays.back().shape(0) != first.shape(0) || arrays.back().shape(1) != first.shape(1))
            throw py::value_error(name + " has the shape " + shapeText(arrays.back()) +
                                  ", and every frame must have the size of frame 0, " + shapeText(first));
    }
    if (arrays.empty())
        throw py::value_error("frames must hold at least one image");
    checkTargetSize(arrays.front().shape(1), arrays.front().shape(0), request.factor);
    request.keepAlpha =
        tessera::pixels::chooseColourMode(std::any_of(arrays.begin(), arrays.end(), anyTranslucent),
                                          request.background.has_value()) == ColourMode::WithAlpha;
    py::list enlarged;
    for (std::size_t i = 0; i < arrays.size(); ++i) {
        py::array frame = arrays[i];
        // Every pixel of an opaque sequence's RGBA frame is opaque: its colours are enlarged.
        if (!request.keepAlpha && !request.background && frame.shape(2) == 4)
            frame = frame[py::make_tuple(py::ellipsis(), py::slice(0, 3, 1))];
        py::object result = enlargeArray(frame, request);
        if (fromPillow[i])
            result = py::module_::import("PIL.Image").attr("fromarray")(result);
        enlarged.append(result);
    }
    return enlarged;
}

py::array_t<std::uint32_t> upscaleWords(const py::object& words, const py::object& factorValue, bool alpha,
                                        const py::object& rowEnd, const py::object& settingsValue) {
    if (!py::isinstance<py::array>(words))
        throw py::type_error("words must be a uint32 numpy array of shape (height, width), got " +
                             typeName(words));
    const auto array = py::reinterpret_borrow<py::array>(words);
    checkElementType(array, "words", 'u', 4, "uint32");
    if (array.ndim() != 2)
        throw py::value_error("words must have shape (height, width), got " + shapeText(array));
    const std::int32_t factor = factorArgument(factorValue);
    const ScaleSettings settings = settingsArgument(settingsValue);
    checkTargetSize(array.shape(1), array.shape(0), factor);
    const auto width = static_cast<std::int32_t>(array.shape(1));
    const auto height = static_cast<std::int32_t>(array.shape(0));
    std::int32_t rows = height;
    if (!rowEnd.is_none())
        rows =
            static_cast<std::int32_t>(std::clamp<long long>(integerArgument(rowEnd, "row_end"), 0, height));

    const py::array_t<std::uint32_t> source = packed<std::uint32_t>(array);
    py::array_t<std::uint32_t> result({py::ssize_t{rows} * factor, py::ssize_t{width} * factor});
    const Pixel* sourceWords = source.data();
    Pixel* target = result.mutable_data();
    {
        const py::gil_scoped_release unlocked;
        (alpha ? upscaleWithAlpha : upscale)(factor, sourceWords, target, width, height, settings, rows);
    }
    return result;
}

// The largest value of a setting. Every value the scaler's rules can use lies from 0 up: a
// weight, a tolerance or a ratio below 0 means nothing (a negative weight or ratio acts as its
// size or as 0). Up to this bound every distance, sum and product the rules form stays finite, so
// no comparison meets an infinity or a NaN.
constexpr double maxSetting = 1e100;

double settingValue(double value, const char* field) {
    if (!(value >= 0.0 && value <= maxSetting))
        throw py::value_error(std::string(field) + " must be a finite number from 0 to 1e100, got " +
                              reprText(py::float_(value)));
    return value;
}

template <double ScaleSettings::*field>
auto settingGetter() {
    return [](const ScaleSettings& settings) {
        return settings.*field;
    };
}

template <double ScaleSettings::*field>
auto settingSetter(const char* name) {
    return [name](ScaleSettings& settings, double value) {
        settings.*field = settingValue(value, name);
    };
}

std::string settingsRepr(const ScaleSettings& settings) {
    return py::str("ScaleSettings(luma_weight={!r}, same_colour_tolerance={!r}, dominant_ratio={!r}, "
                   "steep_ratio={!r})")
        .format(settings.lumaWeight, settings.sameColourTolerance, settings.dominantRatio,
                settings.steepRatio);
}

std::string moduleDoc() {
    return "Edge-directed pixel-art enlargement by " + tessera::pixels::factorList() + ".\n\n" +
           R"(upscale enlarges a sprite or sprite sheet, given as a numpy uint8 array of RGB or RGBA
pixels or as a PIL image, exactly as the tessera-scale command and the Tessera editor do:
diagonals and curves come out as smooth lines and hard pixel edges stay hard.
upscale_frames enlarges the frames of an animation as the command does, in one mode
for them all. upscale_words is the scaler's raw entry on 32-bit 0xAARRGGBB words.
ScaleSettings holds the tuning values all three accept.

    >>> import numpy, tessera
    >>> sprite = numpy.zeros((16, 16, 4), dtype=numpy.uint8)
    >>> tessera.upscale(sprite, 3).shape
    (48, 48, 4)
)";
}

std::string upscaleDoc() {
    return "upscale(image, factor=" + std::to_string(tessera::pixels::defaultFactor) +
           ", *, background=None, jobs=1, settings=None, wrap=False, grid=None)\n--\n\n" +
           "Enlarge an image by factor (" + tessera::pixels::factorList() +
           ") and return it as a new uint8 array.\n" + R"(
image is a numpy uint8 array of shape (height, width, 3) (RGB) or (height, width, 4)
(straight, not premultiplied, RGBA), or anything numpy can view as one. A PIL image is
read as tessera-scale reads the file it came from: modes L, RGB and P to RGB, and to RGBA
modes LA and RGBA, P with a transparent index, entry alphas or an RGBA palette, and L or
RGB with a colour key (info["transparency"], a PNG's tRNS: the pixels of that colour get
alpha 0, every other pixel alpha 255). Any memory layout works; the input is never
modified.

The result has shape (height * factor, width * factor, channels):
  - RGB input gives the opaque enlargement, the pixels tessera-scale writes for an
    opaque image.
  - RGBA input gives the alpha-aware enlargement as RGBA: the outline of a transparent
    sprite is smoothed like its colours, and no colour of a fully transparent pixel
    reaches the result.
  - RGBA input with background=(red, green, blue) or "#RRGGBB" is first flattened over
    that colour, as tessera-scale --background does, and gives the opaque enlargement
    as RGB. For RGB input the background changes nothing.

wrap=True treats the image as a tile that repeats: pixels at a border are judged
against those at the opposite border, so the enlargement still tiles without seams.
grid=N or grid=(width, height) treats the image as a sheet of cells of that size from
the top-left and enlarges each cell as an image of its own (with wrap, each as a tile),
as tessera-scale --wrap and --grid do.

jobs > 1 enlarges bands of a large image on that many threads (up to 256); the result
is the same bit for bit. settings takes a ScaleSettings; the default is what the
editor and tessera-scale use. The interpreter lock is released while the image is
enlarged, so other Python threads keep running.

Raises TypeError for an argument of the wrong type (an array of another dtype, for
example) and ValueError for a wrong value: a shape other than the two above, a factor
outside 2..5, a bad background, jobs or grid, a PIL image's colour key that is not 8-bit,
an empty image, or an enlargement of more than 2**28 pixels (16384 x 16384), the limit of
tessera-scale.
)";
}

std::string upscaleFramesDoc() {
    return "upscale_frames(frames, factor=" + std::to_string(tessera::pixels::defaultFactor) +
           ", *, background=None, jobs=1, settings=None, wrap=False, grid=None)\n--\n\n" +
           R"(Enlarge the frames of an animation by factor and return them as a new list.

frames is a sequence of images of one size, each of the kinds upscale takes: numpy
arrays or PIL images (a frame that is a PIL image comes back as one, an array as an
array). The frames are enlarged as tessera-scale enlarges an animation, in one mode
for them all: when no background is given and some frame has a pixel with alpha below
255, every frame is enlarged alpha-aware and comes back RGBA; otherwise every frame is
enlarged opaque (flattened over the background first, if one is given) and comes back
RGB. Each frame is the one upscale gives for it in that mode, with the same wrap and
grid for every frame, as tessera-scale --wrap and --grid do. Durations and looping
are Pillow's to keep:

    >>> from PIL import Image, ImageSequence
    >>> with Image.open("walk.gif") as gif:
    ...     frames = [frame.copy() for frame in ImageSequence.Iterator(gif)]
    >>> big = tessera.upscale_frames(frames, 4)
    >>> big[0].save("walk@4x.png", save_all=True, append_images=big[1:],
    ...             duration=[frame.info["duration"] for frame in frames], loop=0)

Raises what upscale raises for each frame (naming it as "frame N"), and ValueError for
no frames or frames of different sizes.
)";
}

std::string upscaleWordsDoc() {
    return "upscale_words(words, factor=" + std::to_string(tessera::pixels::defaultFactor) +
           ", *, alpha=False, row_end=None, settings=None)\n--\n\n" +
           R"(Enlarge 32-bit pixel words with the scaler's raw entry and return the target words.

words is a numpy uint32 array of shape (height, width) holding 0xAARRGGBB words (blue
in the low byte). The result, a new uint32 array of shape (rows * factor,
width * factor), holds the words exactly as the library's C++ entries leave them:
  - alpha=False: the opaque entry. Pixels blended along an edge carry alpha 0, so treat
    the result as opaque.
  - alpha=True: the alpha-aware entry for straight RGBA words.
row_end enlarges only the source rows before it (rows = min(row_end, height), none when
row_end <= 0); the rows below are still read as neighbours, so those rows come out as
in a whole-image call. The interpreter lock is released while the words are enlarged.

Raises TypeError for words of another dtype or a non-array, ValueError for another
shape, a factor outside 2..5, an empty image or an enlargement of more than 2**28 pixels.
)";
}

std::string settingsInitDoc() {
    const ScaleSettings defaults;
    return py::
        str("__init__(self, luma_weight={!r}, same_colour_tolerance={!r}, dominant_ratio={!r}, "
            "steep_ratio={!r})\n--\n\nThe four tuning values; each one left out keeps its default. Each must "
            "be a finite number from 0 to 1e100, or ValueError names it.\n")
            .format(defaults.lumaWeight, defaults.sameColourTolerance, defaults.dominantRatio,
                    defaults.steepRatio);
}

const char* const settingsDoc = R"(The scaler's four tuning values. The defaults are the ones the editor and
tessera-scale use; other values give other enlargements. Each value is a finite number
from 0 to 1e100: below 0 none of them means anything, and within the bound no distance or
product the scaler forms leaves the finite numbers. Any other value, given to the constructor
or set on an attribute, raises ValueError naming the field.
)";

} // namespace

PYBIND11_MODULE(tessera, module) {
    // The docstrings open with their own signatures, which help() and inspect read.
    py::options options;
    options.disable_function_signatures();

    module.doc() = moduleDoc();
    module.attr("__version__") = TESSERA_VERSION;

    const ScaleSettings defaults;
    py::class_<ScaleSettings>(module, "ScaleSettings", settingsDoc)
        .def(py::init(
                 [](double lumaWeight, double sameColourTolerance, double dominantRatio, double steepRatio) {
                     return ScaleSettings{settingValue(lumaWeight, "luma_weight"),
                                          settingValue(sameColourTolerance, "same_colour_tolerance"),
                                          settingValue(dominantRatio, "dominant_ratio"),
                                          settingValue(steepRatio, "steep_ratio")};
                 }),
             settingsInitDoc().c_str(), "luma_weight"_a = defaults.lumaWeight,
             "same_colour_tolerance"_a = defaults.sameColourTolerance,
             "dominant_ratio"_a = defaults.dominantRatio, "steep_ratio"_a = defaults.steepRatio)
        .def_property("luma_weight", settingGetter<&ScaleSettings::lumaWeight>(),
                      settingSetter<&ScaleSettings::lumaWeight>("luma_weight"),
                      "Multiplier of the brightness difference in every colour distance.")
        .def_property("same_colour_tolerance", settingGetter<&ScaleSettings::sameColourTolerance>(),
                      settingSetter<&ScaleSettings::sameColourTolerance>("same_colour_tolerance"),
                      "Colour distances below this count as the same colour.")
        .def_property("dominant_ratio", settingGetter<&ScaleSettings::dominantRatio>(),
                      settingSetter<&ScaleSettings::dominantRatio>("dominant_ratio"),
                      "How much one diagonal must dominate for a strong corner.")
        .def_property("steep_ratio", settingGetter<&ScaleSettings::steepRatio>(),
                      settingSetter<&ScaleSettings::steepRatio>("steep_ratio"),
                      "How much one edge distance must dominate for a sloped line.")
        .def("__repr__", &settingsRepr)
        .def("__eq__", [](const ScaleSettings& a, py::handle b) -> py::object {
            if (!py::isinstance<ScaleSettings>(b))
                return py::reinterpret_borrow<py::object>(Py_NotImplemented);
            const auto& other = b.cast<const ScaleSettings&>();
            return py::bool_(a.lumaWeight == other.lumaWeight &&
                             a.sameColourTolerance == other.sameColourTolerance &&
                             a.dominantRatio == other.dominantRatio && a.steepRatio == other.steepRatio);
        });

    module.def("upscale", &upscaleImage, upscaleDoc().c_str(), "image"_a,
               "factor"_a = tessera::pixels::defaultFactor, py::kw_only(), "background"_a = py::none(),
               "jobs"_a = 1, "settings"_a = py::none(), "wrap"_a = false, "grid"_a = py::none());
    module.def("upscale_frames", &upscaleFrames, upscaleFramesDoc().c_str(), "frames"_a,
               "factor"_a = tessera::pixels::defaultFactor, py::kw_only(), "background"_a = py::none(),
               "jobs"_a = 1, "settings"_a = py::none(), "wrap"_a = false, "grid"_a = py::none());
    module.def("upscale_words", &upscaleWords, upscaleWordsDoc().c_str(), "words"_a,
               "factor"_a = tessera::pixels::defaultFactor, py::kw_only(), "alpha"_a = false,
               "row_end"_a = py::none(), "settings"_a = py::none());
}
