// Five idle sessions through the tool's own session layer, as its idle check opens them:
// prints the time the five opens took, this process's resident bytes after the idle wait,
// and the time from the last close until every reader thread (each reaps its shell) ended.
// Usage: sessions_probe IDLE_MS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "idle_rss.hpp"
#include "os/resident_memory.hpp"
#include "session/manager.hpp"

namespace {

using Clock = std::chrono::steady_clock;

std::size_t thread_count() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& task :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

double micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

namespace perf_assert = murv::perf_assert;
namespace session = murv::session;

murv::asio::awaitable<void> probe(std::chrono::milliseconds idle) {
    const std::size_t threads = thread_count();
    session::SessionManager manager;
    std::vector<session::SessionId> ids;

    const auto opening = Clock::now();
    for (std::size_t i = 0; i < perf_assert::IDLE_SESSION_COUNT; ++i) {
        auto id = co_await manager.open_session(perf_assert::idle_session_shell(), std::nullopt,
                                                perf_assert::IDLE_COLS, perf_assert::IDLE_ROWS);
        if (!id) {
            std::fprintf(stderr, "%s\n", id.error().describe().c_str());
            std::exit(2);
        }
        ids.push_back(*id);
    }
    const auto opened = Clock::now();

    co_await murv::os::sleep_for(idle);
    const auto resident = murv::os::own_resident_bytes();

    for (const auto& id : ids)
        (void)co_await manager.close_session(id);
    const auto closed = Clock::now();
    while (thread_count() > threads)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    const auto reaped = Clock::now();

    std::printf("open_us=%.0f rss_bytes=%llu reap_us=%.0f\n", micros(opened - opening),
                static_cast<unsigned long long>(resident ? *resident : 0), micros(reaped - closed));
}

}  // namespace

int main(int argc, char** argv) {
    const auto idle = std::chrono::milliseconds(argc > 1 ? std::atoi(argv[1]) : 2000);
    boost::asio::io_context loop(1);
    boost::asio::co_spawn(loop, probe(idle), boost::asio::detached);
    loop.run();
}
