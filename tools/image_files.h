// The file side of tessera-scale: reading inputs and writing PNG outputs safely.
//
// Every function reports failure as a message (empty on success) that completes the sentence
// "cannot ... 'FILE': ", so the caller can name the file once.
#pragma once

#include "output_plan.h"

#include <SFML/Graphics/Image.hpp>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tessera::tool {

// Files larger than this are refused before reading: no image the tool can write comes from one.
inline constexpr std::uintmax_t maxInputBytes = std::uintmax_t{1} << 30;

struct FileBytes {
    std::vector<char> bytes;
    std::string error;
};

// Reads a whole regular file. Directories, devices and pipes are refused without reading.
FileBytes readWholeFile(const std::filesystem::path& path);

// Writes `image` as PNG to `output` without ever leaving a partial file there: the PNG goes
// to a unique hidden temporary file beside the output, is flushed to disk and read back
// and compared, and only then renamed over `output`. The temporary file is removed on any
// failure. `mode` is the new file's permission bits. SFML's encoder reports a failure on its
// process-wide error stream, which is no safer to write from two threads than any other stream,
// so the encoding happens under `encoderLock`, shared by every thread.
std::string writePngSafely(const sf::Image& image, const std::filesystem::path& output, mode_t mode,
                           std::mutex& encoderLock);

// The identity of a path on disk, for findConflicts.
PathIdentity identifyPath(const std::filesystem::path& path);

} // namespace tessera::tool
