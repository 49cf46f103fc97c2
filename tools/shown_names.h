// File names as tessera-scale prints them in its messages: quoted, and with every byte that could
// break the line or drive the terminal written as an escape, so that one message stays one line.
#pragma once

#include <filesystem>
#include <string>

namespace tessera::tool {

// The name between single quotes, with control characters (a newline, an escape sequence's ESC),
// the C1 controls, bytes that are not UTF-8 and the backslash itself written as \n, \r, \t, \\ or
// \xHH; any other character, in any script, as it is.
std::string shownName(const std::filesystem::path& path);

} // namespace tessera::tool
