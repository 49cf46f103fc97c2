// tessera-scale: enlarges pixel-art image files with the Tessera scaler and writes them as PNG.
//
// The command line is parsed and every output named and checked before any file is read;
// then the batch runs. Exit status: 0 when every input was enlarged, 1 when some failed,
// 2 for a usage error. A signal that ends the process removes the temporary file in writing
// first; a closed stdout or stderr ends nothing (SIGPIPE is ignored): messages stop, the outputs
// are still finished, and the exit status is the one the inputs earned.
#include "batch_run.h"
#include "command_line.h"
#include "output_plan.h"
#include "path_identity.h"
#include "shown_names.h"
#include "temporary_files.h"
#include "whole_files.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

using namespace tessera;
using namespace tessera::tool;

enum ExitStatus : int { Success = 0, SomeInputsFailed = 1, UsageFailure = 2 };

int defaultThreads() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

bool isExistingDirectory(const std::optional<std::string>& path) {
    std::error_code error;
    return path && std::filesystem::is_directory(*path, error);
}

void reportFailure(const std::string& line) {
    std::fprintf(stderr, "tessera-scale: %s\n", line.c_str());
}

int run(std::span<const char* const> args) {
    const Result<CommandLine> parsed = parseCommandLine(args);
    if (const Failure* usage = std::get_if<Failure>(&parsed)) {
        reportFailure(usage->reason + " (see 'tessera-scale --help')");
        return UsageFailure;
    }
    const CommandLine& line = std::get<CommandLine>(parsed);
    if (line.showHelp) {
        std::fputs(helpText().c_str(), stdout);
        return Success;
    }
    if (line.showVersion) {
        std::printf("tessera-scale %s\n", TESSERA_VERSION);
        return Success;
    }

    // From here on a reader of stdout or stderr that goes away makes writes fail with EPIPE
    // instead of ending the process with outputs half done.
    std::signal(SIGPIPE, SIG_IGN);
    const OutputPlan plan = planOutputs(line, isExistingDirectory(line.output));
    if (line.output == standardOutputName && ::isatty(STDOUT_FILENO) == 1) {
        reportFailure("will not write an image to a terminal: redirect standard output, or name a file "
                      "with -o");
        return UsageFailure;
    }
    std::vector<PathIdentity> inputIdentities;
    std::vector<PathIdentity> outputIdentities;
    for (const Job& job : plan.jobs) {
        inputIdentities.push_back(files::identifyPath(job.input));
        outputIdentities.push_back(job.standardOutput ? PathIdentity{} : files::identifyPath(job.output));
    }
    const std::vector<Result<>> verdicts = findConflicts(plan.jobs, inputIdentities, outputIdentities);

    std::vector<Job> accepted;
    std::size_t failures = 0;
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        const Failure* refusal = std::get_if<Failure>(&verdicts[i]);
        if (refusal == nullptr) {
            accepted.push_back(plan.jobs[i]);
            continue;
        }
        reportFailure("cannot write " + shownName(plan.jobs[i].output) + " (from " +
                      shownName(plan.jobs[i].input) + "): " + refusal->reason);
        ++failures;
    }
    if (plan.outputDirectory && !accepted.empty()) {
        std::error_code error;
        std::filesystem::create_directories(*plan.outputDirectory, error);
        if (error || !std::filesystem::is_directory(*plan.outputDirectory, error)) {
            reportFailure("cannot create output directory " + shownName(*plan.outputDirectory) + ": " +
                          (error ? error.message() : "a file of that name exists"));
            return SomeInputsFailed;
        }
    }

    BatchSettings settings;
    settings.factor = line.factor;
    settings.threads = line.jobs.value_or(defaultThreads());
    settings.background = line.background;
    settings.edges = line.edges;
    settings.notes = !line.quiet;
    settings.progress = !line.quiet && ::isatty(STDERR_FILENO) == 1;
    settings.manyInputs = line.inputs.size() > 1;
    settings.fileMode = files::newFileMode();
    files::removeTemporariesOnSignals();
    failures += runBatch(accepted, settings);
    return failures == 0 ? Success : SomeInputsFailed;
}

} // namespace

int main(int argc, char** argv) {
    return run({argv, static_cast<std::size_t>(argc)});
}
