// settings.cfg from the disk: checked to be a regular file, opened without waiting, and read up
// to the limit; the text goes to the core's settings reader.
#include "settings_file.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isRegularFile(const struct stat& status) {
    return S_ISREG(status.st_mode);
}

// Up to `limit` bytes from the start of the open file; nothing when a read fails.
std::optional<std::string> readStart(int descriptor, std::size_t limit) {
    std::string text(limit, '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        const ssize_t count = ::read(descriptor, text.data() + filled, limit - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    text.resize(filled);
    return text;
}

} // namespace

EditorSettings loadSettings(const char* path, SettingsFile& file) {
    // Whatever is not a regular file is not even opened: opening a device can do things of its own.
    struct stat status {};
    if (::stat(path, &status) != 0 || !isRegularFile(status))
        return EditorSettings{};
    // The name may have been replaced since; what is opened is checked again, and the open itself
    // never waits.
    file.descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.descriptor < 0 || ::fstat(file.descriptor, &status) != 0 || !isRegularFile(status)) {
        closeSettingsFile(file);
        return EditorSettings{};
    }
    const std::optional<std::string> text = readStart(file.descriptor, maxSettingsBytes);
    if (!text) {
        closeSettingsFile(file);
        return EditorSettings{};
    }
    std::istringstream in(*text);
    return readSettings(in);
}

void closeSettingsFile(SettingsFile& file) {
    if (file.descriptor >= 0)
        ::close(file.descriptor);
    file.descriptor = -1;
}
