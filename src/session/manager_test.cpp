#include "session/manager.hpp"

#include <set>

#include <gtest/gtest.h>

#include "blocking_host_pty.hpp"
#include "fake_pty.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using test::run_task;

TEST(SessionManager, RegistersEachSessionUnderADistinctId) {
    test::FakePtySystem layer;
    SessionManager manager(layer);
    std::set<std::string> texts;
    for (int i = 0; i < 5; ++i) {
        const auto id = run_task(manager.open_session("sh", std::nullopt, 80, 24));
        ASSERT_TRUE(id);
        texts.insert(id->to_string());
    }
    EXPECT_EQ(texts.size(), 5u);
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

// Under a host whose close waits for its output to be read (blocking_host_pty.hpp), closes of
// sessions whose shells still write, and the manager's drop, end: the readers read on or let go.
TEST(SessionManager, ClosesCompleteUnderAHostThatWaitsForItsOutputToBeRead) {
    test::BlockingHostPtySystem layer;
    {
        SessionManager manager(layer);
        std::vector<SessionId> ids;
        for (int i = 0; i < 5; ++i) {
            const auto id = run_task(manager.open_session("sh", std::nullopt, 80, 24));
            ASSERT_TRUE(id);
            ids.push_back(*id);
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(run_task(manager.close_session(ids[i])));
        EXPECT_EQ(layer.closes(), 3);
    }  // two left for the manager's drop
    EXPECT_EQ(layer.closes(), 5);
    EXPECT_EQ(layer.hung_closes(), 0);
}

}  // namespace
}  // namespace murv::session
