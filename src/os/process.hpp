// Starting a program and waiting for it, as the cold-start check does.
#pragma once

#include <string>

#include "base/error.hpp"

namespace murv::os {

// How a program ended.
class ExitStatus {
  public:
    // A normal exit with `code`, or (code ignored) an end by a signal.
    static ExitStatus exited(int code) { return ExitStatus(code, false); }
    static ExitStatus killed_by_signal(int signal) { return ExitStatus(signal, true); }

    // A normal exit with code 0.
    bool success() const { return !signalled_ && value_ == 0; }

  private:
    ExitStatus(int value, bool signalled) : value_(value), signalled_(signalled) {}
    int value_;
    bool signalled_;
};

// Starts `program` (a path, not looked up on the PATH) with the single argument `argument`, the
// tool's own environment, working directory and standard streams, and waits for it to exit.
// The program inherits no other descriptor or handle, the default signal dispositions and an
// empty signal mask. The error is the operating system's own, with no words around it, when
// it cannot be started or waited for.
Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument);

}  // namespace murv::os
