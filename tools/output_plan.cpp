#include "output_plan.h"

#include "shown_names.h"

#include <algorithm>
#include <cctype>

namespace tessera::tool {

std::filesystem::path defaultOutputName(const std::filesystem::path& input, int factor) {
    std::string name = input.stem().string();
    name += "@" + std::to_string(factor) + "x.png";
    return name;
}

OutputFormat outputFormat(const std::filesystem::path& output) {
    std::string extension = output.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char letter) { return static_cast<char>(std::tolower(letter)); });
    return extension == ".webp" ? OutputFormat::Webp : OutputFormat::Png;
}

OutputPlan planOutputs(const CommandLine& line, bool outputIsExistingDirectory) {
    OutputPlan plan;
    const bool toStandardOutput = line.output == standardOutputName;
    const bool intoDirectory =
        line.output && !toStandardOutput &&
        (line.inputs.size() > 1 || outputIsExistingDirectory || line.output->ends_with('/'));
    if (intoDirectory)
        plan.outputDirectory = std::filesystem::path{*line.output};
    for (const std::string& inputName : line.inputs) {
        const std::filesystem::path input{inputName};
        const std::filesystem::path name = defaultOutputName(input, line.factor);
        std::filesystem::path output;
        if (intoDirectory)
            output = *plan.outputDirectory / name;
        else if (line.output)
            output = *line.output;
        else
            output = input.parent_path() / name;
        plan.jobs.push_back({input, output, toStandardOutput});
    }
    return plan;
}

namespace {

// What an existing output is when it is not a regular file, which the output's rename would
// replace: a device, pipe or socket (or a directory, where rename fails) stays as it is.
const char* notReplaced(const PathIdentity& output) {
    if (!output.exists)
        return nullptr;
    switch (output.kind) {
    case files::FileKind::Regular:
        return nullptr;
    case files::FileKind::Directory:
        return "a directory";
    case files::FileKind::Device:
        return "a device, not a regular file";
    case files::FileKind::Pipe:
        return "a pipe, not a regular file";
    case files::FileKind::Socket:
        return "a socket, not a regular file";
    }
    return nullptr;
}

} // namespace

std::vector<Result<>> findConflicts(const std::vector<Job>& jobs, const std::vector<PathIdentity>& inputs,
                                    const std::vector<PathIdentity>& outputs) {
    std::vector<Result<>> verdicts(jobs.size());
    const auto refused = [&](std::size_t job) {
        return std::holds_alternative<Failure>(verdicts[job]);
    };
    for (std::size_t job = 0; job < jobs.size(); ++job) {
        if (jobs[job].standardOutput)
            continue;
        if (const char* kind = notReplaced(outputs[job]))
            verdicts[job] = Failure{Step::Write, std::string{"it is "} + kind + ", which is never replaced"};
        for (std::size_t other = 0; other < jobs.size() && !refused(job); ++other)
            if (sameFile(outputs[job], inputs[other]))
                verdicts[job] = Failure{Step::Write, other == job ? "the output would overwrite the input"
                                                                  : "the output would overwrite input " +
                                                                        shownName(jobs[other].input)};
        for (std::size_t earlier = 0; earlier < job && !refused(job); ++earlier)
            if (!refused(earlier) && !jobs[earlier].standardOutput &&
                sameFile(outputs[job], outputs[earlier]))
                verdicts[job] = Failure{Step::Write,
                                        "the output is also that of input " + shownName(jobs[earlier].input)};
    }
    return verdicts;
}

} // namespace tessera::tool
