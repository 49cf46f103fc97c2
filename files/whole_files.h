// The disk side of tessera-scale and the editor: whole files read, and outputs written safely.
#pragma once

#include "failure.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <sys/types.h>
#include <vector>

namespace tessera::files {

// Reads a whole regular file of at most pixels::maxInputBytes. Directories, devices and pipes are refused
// without reading.
Result<std::vector<char>> readWholeFile(const std::filesystem::path& path);

// Writes every one of `bytes` to an open descriptor, such as standard output, each write checked:
// a Write failure when one fails (a closed pipe's EPIPE, when SIGPIPE is ignored).
Result<> writeAll(std::span<const std::uint8_t> bytes, int descriptor);

// Writes `bytes` to `output` without ever leaving a partial file there: they go to a unique
// hidden temporary file beside the output (removed when a signal ends the process, see
// temporary_files.h), every write is checked, the file is flushed to disk and closed, and only
// then renamed over `output`. Any failure on the way (a full disk, an I/O error) is the Write
// failure returned, and the temporary file is removed. `mode` is the new file's permission bits.
Result<> writeFileSafely(std::span<const std::uint8_t> bytes, const std::filesystem::path& output,
                         mode_t mode);

// The permission bits of a new file as the process's umask gives them: 0666 without the masked
// bits. Call it before any thread starts, since the umask can only be read by setting it.
mode_t newFileMode();

} // namespace tessera::files
