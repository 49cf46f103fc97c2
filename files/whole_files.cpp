#include "whole_files.h"

#include "limits_and_defaults.h"
#include "temporary_files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tessera::files {
namespace {

Failure failure(Step step, int error) {
    return {step, std::generic_category().message(error)};
}

struct OpenFile {
    int descriptor = -1;

    explicit OpenFile(int fd) : descriptor(fd) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (descriptor >= 0)
            ::close(descriptor);
    }
};

// Closes and removes the temporary file on every way out of writeFileSafely but a successful
// rename, and takes it out of the registry only after that (a signal in between finds it).
struct TemporaryOutput {
    RegisteredTemporary file;
    bool renamed = false;

    explicit TemporaryOutput(RegisteredTemporary created) : file(created) {}
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput() {
        if (file.descriptor >= 0)
            ::close(file.descriptor);
        if (!renamed)
            ::unlink(file.path);
        forgetTemporary(file);
    }

    // Whether close succeeded: some file systems report a failed write only there.
    bool close() {
        const int descriptor = file.descriptor;
        file.descriptor = -1;
        return ::close(descriptor) == 0;
    }
};

// Long output names still leave room for the temporary suffix within the 255-byte name limit.
constexpr std::size_t maxTemporaryStem = 200;

} // namespace

Result<std::vector<char>> readWholeFile(const std::filesystem::path& path) {
    // O_NONBLOCK: opening a pipe must not hang the batch; it is refused below.
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.descriptor < 0)
        return failure(Step::Read, errno);
    struct stat info {};
    if (::fstat(file.descriptor, &info) != 0)
        return failure(Step::Read, errno);
    if (S_ISDIR(info.st_mode))
        return Failure{Step::Read, "it is a directory"};
    if (!S_ISREG(info.st_mode))
        return Failure{Step::Read, "it is not a regular file"};
    if (static_cast<std::uintmax_t>(info.st_size) > pixels::maxInputBytes)
        return Failure{Step::Read, "the file is larger than 1 GiB"};
    std::vector<char> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::read(file.descriptor, bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return failure(Step::Read, errno);
        if (count == 0)
            break; // the file shrank while being read; decode what is there
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    return bytes;
}

Result<> writeAll(std::span<const std::uint8_t> bytes, int descriptor) {
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return failure(Step::Write, errno);
        written += static_cast<std::size_t>(count);
    }
    return {};
}

Result<> writeFileSafely(std::span<const std::uint8_t> bytes, const std::filesystem::path& output,
                         mode_t mode) {
    const std::filesystem::path directory = output.has_parent_path() ? output.parent_path() : ".";
    const std::string stem = output.filename().string().substr(0, maxTemporaryStem);
    Result<RegisteredTemporary> created =
        createTemporary((directory / ("." + stem + ".tmp-XXXXXX")).string(), 0);
    if (const Failure* creation = std::get_if<Failure>(&created))
        return *creation;
    TemporaryOutput temporary{std::get<RegisteredTemporary>(created)};
    const int descriptor = temporary.file.descriptor;
    // The file is created private to its owner; an image should get the usual mode.
    if (::fchmod(descriptor, mode) != 0)
        return failure(Step::Write, errno);
    if (Result<> written = writeAll(bytes, descriptor); std::holds_alternative<Failure>(written))
        return written;
    if (::fsync(descriptor) != 0)
        return failure(Step::Write, errno);
    if (!temporary.close())
        return failure(Step::Write, errno);
    if (std::rename(temporary.file.path, output.c_str()) != 0)
        return failure(Step::Write, errno);
    temporary.renamed = true;
    return {};
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace tessera::files
