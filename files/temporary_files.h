// The hidden temporary files that tessera-scale and the editor write their outputs into, and their
// removal when a signal (Ctrl-C, a kill, a closed terminal, a resource limit) ends the process
// before they were renamed.
//
// Each temporary file is registered in a fixed table from the moment it exists until it is
// forgotten, and the signal handlers remove what is registered. The table is plain memory and
// atomics, so the handlers touch nothing but what is safe in a signal handler: atomic loads and
// exchanges, unlink, sigaction and raise.
#pragma once

#include "failure.h"

#include <cstddef>
#include <string>

namespace tessera::files {

// The most temporary files registered at once: one per thread writing.
inline constexpr std::size_t maxTemporaries = 512;

// Installs a handler for every signal whose default action ends the process (SIGHUP, SIGINT,
// SIGQUIT, SIGTERM, SIGUSR1, SIGPIPE, SIGXFSZ, the real-time signals and the rest), but for the
// faults of the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP), and only where the
// signal still has its default action: one ignored when the process started (nohup, a background
// job of a non-interactive shell) stays ignored. A handler removes every registered temporary
// file, stops any more from being created, then ends the process by the same signal, as it would
// have ended without the handler, so that the exit status still names it. Call once, before any
// thread starts.
void removeTemporariesOnSignals();

struct RegisteredTemporary {
    int descriptor = -1;        // open for writing
    const char* path = nullptr; // valid until the file is forgotten
    std::size_t slot = 0;
};

// Creates a new empty file, private to its owner, from `pattern`, whose six characters before
// the last `suffixLength` are X's that are replaced to make the name unique (as mkstemps does),
// and registers it. A Write failure when it cannot be created, or once a signal is ending the
// process.
Result<RegisteredTemporary> createTemporary(const std::string& pattern, int suffixLength);

// Takes the file out of the registry once it has been renamed or removed, so that a signal
// after this leaves its name alone.
void forgetTemporary(const RegisteredTemporary& temporary);

} // namespace tessera::files
