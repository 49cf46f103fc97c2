// What every test of the editor in a real window does the same way: start the tessera program in a
// fresh working directory under a private Xvfb server, wait for its window and place it, drive it
// with xdotool, wait for conditions with a report of what was last seen, and close the window as a
// window manager's close button does. The test suites derive their fixtures from this one and add
// what they check.
#pragma once

#include "harness.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// Long enough for a slow software renderer on a loaded machine; every wait ends as soon as its
// condition holds.
inline constexpr std::chrono::seconds actionTimeout{20};

class EditorFixture : public testing::Test {
protected:
    // A failed test leaves its directory (logs, working directory, last screenshot) behind.
    void TearDown() override;

    // Starts Xvfb and the editor in a fresh working directory holding `settings` (none when
    // nullopt), waits for its window, moves it so that its client area starts at screen pixel
    // (left, top), and gives it the keyboard focus.
    void launchEditor(const std::optional<std::string>& settings, int left, int top);

    // Runs xdotool on the test's display with these arguments.
    CommandResult xdotool(std::vector<std::string> arguments);

    // Waits for `done`, failing the test (by exception) on timeout or as soon as the editor ends.
    // A timeout saves the window as screen.png and reports `mismatch_`, which the checks set to
    // what they saw last.
    void waitFor(const std::string& what, const std::function<bool()>& done);

    // Waits until the window's title reads `title`.
    void waitForTitle(const std::string& title);

    // Moves the pointer to window pixel (x, y), which may lie outside the window.
    void moveTo(int x, int y);

    // Releases both buttons, sends WM_DELETE_WINDOW and expects the editor to exit with 0.
    void closeAndExpectExitZero();

    TemporaryDirectory directory_;
    std::filesystem::path work_; // the editor's working directory
    std::optional<VirtualDisplay> display_;
    std::optional<XConnection> x_;
    std::optional<Process> editor_;
    unsigned long window_ = 0;
    XConnection::Geometry geometry_;
    std::string mismatch_;
};

} // namespace e2e
