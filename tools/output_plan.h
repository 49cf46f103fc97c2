// Where each input's enlargement goes, decided before any file is read or written.
//
// planOutputs names the outputs from the command line alone (plus whether -o names an
// existing directory, which the caller looks up). findConflicts then refuses outputs that
// would overwrite an input or an earlier input's output; it compares identities that the
// caller resolved on disk (canonical path, and device and inode for files that exist, so
// that symbolic and hard links are seen through).
#pragma once

#include "command_line.h"
#include "failure.h"
#include "image_file.h"
#include "path_identity.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessera::tool {

struct Job {
    std::filesystem::path input;
    std::filesystem::path output; // "-" when written to standard output
    bool standardOutput = false;  // -o -: the bytes go to standard output, not to a file
};

struct OutputPlan {
    std::vector<Job> jobs;                                // one per input, in command-line order
    std::optional<std::filesystem::path> outputDirectory; // to be created before writing
};

// "hero.bmp" at factor 4 gives "hero@4x.png": the output is PNG unless named otherwise.
std::filesystem::path defaultOutputName(const std::filesystem::path& input, int factor);

using codecs::OutputFormat;

// An output named with the extension ".webp", in any case, is written as WebP; any other as PNG.
OutputFormat outputFormat(const std::filesystem::path& output);

// One input: -o names the output file, unless it is an existing directory or ends in '/',
// when the output goes inside it, or is "-", standard output. Several inputs: -o names a
// directory. Without -o, every output goes beside its input.
OutputPlan planOutputs(const CommandLine& line, bool outputIsExistingDirectory);

using files::PathIdentity;

// For each job, whether it may be written: a Write failure saying why not when its output would
// overwrite an input or an earlier job's output, or is an existing file that is not a regular one
// (a directory, a device such as /dev/null, a pipe or a socket, symbolic links followed), which
// renaming the output over it would replace. `inputs` and `outputs` hold the identities of each
// job's input and output, in job order (a job to standard output has no output identity to
// check). An output that coincides with an earlier job's output is refused for the later job only.
std::vector<Result<>> findConflicts(const std::vector<Job>& jobs, const std::vector<PathIdentity>& inputs,
                                    const std::vector<PathIdentity>& outputs);

} // namespace tessera::tool
