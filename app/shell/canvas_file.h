// The canvas's own file, carried to and from the disk the way tessera-scale carries images: the
// canvas is encoded as an opaque PNG of one pixel per cell and written without ever leaving a
// partial file (whole_files.h); opening reads any image the command reads. What came of it goes
// to the editor core, which decides what the canvas becomes and what the window says.
#pragma once

#include <filesystem>
#include <sys/types.h>
#include <tessera/editor/editor.h>

// Writes the canvas to `path` as PNG with permission bits `mode`, then notes the outcome.
void saveCanvasFile(EditorState& state, const std::filesystem::path& path, mode_t mode,
                    Clock::time_point now);

// Reads and decodes `path` and opens the image onto the canvas; a missing, unreadable or damaged
// file leaves the canvas as it is and is noted.
void openCanvasFile(EditorState& state, const std::filesystem::path& path, Clock::time_point now);
