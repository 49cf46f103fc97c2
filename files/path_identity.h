// The identity of a path on disk, which tells the command whether two names lead to one file.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tessera::files {

// What an existing path leads to, symbolic links followed.
enum class FileKind { Regular, Directory, Device, Pipe, Socket };

struct PathIdentity {
    std::filesystem::path canonical; // weakly canonical: the path need not exist
    bool exists = false;
    std::uint64_t device = 0; // device, inode and kind are meaningful only when the file exists
    std::uint64_t inode = 0;
    FileKind kind = FileKind::Regular;
};

bool sameFile(const PathIdentity& a, const PathIdentity& b);

// The path made canonical as far as it exists, and, when it names an existing file, its device,
// inode and kind, for findConflicts.
PathIdentity identifyPath(const std::filesystem::path& path);

} // namespace tessera::files
