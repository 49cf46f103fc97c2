#include "command_line.h"

#include <charconv>
#include <cstdint>
#include <getopt.h>
#include <limits>
#include <utility>

namespace tessera::tool {
namespace {

enum LongOnly : int { BackgroundOption = 256, VersionOption, WrapOption, GridOption };

constexpr const char* shortOptions = ":f:j:o:qh";
constexpr option longOptions[] = {
    {"factor", required_argument, nullptr, 'f'},
    {"jobs", required_argument, nullptr, 'j'},
    {"output", required_argument, nullptr, 'o'},
    {"background", required_argument, nullptr, BackgroundOption},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, VersionOption},
    {"wrap", no_argument, nullptr, WrapOption},
    {"grid", required_argument, nullptr, GridOption},
    {nullptr, 0, nullptr, 0},
};

std::optional<int> parseWholeNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

// "WxH" or "N" (N x N), each a whole number from 1.
std::optional<std::pair<int, int>> parseCellSize(std::string_view text) {
    const std::size_t by = text.find('x');
    const auto width = parseWholeNumber(text.substr(0, by), 1, std::numeric_limits<std::int32_t>::max());
    const auto height =
        by == std::string_view::npos
            ? width
            : parseWholeNumber(text.substr(by + 1), 1, std::numeric_limits<std::int32_t>::max());
    if (!width || !height)
        return std::nullopt;
    return std::pair{*width, *height};
}

// The option as the user typed it (without any "=value"), for messages.
std::string typedOption(const std::vector<char*>& argv) {
    const int index = optind - 1;
    if (index <= 0 || index >= static_cast<int>(argv.size()) || argv[index] == nullptr)
        return "";
    const std::string_view typed = argv[index];
    return std::string{typed.substr(0, typed.find('='))};
}

// getopt returns '?' both for an unknown option and for a value given to a long option that
// takes none; only the option it last looked at (optopt) and argv tell them apart.
std::string describeRejectedOption(const std::vector<char*>& argv) {
    const std::string typed = typedOption(argv);
    if (typed.starts_with("--")) {
        const std::string_view name = std::string_view{typed}.substr(2);
        for (const option& known : longOptions)
            if (known.name != nullptr && optopt != 0 && known.val == optopt &&
                std::string_view{known.name}.starts_with(name))
                return "option '--" + std::string{known.name} + "' takes no value";
        if (optopt == 0)
            return "unknown option '" + typed + "'";
    }
    if (optopt > 0 && optopt < BackgroundOption)
        return "unknown option '-" + std::string(1, static_cast<char>(optopt)) + "'";
    return "unknown option '" + typed + "'";
}

Failure usageError(std::string message) {
    return {Step::ParseCommandLine, std::move(message)};
}

} // namespace

Result<CommandLine> parseCommandLine(std::span<const char* const> args) {
    // getopt_long permutes its argv so that options may follow the inputs; give it a copy.
    std::vector<std::string> storage(args.begin(), args.end());
    if (storage.empty())
        storage.emplace_back("tessera-scale");
    std::vector<char*> argv;
    for (std::string& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    CommandLine line;
    optind = 0; // 0, not 1: glibc then also forgets the state of a previous parse
    opterr = 0;
    for (;;) {
        const int option = getopt_long(argc, argv.data(), shortOptions, longOptions, nullptr);
        if (option == -1)
            break;
        const std::string value = optarg != nullptr ? optarg : "";
        switch (option) {
        case 'f':
            if (const auto factor = parseWholeNumber(value, pixels::minFactor, pixels::maxFactor))
                line.factor = *factor;
            else
                return usageError("invalid factor '" + value + "': expected " + pixels::factorList());
            break;
        case 'j':
            if (const auto jobs = parseWholeNumber(value, 1, pixels::maxJobs))
                line.jobs = *jobs;
            else
                return usageError("invalid number of jobs '" + value +
                                  "': expected a whole number from 1 to " + std::to_string(pixels::maxJobs));
            break;
        case 'o':
            if (value.empty())
                return usageError("the output path is empty");
            line.output = value;
            break;
        case BackgroundOption:
            if (const auto colour = pixels::parseColour(value))
                line.background = *colour;
            else
                return usageError("invalid background '" + value + "': expected #RRGGBB, e.g. '#FF00FF'");
            break;
        case WrapOption:
            line.edges.edges = EdgeMode::Wrap;
            break;
        case GridOption:
            if (const auto cell = parseCellSize(value)) {
                line.edges.cellWidth = cell->first;
                line.edges.cellHeight = cell->second;
            } else {
                return usageError(
                    "invalid grid '" + value +
                    "': expected the cell size as WIDTHxHEIGHT or N, whole numbers from 1, e.g. "
                    "16x24 or 32");
            }
            break;
        case 'q':
            line.quiet = true;
            break;
        case 'h':
            line.showHelp = true;
            break;
        case VersionOption:
            line.showVersion = true;
            break;
        case ':':
            return usageError("option '" + typedOption(argv) + "' needs a value");
        default:
            return usageError(describeRejectedOption(argv));
        }
    }
    for (int index = optind; index < argc; ++index)
        line.inputs.emplace_back(argv[static_cast<std::size_t>(index)]);
    if (line.inputs.empty() && !line.showHelp && !line.showVersion)
        return usageError("no input files");
    if (line.output == standardOutputName && line.inputs.size() > 1)
        return usageError("'-o -' writes one image to standard output: give one input");
    return line;
}

std::string helpText() {
    return std::string{"Usage: tessera-scale [OPTION]... INPUT...\n"
                       "Enlarge pixel-art images with the edge-directed scaler and write them as PNG.\n"
                       "\n"} +
           "  -f, --factor N         enlargement factor, " + std::to_string(pixels::minFactor) + " to " +
           std::to_string(pixels::maxFactor) + " (default " + std::to_string(pixels::defaultFactor) +
           ")\n"
           "  -j, --jobs N           threads to use (default: one per hardware thread)\n"
           "  -o, --output PATH      one input: the output file (default: INPUT's name with\n"
           "                         @Nx before the extension, beside it, e.g. hero@4x.png);\n"
           "                         several inputs: a directory, created if missing;\n"
           "                         '-o -' writes one input's PNG to standard output\n"
           "      --background COLOUR  flatten transparency onto this colour, as #RRGGBB,\n"
           "                         and write an opaque PNG\n"
           "      --wrap             treat the image as a tile that repeats: pixels at a border\n"
           "                         are judged against those at the opposite border, so the\n"
           "                         enlargement still tiles without seams\n"
           "      --grid WxH, --grid N\n"
           "                         treat the image as a sheet of cells W x H (or N x N)\n"
           "                         pixels from the top-left, and enlarge each cell as an image\n"
           "                         of its own; with --wrap, each cell as a tile\n"
           "  -q, --quiet            no notes or progress, only errors\n"
           "  -h, --help             show this help and exit\n"
           "      --version          show the version and exit\n"
           "\n"
           "Reads PNG, BMP, TGA, JPEG, GIF and WebP. An image with transparency is\n"
           "enlarged with its alpha and written as a PNG with alpha; an opaque image is\n"
           "written opaque. An animated GIF, PNG or WebP is enlarged frame by frame and\n"
           "written as an animated PNG with its delays and loop count; a damaged animation\n"
           "is refused whole. An output named *.webp is written as a lossless WebP,\n"
           "animated for an animation.\n"
           "Exit status: 0 if every input was enlarged, 1 if some failed, 2 for a usage error.\n";
}

} // namespace tessera::tool
