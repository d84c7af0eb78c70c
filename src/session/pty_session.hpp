// One shell on a pseudo terminal, with its output reader thread and output ring.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/async_mutex.hpp"
#include "base/error.hpp"
#include "pty/pty.hpp"
#include "session/output.hpp"
#include "session/session_id.hpp"

namespace murv::session {

// The first of `variables` present and valid Unicode, even empty; else the fallback shell.
std::string shell_from(std::span<const char* const> variables);

struct PtySession {
    // `shell` (else the user's) on a new terminal of `system`, in `cwd` (else the profile's).
    static Result<PtySession> open(pty::PtySystem& system, std::optional<std::string> shell,
                                   std::optional<std::string> cwd, std::uint16_t cols,
                                   std::uint16_t rows);

    SessionId id;
    std::optional<std::uint32_t> child_pid;
    // Released in reverse order: the writer, the receiver (the channel closes), the master.
    std::shared_ptr<OutputRing> output_ring;
    std::shared_ptr<AsyncMutex<std::unique_ptr<pty::MasterPty>>> master;
    AsyncMutex<OutputReceiver> output_rx;
    std::shared_ptr<AsyncMutex<std::unique_ptr<pty::Writer>>> writer;
};

}  // namespace murv::session
