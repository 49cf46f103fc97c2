// Runs saved inputs through a fuzz target's entry without libFuzzer, so that CTest replays the
// committed corpus and every regression input in each test build, under whatever compiler and
// sanitizers that build uses. Arguments are files or directories (searched recursively); a
// failed check aborts the program.
#include "fuzz_check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::filesystem::path> collectInputs(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path{argv[i]};
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator{path})
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else if (std::filesystem::is_regular_file(path)) {
            inputs.push_back(path);
        } else {
            std::fprintf(stderr, "replay: no such file or directory: %s\n", path.c_str());
            std::exit(2);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::filesystem::path> inputs = collectInputs(argc, argv);
    // An empty corpus would make the test pass without running anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no input found\n");
        return 2;
    }
    for (const std::filesystem::path& path : inputs) {
        std::ifstream file{path, std::ios::binary};
        const std::vector<char> bytes{std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
        if (!file.good() && !file.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "replay: %s\n", path.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replay: %zu inputs passed\n", inputs.size());
    return 0;
}
