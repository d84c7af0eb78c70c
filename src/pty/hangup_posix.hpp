// The hang-up of a terminal whose master is released, POSIX only. See hangup_posix.cpp.
#pragma once

#include <memory>

#include "base/error.hpp"
#include "os/posix.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

// Held by a master: hands out readers of its terminal and, when the master goes, hangs the
// terminal up for the programs on it and for those readers.
class HangUp {
  public:
    static Result<HangUp> make();

    // A reader of the terminal's output through `terminal` (a duplicate of the master's
    // descriptor) that drops it and reads the end of the output once the hang-up has happened.
    Result<std::unique_ptr<Reader>> reader_of(os::UniqueFd terminal) const;

    // Hangs up the terminal of `master`, which is about to be closed.
    void hang_up(int master);

  private:
    HangUp(os::UniqueFd released_read, os::UniqueFd released_write)
        : released_read_(std::move(released_read)), released_write_(std::move(released_write)) {}

    os::UniqueFd released_read_;   // duplicated into every reader
    os::UniqueFd released_write_;  // closed at the hang-up: the readers see the pipe end
};

}  // namespace murv::pty
