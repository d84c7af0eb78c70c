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

// Whole MB of 2^20 bytes, the remainder dropped.
constexpr std::uint64_t whole_megabytes(std::uint64_t bytes) {
    return bytes >> 20;
}

// The shell of every idle session: the system shell variable's value when it is present and
// valid Unicode (even empty), else the platform's fallback shell. Read afresh at each call.
std::string idle_session_shell();

// This process's resident bytes; a reading that fails is a fatal stop, never a 0.
std::uint64_t resident_bytes_or_stop();

// The check on a fresh SessionManager; returns the figure in MB.
// `layer` is for tests, which watch the check's opens and closes on a fake one.
asio::awaitable<std::uint64_t> measure_idle_rss(pty::PtySystem& layer = pty::native_pty_system());

}  // namespace murv::perf_assert
