#include "image_files.h"

#include "image_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tessera::tool {
namespace {

std::string describeErrno(int error) {
    return std::generic_category().message(error);
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

// Removes the temporary file on every way out of writePngSafely except a successful rename.
struct TemporaryFile {
    std::string path;
    bool renamed = false;

    explicit TemporaryFile(std::string name) : path(std::move(name)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!renamed)
            ::unlink(path.c_str());
    }
};

// Long output names still leave room for the temporary suffix within the 255-byte name limit.
constexpr std::size_t maxTemporaryStem = 200;

std::string flushToDisk(const std::string& path) {
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.descriptor < 0)
        return describeErrno(errno);
    if (::fsync(file.descriptor) != 0)
        return describeErrno(errno);
    return "";
}

bool samePixels(const sf::Image& written, const DecodedImage& readBack) {
    if (written.getSize().x != readBack.width || written.getSize().y != readBack.height)
        return false;
    const std::size_t bytes = std::size_t{readBack.width} * readBack.height * 4;
    return std::equal(written.getPixelsPtr(), written.getPixelsPtr() + bytes, readBack.rgba.get());
}

} // namespace

FileBytes readWholeFile(const std::filesystem::path& path) {
    FileBytes result;
    // O_NONBLOCK: opening a pipe must not hang the batch; it is refused below.
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.descriptor < 0) {
        result.error = describeErrno(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(file.descriptor, &info) != 0) {
        result.error = describeErrno(errno);
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.error = "it is a directory";
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = "it is not a regular file";
        return result;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxInputBytes) {
        result.error = "the file is larger than 1 GiB";
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < result.bytes.size()) {
        const ssize_t count =
            ::read(file.descriptor, result.bytes.data() + filled, result.bytes.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            result.error = describeErrno(errno);
            result.bytes.clear();
            return result;
        }
        if (count == 0)
            break; // the file shrank while being read; decode what is there
        filled += static_cast<std::size_t>(count);
    }
    result.bytes.resize(filled);
    return result;
}

std::string writePngSafely(const sf::Image& image, const std::filesystem::path& output, mode_t mode,
                           std::mutex& encoderLock) {
    const std::filesystem::path directory = output.has_parent_path() ? output.parent_path() : ".";
    const std::string stem = output.filename().string().substr(0, maxTemporaryStem);
    // The encoder picks the format from the extension, hence the ".png" after the unique part.
    std::string pattern = (directory / ("." + stem + ".tmp-XXXXXX.png")).string();
    const int descriptor = ::mkstemps(pattern.data(), 4);
    if (descriptor < 0)
        return describeErrno(errno);
    TemporaryFile temporary{pattern};
    {
        const OpenFile file{descriptor};
        // mkstemps creates the file private to its owner; an image should get the usual mode.
        if (::fchmod(file.descriptor, mode) != 0)
            return describeErrno(errno);
    }
    {
        const std::lock_guard lock{encoderLock};
        if (!image.saveToFile(temporary.path))
            return "the PNG encoder could not write the file";
    }
    if (std::string error = flushToDisk(temporary.path); !error.empty())
        return error;

    // The encoder does not check its own writes, so a full disk would go unnoticed:
    // read the file back and compare it with what was meant to be written.
    const FileBytes written = readWholeFile(temporary.path);
    if (!written.error.empty())
        return written.error;
    const std::optional<DecodedImage> check = decodeImage(written.bytes);
    if (!check || !samePixels(image, *check))
        return "the written file did not read back correctly (is the disk full?)";

    if (std::rename(temporary.path.c_str(), output.c_str()) != 0)
        return describeErrno(errno);
    temporary.renamed = true;
    return "";
}

PathIdentity identifyPath(const std::filesystem::path& path) {
    PathIdentity identity;
    std::error_code error;
    identity.canonical = std::filesystem::weakly_canonical(path, error);
    if (error)
        identity.canonical = std::filesystem::absolute(path, error).lexically_normal();
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        identity.exists = true;
        identity.device = static_cast<std::uint64_t>(info.st_dev);
        identity.inode = static_cast<std::uint64_t>(info.st_ino);
    }
    return identity;
}

} // namespace tessera::tool
