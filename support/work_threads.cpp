#include "work_threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace tessera {

void runOnThreads(int threads, const std::function<void()>& work) {
    std::vector<std::jthread> helpers;
    try {
        for (int i = 1; i < threads; ++i)
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // The system refused another thread: those that started, and this one, do the rest.
    }
    work();
}

} // namespace tessera
