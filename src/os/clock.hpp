// The monotonic clock that times the launches and the waits, and the event loop's timers on it.
#pragma once

#include <chrono>
#include <source_location>

#include <boost/asio/basic_waitable_timer.hpp>

#include "base/asio.hpp"

namespace murv::os {

// The library's steady clock drops a failed reading and goes on with an unset time.
struct MonotonicClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<MonotonicClock>;
    static constexpr bool is_steady = true;

    static time_point now();

  private:
    // The stop for a failed reading, with the system's last error.
    [[noreturn]] static void stop_unread(
        std::source_location where = std::source_location::current());
};

using Timer = asio::basic_waitable_timer<MonotonicClock>;

// Suspends the calling coroutine for `duration` on its executor's timer, not its thread.
inline asio::awaitable<void> sleep_for(MonotonicClock::duration duration) {
    Timer timer(co_await asio::this_coro::executor, duration);
    co_await timer.async_wait(asio::use_awaitable);
}

}  // namespace murv::os
