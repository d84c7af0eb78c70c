#include "base/async_mutex.hpp"

#include <string>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <gtest/gtest.h>

namespace murv {
namespace {

namespace asio = boost::asio;

TEST(AsyncMutex, ServesWaitersInArrivalOrderAndGuardsItsValue) {
    asio::io_context context(1);
    AsyncMutex<std::vector<std::string>> mutex;

    // The first holder keeps the lock across a suspension; the others queue behind it.
    auto holder = [&]() -> asio::awaitable<void> {
        auto guard = co_await mutex.lock();
        guard->push_back("first");
        asio::steady_timer timer(context, std::chrono::milliseconds(20));
        co_await timer.async_wait(asio::use_awaitable);
        guard->push_back("first done");
    };
    auto waiter = [&](std::string name) -> asio::awaitable<void> {
        auto guard = co_await mutex.lock();
        guard->push_back(name);
    };
    std::vector<std::string> last_seen;
    auto last = [&]() -> asio::awaitable<void> { last_seen = *co_await mutex.lock(); };
    asio::co_spawn(context, holder(), asio::detached);
    for (const char* name : {"second", "third", "fourth"})
        asio::co_spawn(context, waiter(name), asio::detached);
    asio::co_spawn(context, last(), asio::detached);
    context.run();

    EXPECT_EQ(last_seen,
              (std::vector<std::string>{"first", "first done", "second", "third", "fourth"}));
}

}  // namespace
}  // namespace murv
