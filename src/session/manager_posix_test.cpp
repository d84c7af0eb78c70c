#include <cstdio>

#include <gtest/gtest.h>

#include "os/clock.hpp"
#include "session/manager.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using test::run_task;

// Closing must end the shell even though the session's reader thread still holds the
// terminal: every shell reaped and every reader thread gone soon after the last close.
TEST(SessionManagerNative, ClosedSessionsEndTheirShellsAndReaderThreads) {
    // The user's own start-up files are no part of this.
    test::TempDir home;
    test::ScopedEnv no_rc_files("HOME", home.path().string());
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
        const auto threads = test::thread_count();
        SessionManager manager(pty::native_pty_system());
        std::vector<SessionId> ids;
        auto open_and_close = [&]() -> asio::awaitable<void> {
            for (int i = 0; i < 5; ++i) {
                auto id = co_await manager.open_session(shell, std::nullopt, 80, 24);
                EXPECT_TRUE(id) << id.error().describe();
                if (id) ids.push_back(*id);
            }
            // Let each shell come up and prompt before it is closed.
            co_await os::sleep_for(std::chrono::milliseconds(200));
            EXPECT_EQ(test::thread_count(), threads + 5);
            for (const auto& id : ids)
                EXPECT_TRUE(co_await manager.close_session(id));
        };
        run_task(open_and_close());
        const auto closed = std::chrono::steady_clock::now();
        EXPECT_TRUE(test::eventually([&] { return test::thread_count() == threads; },
                                     std::chrono::milliseconds(1000)))
            << shell;
        EXPECT_FALSE(test::has_children()) << shell << ": a child was left unreaped";
        std::printf("%s: all five reaped %lld ms after the last close\n", shell,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - closed)
                                               .count()));
    }
}

// Opening and closing many sessions, one after another, holds on to nothing: descriptors,
// threads and children all return to where they were.
TEST(SessionManagerNative, TwoHundredOpensAndClosesLeaveNothingBehind) {
    const auto descriptors = test::descriptor_count();
    const auto threads = test::thread_count();
    SessionManager manager(pty::native_pty_system());
    auto churn = [&]() -> asio::awaitable<void> {
        for (int i = 0; i < 200; ++i) {
            auto id = co_await manager.open_session("/bin/sh", std::nullopt, 80, 24);
            if (!id) {
                ADD_FAILURE() << "open " << i << ": " << id.error().describe();
                co_return;
            }
            EXPECT_TRUE(co_await manager.close_session(*id));
        }
    };
    run_task(churn());
    EXPECT_TRUE(test::eventually(
        [&] { return test::thread_count() == threads && test::descriptor_count() == descriptors; },
        std::chrono::milliseconds(5000)))
        << test::thread_count() << " threads (" << threads << " before), "
        << test::descriptor_count() << " descriptors (" << descriptors << " before)";
    EXPECT_FALSE(test::has_children());
}

}  // namespace
}  // namespace murv::session
