// Work shared out over threads: the one way Tessera starts threads, for the command's queue, the
// PNG encoder's row groups and the Python module's bands.
#pragma once

#include <functional>

namespace tessera {

// Runs `work` on `threads` threads at once, the calling thread being one of them, and returns
// when every call has returned. Each call takes its tasks from shared state of its own (an
// atomic counter, a queue), so a thread the system refuses to start only leaves its share to
// the others: at least the calling thread always runs. `work` must not throw.
void runOnThreads(int threads, const std::function<void()>& work);

} // namespace tessera
