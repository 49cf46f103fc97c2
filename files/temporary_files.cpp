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

// Every signal whose default action ends the process, but for those the processor raises on a
// fault of the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP): after such a fault
// nothing in the process can be trusted, and debuggers and sanitizers own those signals. SIGPIPE
// is here for the editor; tessera-scale ignores it, so that a closed pipe fails a write instead.
// The real-time signals follow, from SIGRTMIN to SIGRTMAX, which are not constants.
constexpr int stoppingSignals[] = {SIGHUP,    SIGINT,  SIGQUIT, SIGABRT,   SIGUSR1, SIGUSR2,
                                   SIGPIPE,   SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ,
                                   SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,    SIGSYS};

template <typename Visit>
void forEachStoppingSignal(Visit visit) {
    for (const int signal : stoppingSignals)
        visit(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        visit(signal);
}

// A slot in Filling belongs to a thread that has every signal blocked (createTemporary), so the
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

// Blocks every signal that can be blocked on the calling thread for its lifetime.
struct SignalsBlocked {
    sigset_t previous{};

    SignalsBlocked() {
        sigset_t blocked;
        sigfillset(&blocked);
        pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

} // namespace

void removeTemporariesOnSignals() {
    forEachStoppingSignal([](int signal) {
        // A signal ignored by whoever started the process stays ignored, and one that a library
        // already handles stays its business.
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) != 0 || (previous.sa_flags & SA_SIGINFO) != 0 ||
            previous.sa_handler != SIG_DFL)
            return;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndStop;
        sigfillset(&action.sa_mask); // one handler at a time on a thread, and nothing else meanwhile
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    });
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
