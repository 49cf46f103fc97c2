// The file side of tessera-scale: outputs reach the disk whole or not at all, also when the disk
// fills up or a signal stops the command.
#include "temporary_files.h"
#include "whole_files.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tessera;
using namespace tessera::files;

class ScratchDirectory : public testing::Test {
protected:
    fs::path directory;

    void SetUp() override {
        std::string pattern = (fs::path{testing::TempDir()} / "tessera-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    std::set<std::string> entries(const fs::path& folder) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }
};

std::vector<std::uint8_t> bytesOf(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + seed + (i >> 9));
    return bytes;
}

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream file{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
}

using WriteFileSafely = ScratchDirectory;

TEST_F(WriteFileSafely, ReplacesTheOutputWholeWithTheModeAndLeavesNothingElse) {
    const fs::path output = directory / "out.png";
    const std::vector<std::uint8_t> first = bytesOf(300'000, 1);
    const std::vector<std::uint8_t> second = bytesOf(1000, 2);
    for (const auto* bytes : {&first, &second}) {
        const Result<> written = writeFileSafely(*bytes, output, 0640);
        ASSERT_TRUE(std::holds_alternative<std::monostate>(written)) << std::get<Failure>(written).reason;
        EXPECT_EQ(readBytes(output), *bytes);
        EXPECT_EQ(static_cast<mode_t>(fs::status(output).permissions()), static_cast<mode_t>(0640));
        EXPECT_EQ(entries(directory), std::set<std::string>{"out.png"});
    }
}

TEST_F(WriteFileSafely, ReportsAFullDiskFromTheWriteAndKeepsThePreviousOutput) {
    const fs::path small = directory / "small";
    fs::create_directory(small);
    if (::mount("tessera-test", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs to fill (" << std::strerror(errno)
                     << "); this test needs root and a system that allows mounting";
    const fs::path output = small / "out.png";
    const std::vector<std::uint8_t> previous = bytesOf(1000, 3);
    ASSERT_TRUE(std::holds_alternative<std::monostate>(writeFileSafely(previous, output, 0644)));

    const Result<> written = writeFileSafely(bytesOf(256 * 1024, 4), output, 0644);
    const Failure* failure = std::get_if<Failure>(&written);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(*failure, (Failure{Step::Write, std::strerror(ENOSPC)}));
    EXPECT_EQ(entries(small), std::set<std::string>{"out.png"}); // no temporary file left
    EXPECT_EQ(readBytes(output), previous);
    ::umount2(small.c_str(), MNT_DETACH);
}

struct SignalCase {
    const char* name;
    int signal;
    bool ignoredBefore;         // the command was started with the signal ignored
    bool oneRenamed;            // a first temporary file was renamed to out.png before the signal
    bool endedBySignal;         // expected
    std::set<std::string> left; // expected in the directory afterwards ("temporary": the one in writing)
};

using RemoveTemporariesOnSignals = ScratchDirectory;

TEST_F(RemoveTemporariesOnSignals, RemovesWhatIsInWritingAndEndsByTheSignal) {
    const SignalCase cases[] = {
        {"interrupt", SIGINT, false, false, true, {}},
        {"terminate after a finished output", SIGTERM, false, true, true, {"out.png"}},
        {"interrupt ignored by the caller", SIGINT, true, true, false, {"out.png", "temporary"}},
        {"hangup", SIGHUP, false, false, true, {}},
        {"quit, which dumps core", SIGQUIT, false, false, true, {}},
        {"broken pipe", SIGPIPE, false, true, true, {"out.png"}},
        {"file size limit", SIGXFSZ, false, false, true, {}},
        {"first real-time signal", SIGRTMIN, false, false, true, {}},
        {"hangup ignored by the caller", SIGHUP, true, false, false, {"temporary"}},
    };
    for (const SignalCase& c : cases) {
        const fs::path folder = directory / c.name;
        fs::create_directory(folder);
        const std::string pattern = (folder / ".out.png.tmp-XXXXXX").string();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            if (c.ignoredBefore)
                std::signal(c.signal, SIG_IGN);
            removeTemporariesOnSignals();
            if (c.oneRenamed) {
                const Result<RegisteredTemporary> done = createTemporary(pattern, 0);
                if (!std::holds_alternative<RegisteredTemporary>(done))
                    ::_exit(10);
                const RegisteredTemporary& file = std::get<RegisteredTemporary>(done);
                if (std::rename(file.path, (folder / "out.png").c_str()) != 0)
                    ::_exit(11);
                forgetTemporary(file);
            }
            const Result<RegisteredTemporary> writing = createTemporary(pattern, 0);
            if (!std::holds_alternative<RegisteredTemporary>(writing))
                ::_exit(12);
            ::raise(c.signal);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child) << c.name;
        if (c.endedBySignal) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
                << c.name << ": status " << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << ": status " << status;
        }
        std::set<std::string> left;
        for (const std::string& name : entries(folder))
            left.insert(name.starts_with(".out.png.tmp-") ? "temporary" : name);
        EXPECT_EQ(left, c.left) << c.name;
    }
}

} // namespace
