#include "session/manager.hpp"

#include <regex>
#include <set>

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "fake_pty.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using test::run_task;

TEST(SessionManager, GivesEachSessionADistinctVersion4Id) {
    test::FakePtySystem layer;
    SessionManager manager(layer);
    std::set<std::string> texts;
    for (int i = 0; i < 5; ++i) {
        const auto id = run_task(manager.open_session("sh", std::nullopt, 80, 24));
        ASSERT_TRUE(id);
        texts.insert(id->to_string());
    }
    EXPECT_EQ(texts.size(), 5u);
    const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    for (const auto& text : texts)
        EXPECT_TRUE(std::regex_match(text, form)) << text;
    layer.log().end_output();
}

TEST(SessionManager, ClosingAnUnknownIdOrTheSameIdTwiceIsAnError) {
    test::FakePtySystem layer;
    SessionManager manager(layer);
    const auto never_opened = SessionId::generate();
    const auto unknown = run_task(manager.close_session(never_opened));
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().describe(), "session 不存在: " + never_opened.to_string());

    const auto id = run_task(manager.open_session("sh", std::nullopt, 80, 24));
    ASSERT_TRUE(id);
    EXPECT_TRUE(run_task(manager.close_session(*id)));
    EXPECT_TRUE(layer.log().saw("master released"));  // torn down by the close
    const auto again = run_task(manager.close_session(*id));
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().message(), "session 不存在: " + id->to_string());
    layer.log().end_output();
}

TEST(SessionManager, ReturnsALaunchErrorAsItIs) {
    test::FakePtySystem layer(test::FailAt::spawn);
    SessionManager manager(layer);
    const auto id = run_task(manager.open_session("sh", std::nullopt, 80, 24));
    ASSERT_FALSE(id);
    EXPECT_EQ(id.error().describe(), "spawn shell 子进程失败\n\nCaused by:\n    fake spawn error");
}

TEST(SessionManager, DroppingTheManagerTearsDownWhatIsLeft) {
    test::FakePtySystem layer;
    {
        SessionManager manager(layer);
        ASSERT_TRUE(run_task(manager.open_session("sh", std::nullopt, 80, 24)));
        ASSERT_TRUE(run_task(manager.open_session("sh", std::nullopt, 80, 24)));
        EXPECT_FALSE(layer.log().saw("master released"));
    }
    const auto events = layer.log().snapshot();
    EXPECT_EQ(std::count(events.begin(), events.end(), "master released"), 2);
    layer.log().end_output();
}

// Closing must end the shell even though the session's reader thread still holds the
// terminal: every shell reaped and every reader thread gone soon after the last close.
TEST(SessionManagerNative, ClosedSessionsEndTheirShellsAndReaderThreads) {
    // The user's own start-up files are no part of this.
    test::TempDir home;
    test::ScopedEnv no_rc_files("HOME", home.path().string());
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
        const auto threads = test::thread_count();
        SessionManager manager;
        std::vector<SessionId> ids;
        auto open_and_close = [&]() -> boost::asio::awaitable<void> {
            for (int i = 0; i < 5; ++i) {
                auto id = co_await manager.open_session(shell, std::nullopt, 80, 24);
                EXPECT_TRUE(id) << id.error().describe();
                if (id) ids.push_back(*id);
            }
            // Let each shell come up and prompt before it is closed.
            boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor,
                                            std::chrono::milliseconds(200));
            co_await timer.async_wait(boost::asio::use_awaitable);
            EXPECT_EQ(test::thread_count(), threads + 5);
            for (const auto& id : ids)
                EXPECT_TRUE(co_await manager.close_session(id));
        };
        run_task(open_and_close());
        const auto closed = std::chrono::steady_clock::now();
        EXPECT_TRUE(test::eventually([&] { return test::thread_count() == threads; },
                                     std::chrono::milliseconds(1000)))
            << shell;
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << shell << ": a child was left unreaped";
        EXPECT_EQ(errno, ECHILD);
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
    SessionManager manager;
    auto churn = [&]() -> boost::asio::awaitable<void> {
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
