// A layer that acts as a console host before Windows 11 24H2: its shell writes into a bounded
// pipe without pause; releasing the master ends the shell, then waits until the output is read
// or every read end is closed, giving up after a few seconds as a hung close, not a hung test.
#pragma once

#include <atomic>
#include <chrono>

#include "pty/pty.hpp"

namespace test {

class BlockingHostPtySystem final : public murv::pty::PtySystem {
  public:
    murv::Result<murv::pty::PtyPair> openpty(murv::pty::PtySize size) override;

    // Closes that waited for the host's output longer than the limit.
    int hung_closes() const { return hung_closes_; }
    // Closes that are done.
    int closes() const { return closes_; }

  private:
    std::atomic<int> hung_closes_ = 0;
    std::atomic<int> closes_ = 0;
};

}  // namespace test
