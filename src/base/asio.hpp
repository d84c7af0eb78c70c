// The pieces of Boost.Asio that the project's coroutines use, under a short name.
#pragma once

#include <chrono>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace murv {

namespace asio = boost::asio;

// Suspends the calling coroutine for `duration` on its executor's timer, not its thread.
inline asio::awaitable<void> sleep_for(std::chrono::steady_clock::duration duration) {
    asio::steady_timer timer(co_await asio::this_coro::executor, duration);
    co_await timer.async_wait(asio::use_awaitable);
}

}  // namespace murv
