#include "editor_fixture.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace e2e {

namespace {

using namespace std::chrono_literals;

// In a sanitizer build the editor keeps every check but the leak check: the software OpenGL
// driver is unloaded at exit and leaves allocations that LeakSanitizer can no longer attribute,
// which would turn every exit code into a failure. The editor's own memory is leak-checked by the
// unit tests of its core.
std::string editorSanitizerOptions() {
    const char* inherited = std::getenv("ASAN_OPTIONS");
    const std::string options = inherited != nullptr ? inherited : "";
    return "ASAN_OPTIONS=" + options + (options.empty() ? "" : ":") + "detect_leaks=0";
}

} // namespace

void EditorFixture::TearDown() {
    if (HasFailure()) {
        directory_.keep();
        std::cout << "kept for inspection: " << directory_.path() << "\n";
    }
}

void EditorFixture::launchEditor(const std::optional<std::string>& settings, int left, int top) {
    work_ = directory_.path() / "work";
    std::filesystem::create_directories(work_);
    if (settings)
        std::ofstream(work_ / "settings.cfg", std::ios::binary) << *settings;
    display_.emplace(directory_.path());
    x_.emplace(display_->name());
    editor_.emplace(std::vector<std::string>{TESSERA_EDITOR}, work_, display_->name(),
                    directory_.path() / "editor.log", std::vector<std::string>{editorSanitizerOptions()});
    waitFor("the window appears", [&] {
        const CommandResult r = xdotool({"search", "--name", "^TESSERA\\.EXE$"});
        window_ = r.exitCode == 0 ? std::strtoul(r.output.c_str(), nullptr, 10) : 0;
        return window_ != 0;
    });
    waitFor("the window is mapped", [&] {
        const auto g = x_->geometry(window_);
        return g && g->viewable;
    });
    xdotool({"windowmove", "--sync", std::to_string(window_), std::to_string(left), std::to_string(top)});
    xdotool({"windowfocus", std::to_string(window_)});
    waitFor("the window settles at (" + std::to_string(left) + ", " + std::to_string(top) + ")", [&] {
        const auto g = x_->geometry(window_);
        if (g)
            geometry_ = *g;
        return g && g->left == left && g->top == top;
    });
}

CommandResult EditorFixture::xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TESSERA_XDOTOOL);
    return runCommand(arguments, display_->name());
}

void EditorFixture::waitFor(const std::string& what, const std::function<bool()>& done) {
    const bool ok = waitUntil(
        [&] {
            if (!editor_->running())
                throw std::runtime_error("the editor ended (status " +
                                         std::to_string(editor_->waitForExit(0ms).value_or(-1)) +
                                         ") while waiting until " + what);
            return done();
        },
        actionTimeout);
    if (!ok) {
        // Before the window is found there is nothing to capture.
        if (window_ != 0)
            if (const auto shot = x_->capture(window_))
                saveScreenshot(*shot, directory_.path() / "screen.png");
        throw std::runtime_error("timed out waiting until " + what + "; " + mismatch_);
    }
}

void EditorFixture::waitForTitle(const std::string& title) {
    waitFor("the title reads \"" + title + "\"", [&] {
        CommandResult r = xdotool({"getwindowname", std::to_string(window_)});
        if (r.output.ends_with("\n"))
            r.output.pop_back();
        mismatch_ = "the title reads \"" + r.output + "\"";
        return r.output == title;
    });
}

void EditorFixture::moveTo(int x, int y) {
    xdotool({"mousemove", "--sync", std::to_string(geometry_.left + x), std::to_string(geometry_.top + y)});
}

void EditorFixture::closeAndExpectExitZero() {
    // A button left held (by random input, or a step that failed half-way) is released first, so
    // that the close reaches an editor at rest, as it would after a user's last click. The server
    // ignores the release of a button that is not held.
    xdotool({"mouseup", "1"});
    xdotool({"mouseup", "3"});
    x_->requestClose(window_);
    const std::optional<int> status = editor_->waitForExit(actionTimeout);
    ASSERT_TRUE(status.has_value()) << "the editor did not end after WM_DELETE_WINDOW";
    EXPECT_EQ(*status, 0);
}

} // namespace e2e
