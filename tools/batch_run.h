// Runs the enlargement of a list of files on a pool of threads.
//
// One queue feeds every thread: whole files to load, and bands of source rows of files already
// loaded. Bands are served first, so the files in flight are finished before new ones are
// opened and at most one file per thread is held in memory. The bands of one image are
// enlarged into one shared target, which gives the same words as a single whole-image call, so
// the output does not depend on the number of threads. Loading, the pixels' conversion and the
// files' reading and writing are enlarge/'s and files/' business; this one only queues.
#pragma once

#include "command_line.h"
#include "output_plan.h"

#include <cstdio>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace tessera::tool {

struct BatchSettings {
    int factor = pixels::defaultFactor;
    int threads = 1;
    std::optional<pixels::Rgb> background; // set: transparency is flattened onto it
    ScaleOptions edges;                    // wrapped borders, cells of a sheet
    bool notes = true;                     // say when transparency was flattened
    bool progress = false;   // draw an updating progress line (the caller checks for a terminal)
    bool manyInputs = false; // progress counts files; otherwise it counts the bands of a large file
    mode_t fileMode = 0644;  // permission bits of the outputs
    std::FILE* messages = stderr;
};

// Enlarges every job and writes its output, reporting each failure on one line of
// settings.messages (no more once a write to it has failed). Returns how many jobs failed.
// Outputs are written with writeFileSafely, so removeTemporariesOnSignals should be in force, and
// a job to standard output with writeAll, so SIGPIPE should be ignored for a closed pipe to fail
// that job alone.
std::size_t runBatch(const std::vector<Job>& jobs, const BatchSettings& settings);

} // namespace tessera::tool
