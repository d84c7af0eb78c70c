// The registry of open sessions, keyed by their random ids.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include <boost/asio/awaitable.hpp>

#include "base/async_mutex.hpp"
#include "base/error.hpp"
#include "pty/pty.hpp"
#include "session/pty_session.hpp"
#include "session/session_id.hpp"

namespace murv::session {

class SessionManager {
  public:
    // Sessions on `system`, which must outlive the manager.
    explicit SessionManager(pty::PtySystem& system) : system_(&system) {}

    // Launches a session, then registers it under the lock; a launch error is returned as it is.
    boost::asio::awaitable<Result<SessionId>> open_session(std::optional<std::string> shell,
                                                           std::optional<std::string> cwd,
                                                           std::uint16_t cols, std::uint16_t rows);

    // Removes the session and tears it down under the lock.
    boost::asio::awaitable<Result<void>> close_session(SessionId id);

  private:
    pty::PtySystem* system_;  // not owned
    AsyncMutex<std::unordered_map<SessionId, std::shared_ptr<PtySession>>> sessions_;
};

}  // namespace murv::session
