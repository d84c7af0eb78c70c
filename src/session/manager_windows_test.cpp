#include <algorithm>

#include <windows.h>

#include <gtest/gtest.h>

#include "os/clock.hpp"
#include "session/manager.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using namespace std::chrono_literals;

// What this process started that still runs: shells and their console hosts.
std::vector<std::string> started_here() {
    auto names = test::children_of(::GetCurrentProcessId());
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t count_of(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

// Opens five sessions of `shell`, lets them come up, and closes them. Returns what this
// process had started while they were open.
std::vector<std::string> open_and_close_five(const std::string& shell) {
    SessionManager manager(pty::native_pty_system());
    std::vector<std::string> while_open;
    auto run = [&]() -> asio::awaitable<void> {
        std::vector<SessionId> ids;
        for (int i = 0; i < 5; ++i) {
            auto id = co_await manager.open_session(shell, std::nullopt, 80, 24);
            EXPECT_TRUE(id) << id.error().describe();
            if (id) ids.push_back(*id);
        }
        co_await os::sleep_for(500ms);
        while_open = started_here();
        for (const auto& id : ids)
            EXPECT_TRUE(co_await manager.close_session(id));
    };
    test::run_task(run());
    return while_open;
}

// Closing must end the shell and its console host even though the session's reader thread
// still holds the console's output: every reader thread gone soon after the last close.
TEST(SessionManagerNative, ClosedSessionsEndTheirShellsConsoleHostsAndReaderThreads) {
    test::ScopedEnv stay("PROBE_STAY", "1");  // the probe stays up until its console goes
    (void)open_and_close_five(PROBE_PATH);    // any thread the system keeps for later is made
    ASSERT_TRUE(test::eventually([] { return started_here().empty(); }, 5s));

    const auto threads = test::thread_count();
    const auto while_open = open_and_close_five(PROBE_PATH);
    EXPECT_EQ(count_of(while_open, "probe.exe"), 5u) << testing::PrintToString(while_open);
    EXPECT_EQ(count_of(while_open, "conhost.exe"), 5u) << testing::PrintToString(while_open);

    const auto closed = std::chrono::steady_clock::now();
    EXPECT_TRUE(test::eventually([] { return started_here().empty(); }, 5s))
        << testing::PrintToString(started_here());
    EXPECT_TRUE(test::eventually([&] { return test::thread_count() <= threads; }, 5s))
        << test::thread_count() << " threads, " << threads << " before";
    std::printf("all five ended %lld ms after the last close\n",
                static_cast<long long>((std::chrono::steady_clock::now() - closed) / 1ms));
}

TEST(SessionManagerNative, ClosedCmdSessionsLeaveNothingRunning) {
    const auto while_open = open_and_close_five("cmd.exe");
    EXPECT_EQ(count_of(while_open, "conhost.exe"), 5u) << testing::PrintToString(while_open);
    if (!test::under_wine()) {  // Wine's cmd.exe has ended by itself already
        EXPECT_EQ(count_of(while_open, "cmd.exe"), 5u) << testing::PrintToString(while_open);
    }
    EXPECT_TRUE(test::eventually([] { return started_here().empty(); }, 5s))
        << testing::PrintToString(started_here());
}

}  // namespace
}  // namespace murv::session
