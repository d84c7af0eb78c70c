// One shell on a pseudo terminal, with its output reader thread and output ring.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/async_mutex.hpp"
#include "base/error.hpp"
#include "pty/pty.hpp"
#include "session/output.hpp"
#include "session/session_id.hpp"

namespace murv::session {

struct PtySession {
    // Starts `shell` (when absent: the first usable shell variable, else the platform's
    // fallback shell) on a new terminal of `cols` by `rows`, in `cwd` (when absent: the
    // user's profile directory, if known), and starts the session's output reader thread.
    static Result<PtySession> open(std::optional<std::string> shell, std::optional<std::string> cwd,
                                   std::uint16_t cols, std::uint16_t rows);
    // The same on the given pseudo-terminal layer.
    static Result<PtySession> open(pty::PtySystem& system, std::optional<std::string> shell,
                                   std::optional<std::string> cwd, std::uint16_t cols,
                                   std::uint16_t rows);

    SessionId id;
    std::optional<std::uint32_t> child_pid;
    // Members go in reverse order of declaration, and a session is released in this order:
    // the writer (the terminal's input closes), the output receiver (the channel closes), the
    // master (the terminal closes), and the ring reference last.
    std::shared_ptr<OutputRing> output_ring;
    std::shared_ptr<AsyncMutex<std::unique_ptr<pty::MasterPty>>> master;
    AsyncMutex<OutputReceiver> output_rx;
    std::shared_ptr<AsyncMutex<std::unique_ptr<pty::Writer>>> writer;
};

}  // namespace murv::session
