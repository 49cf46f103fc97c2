#include "harness.h"

#include <SFML/Graphics/Image.hpp>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {

// The file descriptor through which Xvfb reports the display number it chose.
constexpr int displayNumberFd = 3;

// Xlib's default error handler ends the process; a test must report the error instead.
int recordXError(Display*, XErrorEvent*) {
    return 0;
}

std::optional<int> decodeStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return std::nullopt;
}

// Forks and runs `arguments` in the child. `passFd`, when given, becomes descriptor 3 of the child.
int spawn(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
          const std::string& display, int outputFd, const std::vector<std::string>& environment, int passFd) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Ends with the test even when the test is killed (a timeout, a sanitizer abort), so no
        // server or editor outlives it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(125);
        if (::chdir(directory.c_str()) != 0)
            ::_exit(126);
        const int input = ::open("/dev/null", O_RDONLY);
        if (input >= 0)
            ::dup2(input, 0);
        ::dup2(outputFd, 1);
        ::dup2(outputFd, 2);
        if (passFd >= 0)
            ::dup2(passFd, displayNumberFd);
        if (!display.empty())
            ::setenv("DISPLAY", display.c_str(), 1);
        for (const std::string& setting : environment)
            ::putenv(const_cast<char*>(setting.c_str()));
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval) {
    const Clock::time_point end = Clock::now() + timeout;
    while (true) {
        if (done())
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(interval);
    }
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessera-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    if (!keep_) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

Process::Process(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
                 const std::string& display, const std::filesystem::path& output,
                 const std::vector<std::string>& environment, int passFd) {
    const int outputFd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (outputFd < 0)
        throw std::runtime_error("cannot open " + output.string());
    pid_ = spawn(arguments, directory, display, outputFd, environment, passFd);
    ::close(outputFd);
}

Process::~Process() {
    if (!running())
        return;
    ::kill(pid_, SIGTERM);
    if (!waitForExit(std::chrono::seconds(3))) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool Process::running() {
    if (status_)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = decodeStatus(status);
        if (!status_)
            status_ = -1;
        return false;
    }
    return r == 0;
}

std::optional<int> Process::waitForExit(std::chrono::milliseconds timeout) {
    waitUntil([this] { return !running(); }, timeout, std::chrono::milliseconds(10));
    return status_;
}

CommandResult runCommand(const std::vector<std::string>& arguments, const std::string& display) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(arguments, std::filesystem::current_path(), display, fds[1], {}, -1);
    ::close(fds[1]);
    CommandResult result;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(20);
    char buffer[4096];
    while (true) {
        pollfd p{fds[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    // The end of the output comes a moment before the exit: wait for that, within the
    // same deadline, before giving up on the command.
    int status = 0;
    const bool exited = waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                                  std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()),
                                  std::chrono::milliseconds(2));
    if (!exited) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return result;
    }
    result.exitCode = decodeStatus(status).value_or(-1);
    return result;
}

VirtualDisplay::VirtualDisplay(const std::filesystem::path& logDirectory) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const std::string screen = std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
    server_.emplace(std::vector<std::string>{TESSERA_XVFB, "-displayfd", std::to_string(displayNumberFd),
                                             "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
                    logDirectory, "", logDirectory / "xvfb.log", std::vector<std::string>{}, fds[1]);
    ::close(fds[1]);
    std::string number;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(20);
    while (number.empty() || number.back() != '\n') {
        pollfd p{fds[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        char c = 0;
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0 || ::read(fds[0], &c, 1) != 1)
            break;
        number += c;
    }
    ::close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty())
        throw std::runtime_error("Xvfb (" + std::string(TESSERA_XVFB) + ") reported no display; see " +
                                 (logDirectory / "xvfb.log").string());
    name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() = default;

XConnection::XConnection(const std::string& display) {
    ::XSetErrorHandler(recordXError);
    display_ = ::XOpenDisplay(display.c_str());
    if (display_ == nullptr)
        throw std::runtime_error("cannot open display " + display);
}

XConnection::~XConnection() {
    ::XCloseDisplay(static_cast<Display*>(display_));
}

std::optional<XConnection::Geometry> XConnection::geometry(unsigned long window) {
    auto* d = static_cast<Display*>(display_);
    XWindowAttributes attributes{};
    if (!::XGetWindowAttributes(d, window, &attributes))
        return std::nullopt;
    Geometry g;
    Window child = 0;
    if (!::XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &g.left, &g.top, &child))
        return std::nullopt;
    g.width = attributes.width;
    g.height = attributes.height;
    g.viewable = attributes.map_state == IsViewable;
    return g;
}

std::optional<Screenshot> XConnection::capture(unsigned long window) {
    auto* d = static_cast<Display*>(display_);
    const std::optional<Geometry> g = geometry(window);
    if (!g || !g->viewable || g->left < 0 || g->top < 0 || g->left + g->width > VirtualDisplay::screenWidth ||
        g->top + g->height > VirtualDisplay::screenHeight)
        return std::nullopt;
    XImage* image = ::XGetImage(d, DefaultRootWindow(d), g->left, g->top, static_cast<unsigned>(g->width),
                                static_cast<unsigned>(g->height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return std::nullopt;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1) == 0) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint32_t>((pixel >> shift) & 0xFF);
    };
    Screenshot shot;
    shot.width = g->width;
    shot.height = g->height;
    shot.pixels.resize(static_cast<std::size_t>(g->width) * static_cast<std::size_t>(g->height));
    for (int y = 0; y < g->height; ++y)
        for (int x = 0; x < g->width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            shot.pixels[static_cast<std::size_t>(y) * g->width + x] = channel(p, image->red_mask) << 16 |
                                                                      channel(p, image->green_mask) << 8 |
                                                                      channel(p, image->blue_mask);
        }
    XDestroyImage(image);
    return shot;
}

void XConnection::requestClose(unsigned long window) {
    auto* d = static_cast<Display*>(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = ::XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(::XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    ::XSendEvent(d, window, False, NoEventMask, &event);
    ::XFlush(d);
}

void saveScreenshot(const Screenshot& shot, const std::filesystem::path& file) {
    sf::Image image;
    image.create(static_cast<unsigned>(shot.width), static_cast<unsigned>(shot.height));
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const std::uint32_t p = shot.at(x, y);
            image.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y),
                           sf::Color(static_cast<sf::Uint8>(p >> 16), static_cast<sf::Uint8>(p >> 8),
                                     static_cast<sf::Uint8>(p)));
        }
    image.saveToFile(file.string());
}

} // namespace e2e
