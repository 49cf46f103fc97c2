// The identity of a path on disk, which tells the command whether two names lead to one file.
#pragma once

#include "output_plan.h"

#include <filesystem>

namespace tessera::tool {

// The path made canonical as far as it exists, and, when it names an existing file, its device
// and inode, for findConflicts.
PathIdentity identifyPath(const std::filesystem::path& path);

} // namespace tessera::tool
