// The command line of tessera-scale, parsed into a plain record before any file is touched.
//
//   tessera-scale [-f|--factor N] [-j|--jobs N] [-o|--output PATH] [--background #RRGGBB]
//                 [-q|--quiet] INPUT...     plus -h/--help and --version
//
// parseCommandLine either returns the options or a one-line usage error (the caller exits
// with status 2). Numbers are checked strictly: the whole argument must be a decimal number
// in range. It uses getopt_long, whose cursor lives in libc, so it is not reentrant: call it
// from one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tessera::tool {

inline constexpr int minFactor = 2;
inline constexpr int maxFactor = 5;
inline constexpr int defaultFactor = 4;
// More threads than this only cost memory: every file in flight holds its whole enlargement.
inline constexpr int maxJobs = 256;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct CommandLine {
    int factor = defaultFactor;
    std::optional<int> jobs;           // unset: one per hardware thread
    std::optional<std::string> output; // one input: the file; several: the directory
    Rgb background;                    // what transparent pixels are composited over
    bool quiet = false;
    bool showHelp = false;
    bool showVersion = false;
    std::vector<std::string> inputs;
};

struct UsageError {
    std::string message;
};

// args[0] is the program name, as in main's argv.
std::variant<CommandLine, UsageError> parseCommandLine(std::span<const char* const> args);

// Reads "#RRGGBB" or "RRGGBB" (the '#' starts a comment in most shells unless quoted).
std::optional<Rgb> parseColour(std::string_view text);

std::string formatColour(Rgb colour);

std::string helpText();

} // namespace tessera::tool
