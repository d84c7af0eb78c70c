// A pseudo-terminal layer for tests that behaves as a Windows console host before Windows 11
// 24H2 does: its shell writes without pause into a pipe of bounded size, and releasing the
// master (ClosePseudoConsole) ends the shell, then waits until the host's output has been read
// to the end or every read end of it is closed. A close that would wait for good gives up
// after a few seconds and is counted as hung, so that a test fails instead of hanging.
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
