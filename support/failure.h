// How every step of Tessera's file work that can fail says so: it returns a Result, which holds
// either what the step made or a Failure saying which step failed and why. Nothing in codecs/,
// files/, enlarge/ or tools/ reports failure any other way (no empty strings, no null pointers,
// no exceptions across steps).
#pragma once

#include <string>
#include <variant>

namespace tessera {

// What could not be done. The command line has its own report; the other three name a file:
// the input for Read and Enlarge, the output for Write.
enum class Step { ParseCommandLine, Read, Enlarge, Write };

struct Failure {
    Step step = Step::Read;
    // Why, as the end of a sentence such as "cannot read 'hero.png': it is a directory", so that
    // whoever reports it names the file once.
    std::string reason;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// What a step made, or why it made nothing. Steps that make nothing return Result<>, whose
// value-initialised state (std::monostate) is success. Read it with std::get_if<Failure>.
template <typename Value = std::monostate>
using Result = std::variant<Value, Failure>;

} // namespace tessera
