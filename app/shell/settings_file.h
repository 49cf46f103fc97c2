// Reading settings.cfg at start-up so that start-up is immediate whatever the file is: only a
// regular file is read, it is opened without waiting (a FIFO without a writer would block an
// ordinary open for ever), and no more of it is read than any settings file can need. The text
// then goes through readSettings (tessera/editor/settings.h), which decides what it says.
#pragma once

#include <cstddef>
#include <tessera/editor/settings.h>

// The most of the file that is read: three numbers and 256 colour lines take a few kilobytes, so
// this leaves room for any comments while a huge or sparse file costs no time or memory.
inline constexpr std::size_t maxSettingsBytes = std::size_t{4} << 20;

// The settings file as the editor holds it: read once at start-up and left open, unread, until
// everything else has been released. No descriptor (-1) when there is no file to read.
struct SettingsFile {
    int descriptor = -1;
};

// Opens `path` into `file` and reads the settings from at most its first maxSettingsBytes. A
// missing file, one that is not a regular file (a FIFO, a device, a directory), and one that
// cannot be opened or read give all the defaults, and no descriptor is kept then.
EditorSettings loadSettings(const char* path, SettingsFile& file);

void closeSettingsFile(SettingsFile& file);
