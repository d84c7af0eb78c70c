// The idle memory check: the tool's own resident memory with five idle terminal sessions.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "base/asio.hpp"
#include "base/fatal.hpp"
#include "os/clock.hpp"
#include "session/session_id.hpp"

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

// The check on a fresh SessionManager of the native layer; returns the figure in MB.
asio::awaitable<std::uint64_t> measure_idle_rss();

// How long the check idles before it measures, and waits after the last close.
struct IdleWaits {
    std::chrono::milliseconds idle = IDLE_WAIT;
    std::chrono::milliseconds close_grace = CLOSE_GRACE;
};

// The check's steps on `sessions`: anything with open_session and close_session as
// SessionManager has them.
template <class Sessions>
asio::awaitable<std::uint64_t> idle_rss_of(Sessions& sessions, IdleWaits waits = {}) {
    std::vector<session::SessionId> ids;
    ids.reserve(IDLE_SESSION_COUNT);
    for (std::size_t i = 0; i < IDLE_SESSION_COUNT; ++i) {
        auto opened = co_await sessions.open_session(idle_session_shell(), std::nullopt, IDLE_COLS,
                                                     IDLE_ROWS);
        if (!opened) fatal(fmt::format("开 session 失败: {}", opened.error().describe()));
        ids.push_back(*opened);
    }

    co_await os::sleep_for(waits.idle);
    const std::uint64_t resident = resident_bytes_or_stop();

    for (const session::SessionId& id : ids) {
        (void)co_await sessions.close_session(id);  // an error changes nothing here
    }
    ids = {};

    co_await os::sleep_for(waits.close_grace);
    co_return whole_megabytes(resident);
}

}  // namespace murv::perf_assert
