// What the end-to-end tests need to drive the editor in a real window: a private Xvfb server,
// child processes, xdotool, and a few Xlib calls (reading the window's pixels and closing it the
// way a window manager's close button does).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;

// Calls `done` every `interval` until it returns true or `timeout` has passed; returns its last
// answer.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval = std::chrono::milliseconds(20));

// A fresh directory under the system's temporary directory, removed at destruction unless kept.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void keep() { keep_ = true; }

private:
    std::filesystem::path path_;
    bool keep_ = false;
};

// A child process. Its standard output and error go to the given files (or /dev/null), its
// working directory is `directory`, and DISPLAY is set to `display` when that is not empty.
class Process {
public:
    // `environment` holds NAME=value settings added to the child's environment; `passFd`, when
    // not -1, becomes the child's descriptor 3.
    Process(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
            const std::string& display, const std::filesystem::path& output = "/dev/null",
            const std::vector<std::string>& environment = {}, int passFd = -1);
    ~Process(); // kills the process if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int id() const { return pid_; }
    // The exit status once the process has ended by itself within the timeout: the exit code, or
    // 128 + the signal number.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    bool running();

private:
    int pid_ = -1;
    std::optional<int> status_;
};

// Runs a program to completion (at most 20 s) and returns its exit code and standard output.
struct CommandResult {
    int exitCode = -1;
    std::string output;
};
CommandResult runCommand(const std::vector<std::string>& arguments, const std::string& display);

// An Xvfb server on a display number it chooses itself (-displayfd), so tests running at the
// same time never share a display.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::filesystem::path& logDirectory);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return name_; } // ":N"
    static constexpr int screenWidth = 1600;
    static constexpr int screenHeight = 1200;

private:
    std::optional<Process> server_;
    std::string name_;
};

// An RGB picture of the window, 0x00RRGGBB per pixel, row-major.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A connection to the display for the calls xdotool does not make.
class XConnection {
public:
    explicit XConnection(const std::string& display);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    struct Geometry {
        int left = 0; // on the screen
        int top = 0;
        int width = 0;
        int height = 0;
        bool viewable = false;
    };
    std::optional<Geometry> geometry(unsigned long window);
    // The window's client area as the screen shows it; empty when it does not lie wholly on the
    // screen or cannot be read.
    std::optional<Screenshot> capture(unsigned long window);
    // Sends WM_PROTOCOLS / WM_DELETE_WINDOW, which the window library turns into a close event.
    void requestClose(unsigned long window);

private:
    void* display_ = nullptr;
};

// Writes a screenshot as PNG (for failure reports).
void saveScreenshot(const Screenshot& shot, const std::filesystem::path& file);

} // namespace e2e
