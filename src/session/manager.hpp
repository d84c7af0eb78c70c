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
    SessionManager() : SessionManager(pty::native_pty_system()) {}
    // Sessions on the given layer, which must outlive the manager.
    explicit SessionManager(pty::PtySystem& system) : system_(&system) {}

    // Launches a session (see PtySession::open), then registers it. The launch runs before
    // the registry's lock is taken; a launch error is returned as it is.
    boost::asio::awaitable<Result<SessionId>> open_session(std::optional<std::string> shell,
                                                           std::optional<std::string> cwd,
                                                           std::uint16_t cols, std::uint16_t rows);

    // Removes the session and tears it down while the lock is held; the error
    // "session 不存在: <id>" when no such session is registered.
    boost::asio::awaitable<Result<void>> close_session(SessionId id);

  private:
    pty::PtySystem* system_;  // not owned
    AsyncMutex<std::unordered_map<SessionId, std::shared_ptr<PtySession>>> sessions_;
};

}  // namespace murv::session
