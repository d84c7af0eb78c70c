// Starting a program and waiting for it, as the cold-start check does.
#pragma once

#include <string>

#include "base/error.hpp"

namespace murv::os {

// How a program ended: whether it was a normal exit with code 0.
class ExitStatus {
  public:
    static ExitStatus exited(int code) { return ExitStatus(code == 0); }
    static ExitStatus killed_by_signal() { return ExitStatus(false); }

    bool success() const { return success_; }

  private:
    explicit ExitStatus(bool success) : success_(success) {}
    bool success_;
};

// Starts `program` (a path, not looked up on the PATH) with the single argument `argument`, the
// tool's own environment, working directory and standard streams, and waits for it to exit.
// The program inherits no other descriptor or handle, the default signal dispositions and an
// empty signal mask. The error is the operating system's own, with no words around it, when
// it cannot be started or waited for.
Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument);

}  // namespace murv::os
