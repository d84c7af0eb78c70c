#pragma once

#include <memory>

#include "base/error.hpp"
#include "os/posix.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

// Held by a master: its readers, and the hang-up when the master goes (see hangup_posix.cpp).
class HangUp {
  public:
    static Result<HangUp> make();

    // Through `terminal`, a duplicate of the master's, which it drops at the hang-up.
    Result<std::unique_ptr<Reader>> reader_of(os::UniqueFd terminal) const;

    void hang_up(int master);

  private:
    HangUp(os::UniqueFd released_read, os::UniqueFd released_write)
        : released_read_(std::move(released_read)), released_write_(std::move(released_write)) {}

    os::UniqueFd released_read_;   // duplicated into every reader
    os::UniqueFd released_write_;  // closed at the hang-up: the readers see the pipe end
};

}  // namespace murv::pty
