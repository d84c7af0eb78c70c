// The monotonic clock that times the launches and the waits, and the event loop's timers on it.
#pragma once

#include <chrono>

#include <boost/asio/basic_waitable_timer.hpp>

#include "base/asio.hpp"

namespace murv::os {

// The system's monotonic high-resolution clock, read through a call that can fail. The C++
// library's steady clock drops that failure and goes on with an unset time, which puts a
// launch's sample or a timer's expiry anywhere; a reading that fails here is a fatal stop.
struct MonotonicClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<MonotonicClock>;
    static constexpr bool is_steady = true;

    static time_point now();
};

// A timer of the event loop on that clock.
using Timer = asio::basic_waitable_timer<MonotonicClock>;

// Suspends the calling coroutine for `duration` on its executor's timer, not its thread.
inline asio::awaitable<void> sleep_for(MonotonicClock::duration duration) {
    Timer timer(co_await asio::this_coro::executor, duration);
    co_await timer.async_wait(asio::use_awaitable);
}

}  // namespace murv::os
