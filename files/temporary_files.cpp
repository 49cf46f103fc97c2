#include "temporary_files.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

namespace tessera::files {
namespace {

// A slot goes Free -> Filling -> Armed -> Free for each file. Only the handler moves it to
// Removing (from Armed) or Closed (from Free), and nothing moves it back: the process is ending.
enum SlotState : int { Free, Filling, Armed, Removing, Closed };

struct Slot {
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only use lock-free atomics");

Slot slots[maxTemporaries];

constexpr int stoppingSignals[] = {SIGINT, SIGTERM};

// A slot in Filling belongs to a thread that has both signals blocked (createTemporary), so the
// handler never runs on it, and that thread leaves Filling within a system call: waiting for it
// cannot deadlock.
void removeRegistered(Slot& slot) {
    int state = slot.state.load();
    for (;;) {
        if (state == Free) {
            if (slot.state.compare_exchange_weak(state, Closed))
                return;
        } else if (state == Filling) {
            state = slot.state.load();
        } else if (state == Armed) {
            if (slot.state.compare_exchange_weak(state, Removing)) {
                ::unlink(slot.path);
                return;
            }
        } else {
            return; // another handler has it
        }
    }
}

extern "C" void removeTemporariesAndStop(int signal) {
    for (Slot& slot : slots)
        removeRegistered(slot);
    struct sigaction original {};
    original.sa_handler = SIG_DFL;
    sigemptyset(&original.sa_mask);
    ::sigaction(signal, &original, nullptr);
    // Blocked until this handler returns, then delivered with its default action.
    ::raise(signal);
}

Failure writeFailure(int error) {
    return {Step::Write, std::generic_category().message(error)};
}

// Blocks SIGINT and SIGTERM on the calling thread for its lifetime.
struct SignalsBlocked {
    sigset_t previous{};

    SignalsBlocked() {
        sigset_t blocked;
        sigemptyset(&blocked);
        for (const int signal : stoppingSignals)
            sigaddset(&blocked, signal);
        pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

} // namespace

void removeTemporariesOnSignals() {
    for (const int signal : stoppingSignals) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndStop;
        sigemptyset(&action.sa_mask);
        for (const int other : stoppingSignals)
            sigaddset(&action.sa_mask, other); // one handler at a time on a thread
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
}

Result<RegisteredTemporary> createTemporary(const std::string& pattern, int suffixLength) {
    if (pattern.size() >= PATH_MAX)
        return writeFailure(ENAMETOOLONG);
    const SignalsBlocked blocked;
    for (std::size_t index = 0; index < maxTemporaries; ++index) {
        Slot& slot = slots[index];
        int expected = Free;
        if (!slot.state.compare_exchange_strong(expected, Filling)) {
            if (expected == Closed)
                return Failure{Step::Write, "the command is being stopped"};
            continue;
        }
        std::memcpy(slot.path, pattern.c_str(), pattern.size() + 1);
        const int descriptor = ::mkostemps(slot.path, suffixLength, O_CLOEXEC);
        if (descriptor < 0) {
            const int error = errno;
            slot.state.store(Free);
            return writeFailure(error);
        }
        slot.state.store(Armed);
        return RegisteredTemporary{descriptor, slot.path, index};
    }
    return Failure{Step::Write, "too many files are being written at once"};
}

void forgetTemporary(const RegisteredTemporary& temporary) {
    int expected = Armed;
    // Fails only when a handler is removing the file, which then stays its business.
    slots[temporary.slot].state.compare_exchange_strong(expected, Free);
}

} // namespace tessera::files
