// The idle memory check: the tool's own resident memory with five idle terminal sessions.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "base/asio.hpp"
#include "pty/pty.hpp"

namespace murv::perf_assert {

inline constexpr std::size_t IDLE_SESSION_COUNT = 5;
inline constexpr std::uint16_t IDLE_COLS = 80;
inline constexpr std::uint16_t IDLE_ROWS = 24;
inline constexpr std::chrono::milliseconds IDLE_WAIT{2000};
inline constexpr std::chrono::milliseconds CLOSE_GRACE{200};
inline constexpr std::uint64_t RSS_BUDGET_MB = 80;

constexpr std::uint64_t whole_megabytes(std::uint64_t bytes) {
    return bytes >> 20;
}

// The shell of every idle session: the system's command interpreter (session::shell_from).
std::string idle_session_shell();

// The check on a fresh SessionManager of sessions on `layer`; returns the figure in MB.
asio::awaitable<std::uint64_t> measure_idle_rss(pty::PtySystem& layer);

}  // namespace murv::perf_assert
