// The editor's files, carried to and from the disk the way tessera-scale carries images: the shown
// enlargement (image.png) and the canvas (canvas.png, one pixel per cell) are encoded as opaque
// PNGs and written without ever leaving a partial file or harming the file they replace
// (whole_files.h); opening reads any image the command reads. What came of it goes to the editor
// core, which decides what the canvas becomes and what the window says.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <tessera/editor/editor.h>

// Writes the preview, as it is (the enlargement of the previous frame), to `path` as PNG with
// permission bits `mode`. Nothing when it was written whole, otherwise why not; a window that
// holds no cell has no image to write.
std::optional<std::string> writePreviewFile(const EditorState& state, const std::filesystem::path& path,
                                            mode_t mode);

// Writes the canvas to `path` as PNG with permission bits `mode`; the outcome as writePreviewFile's.
std::optional<std::string> writeCanvasFile(const EditorState& state, const std::filesystem::path& path,
                                           mode_t mode);

// Reads and decodes `path` and opens the image onto the canvas; a missing, unreadable or damaged
// file leaves the canvas as it is and is noted.
void openCanvasFile(EditorState& state, const std::filesystem::path& path, Clock::time_point now);
