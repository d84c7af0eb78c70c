// Sessions through the tool's own session layer, opened as its idle check opens them.
// Usage: sessions_probe SESSIONS IDLE_MS
// Prints what floor_sessions prints: the time of all the opens, this process's resident bytes
// after the idle wait, and the time from the last close until every reader thread (each reaps
// its shell) has ended.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include "idle_rss.hpp"
#include "os/clock.hpp"
#include "os/process_setup.hpp"
#include "os/resident_memory.hpp"
#ifdef _WIN32
#include "os/win32.hpp"
#endif
#include "session/manager.hpp"

namespace {

using Clock = murv::os::MonotonicClock;
namespace perf_assert = murv::perf_assert;
namespace session = murv::session;

// Counted only once the resident figure is taken, and with the system's own calls: the count
// is no part of what is measured (std::filesystem alone would bring the C++ locale's code into
// the program).
#ifdef _WIN32
std::size_t thread_count() {
    const DWORD self = ::GetCurrentProcessId();
    const murv::os::win32::UniqueHandle threads(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    std::size_t count = 0;
    for (bool more = threads && ::Thread32First(threads.get(), &thread); more;
         more = ::Thread32Next(threads.get(), &thread)) {
        count += thread.th32OwnerProcessID == self;
    }
    return count;
}
#else
std::size_t thread_count() {
    std::size_t count = 0;
    const std::unique_ptr<DIR, int (*)(DIR*)> tasks(::opendir("/proc/self/task"), ::closedir);
    while (tasks && ::readdir(tasks.get()) != nullptr)
        ++count;
    return count - 2;  // "." and ".."
}
#endif

double micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

murv::asio::awaitable<void> probe(int count, std::chrono::milliseconds idle) {
    session::SessionManager manager(murv::pty::native_pty_system());
    std::vector<session::SessionId> ids;

    const auto opening = Clock::now();
    for (int i = 0; i < count; ++i) {
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

    // The threads that stay once every reader has ended: the loop's own on POSIX; on Windows
    // also the one Asio's timers wait on and any the system runs for the process, so there
    // they are those of now less the readers (a reader ends only once its console is closed).
#ifdef _WIN32
    const std::size_t others = thread_count() - ids.size();
#else
    const std::size_t others = 1;
#endif
    const auto closing = Clock::now();
    for (const auto& id : ids)
        (void)co_await manager.close_session(id);
    while (thread_count() > others)  // the reader threads gone
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    const auto reaped = Clock::now();

    std::printf("open_us=%.0f rss_bytes=%llu reap_us=%.0f\n", micros(opened - opening),
                static_cast<unsigned long long>(resident ? *resident : 0),
                micros(reaped - closing));
}

}  // namespace

int main(int argc, char** argv) {
    murv::os::prepare_process();  // as the tool starts
    const int count = argc > 1 ? std::atoi(argv[1]) : 5;
    const auto idle = std::chrono::milliseconds(argc > 2 ? std::atoi(argv[2]) : 2000);
    boost::asio::io_context loop(1);
    boost::asio::co_spawn(loop, probe(count, idle), boost::asio::detached);
    loop.run();
}
