// The X display the window opens on, checked before the window library touches it. SFML ends
// the process with abort() and no message when it cannot open the display (its error stream is
// silenced), so the shell opens the display first, retrying a connection the server drops, and
// guards SFML's own opening, which can still fail when the server hangs up just then.
#pragma once

#include <string>

// An open connection to the display named by DISPLAY, or, when there is none, the one line that
// says why and what to do. The connection stays open until closeDisplay, so that a server that
// resets when its last client leaves does not reset between this check and the window's own
// connection.
struct DisplayConnection {
    void* display = nullptr; // the Xlib Display, or null on failure
    std::string failure;     // empty on success; otherwise one line, without the line feed
};

// Tries DISPLAY a few times within about a second, since a busy server may hang up on a
// connection attempt now and then.
DisplayConnection openDisplay();

void closeDisplay(DisplayConnection& connection);

// Until endAbortGuard, an abort (SFML's reaction to a display it cannot open) prints one line on
// stderr naming `connection`'s display and what to do, and exits with status 1 instead of leaving
// a core dump.
void beginAbortGuard(const DisplayConnection& connection);
void endAbortGuard();

// The status the editor exits with when it has no display.
inline constexpr int noDisplayExitStatus = 1;
