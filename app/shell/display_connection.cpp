#include "display_connection.h"

#include <X11/Xlib.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

constexpr int connectionAttempts = 6;
constexpr auto pauseBetweenAttempts = std::chrono::milliseconds(200);

std::string failureLine(const char* name) {
    if (name == nullptr || *name == '\0')
        return "tessera: no X display to open the window on: DISPLAY is not set; run tessera in a "
               "graphical session or set DISPLAY to a running X server (for example DISPLAY=:0)";
    return std::string("tessera: cannot open the X display \"") + name +
           "\": start an X server there or set DISPLAY to one that is running";
}

// What the abort handler writes: composed beforehand, since a signal handler may only make
// async-signal-safe calls such as write and _exit.
std::string abortMessage;
struct sigaction previousAbortAction {};

void reportAbort(int) {
    const ssize_t ignored = ::write(STDERR_FILENO, abortMessage.data(), abortMessage.size());
    static_cast<void>(ignored);
    ::_exit(noDisplayExitStatus);
}

} // namespace

DisplayConnection openDisplay() {
    DisplayConnection connection;
    const char* name = std::getenv("DISPLAY");
    // Without a name Xlib has nothing to try; retrying cannot help.
    const int attempts = name == nullptr || *name == '\0' ? 0 : connectionAttempts;
    for (int attempt = 0; attempt < attempts && connection.display == nullptr; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(pauseBetweenAttempts);
        connection.display = ::XOpenDisplay(name);
    }
    if (connection.display == nullptr)
        connection.failure = failureLine(name);
    return connection;
}

void closeDisplay(DisplayConnection& connection) {
    if (connection.display != nullptr)
        ::XCloseDisplay(static_cast<Display*>(connection.display));
    connection.display = nullptr;
}

void beginAbortGuard(const DisplayConnection& connection) {
    abortMessage = std::string("tessera: the X display \"") +
                   ::XDisplayString(static_cast<Display*>(connection.display)) +
                   "\" hung up while the window was opening: start tessera again, or check the X server\n";
    struct sigaction action {};
    action.sa_handler = reportAbort;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGABRT, &action, &previousAbortAction);
}

void endAbortGuard() {
    ::sigaction(SIGABRT, &previousAbortAction, nullptr);
}
