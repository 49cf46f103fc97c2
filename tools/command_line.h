// The command line of tessera-scale, parsed into a plain record before any file is touched.
//
//   tessera-scale [-f|--factor N] [-j|--jobs N] [-o|--output PATH] [--background #RRGGBB]
//                 [--wrap] [--grid WxH|N] [-q|--quiet] INPUT...     plus -h/--help and --version
//
// parseCommandLine either returns the options or a ParseCommandLine failure whose reason is a
// one-line usage error (the caller exits with status 2). Numbers are checked strictly: the whole argument
// must be a decimal number in range. It uses getopt_long, whose cursor lives in libc, so it is not reentrant:
// call it from one thread at a time.
#pragma once

#include "failure.h"
#include "limits_and_defaults.h"
#include "pixel_conversion.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessera::tool {

// The output name that stands for standard output: -o -.
inline constexpr std::string_view standardOutputName = "-";

struct CommandLine {
    int factor = pixels::defaultFactor;
    std::optional<int> jobs;               // unset: one per hardware thread
    std::optional<std::string> output;     // one input: the file or "-"; several: the directory
    std::optional<pixels::Rgb> background; // set: translucent pixels are composited over it
    ScaleOptions edges;                    // --wrap, and --grid's cell size (edges and cells only)
    bool quiet = false;
    bool showHelp = false;
    bool showVersion = false;
    std::vector<std::string> inputs;
};

// args[0] is the program name, as in main's argv.
Result<CommandLine> parseCommandLine(std::span<const char* const> args);

std::string helpText();

} // namespace tessera::tool
