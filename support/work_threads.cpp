#include "work_threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace tessera {
namespace {

// Joins the helpers on every way out, the calling thread's own share of the work done.
struct Helpers {
    std::vector<std::thread> threads;
    Helpers() = default;
    Helpers(const Helpers&) = delete;
    Helpers& operator=(const Helpers&) = delete;
    ~Helpers() {
        for (std::thread& thread : threads)
            thread.join();
    }
};

} // namespace

void runOnThreads(int threads, const std::function<void()>& work) {
    Helpers helpers;
    try {
        for (int i = 1; i < threads; ++i)
            helpers.threads.emplace_back(work);
    } catch (const std::system_error&) {
        // The system refused another thread: those that started, and this one, do the rest.
    }
    work();
}

} // namespace tessera
