// The idle memory check: the tool's own resident memory with five idle terminal sessions.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <fmt/format.h>

#include "session/session_id.hpp"
#include "support/fatal.hpp"
#include "support/resident_memory.hpp"

namespace perf_assert {

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

// Opens five sessions on a fresh SessionManager, idles, measures, closes them; returns MB.
boost::asio::awaitable<std::uint64_t> measure_idle_rss();

// Reads this process's resident bytes; a reading that fails is a fatal stop, never a 0.
std::uint64_t resident_bytes_or_stop();

// The check's steps on `sessions`: anything with open_session and close_session as
// SessionManager has them.
template <class Sessions>
boost::asio::awaitable<std::uint64_t> idle_rss_of(Sessions& sessions,
                                                  std::chrono::milliseconds idle_wait,
                                                  std::chrono::milliseconds close_grace) {
    std::vector<murv::session::SessionId> ids;
    ids.reserve(IDLE_SESSION_COUNT);
    for (std::size_t i = 0; i < IDLE_SESSION_COUNT; ++i) {
        auto opened = co_await sessions.open_session(idle_session_shell(), std::nullopt, IDLE_COLS,
                                                     IDLE_ROWS);
        if (!opened) murv::fatal(fmt::format("开 session 失败: {}", opened.error().describe()));
        ids.push_back(*opened);
    }

    boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, idle_wait);
    co_await timer.async_wait(boost::asio::use_awaitable);

    const std::uint64_t resident = resident_bytes_or_stop();

    for (const auto& id : ids) {
        (void)co_await sessions.close_session(id);  // an error changes nothing here
    }
    ids = {};

    timer.expires_after(close_grace);
    co_await timer.async_wait(boost::asio::use_awaitable);
    co_return whole_megabytes(resident);
}

}  // namespace perf_assert
