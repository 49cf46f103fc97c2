#include "path_identity.h"

#include <sys/stat.h>
#include <system_error>

namespace tessera::files {

bool sameFile(const PathIdentity& a, const PathIdentity& b) {
    if (a.canonical == b.canonical)
        return true;
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
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
        identity.kind = S_ISREG(info.st_mode)    ? FileKind::Regular
                        : S_ISDIR(info.st_mode)  ? FileKind::Directory
                        : S_ISFIFO(info.st_mode) ? FileKind::Pipe
                        : S_ISSOCK(info.st_mode) ? FileKind::Socket
                                                 : FileKind::Device;
    }
    return identity;
}

} // namespace tessera::files
