#include "bin/perf_assert/idle_rss.hpp"

#include <gtest/gtest.h>

#include "bin/perf_assert/report.hpp"
#include "support/error.hpp"
#include "test_support.hpp"

namespace perf_assert {
namespace {

using murv::session::SessionId;

TEST(WholeMegabytes, RoundsDownAndTheBudgetEdgeHolds) {
    EXPECT_EQ(whole_megabytes(83'886'080), 80u);
    EXPECT_FALSE(over_budget(whole_megabytes(83'886'080), RSS_BUDGET_MB));
    EXPECT_EQ(whole_megabytes(84'934'655), 80u);
    EXPECT_FALSE(over_budget(whole_megabytes(84'934'655), RSS_BUDGET_MB));
    EXPECT_EQ(whole_megabytes(84'934'656), 81u);
    EXPECT_TRUE(over_budget(whole_megabytes(84'934'656), RSS_BUDGET_MB));
    EXPECT_EQ(whole_megabytes(1'048'575), 0u);
}

TEST(IdleSessionShell, UsesTheSystemShellVariableWhenPresentEvenEmpty) {
    {
        test::ScopedEnv shell("SHELL", "/bin/bash");
        EXPECT_EQ(idle_session_shell(), "/bin/bash");
    }
    {
        test::ScopedEnv shell("SHELL", "");
        EXPECT_EQ(idle_session_shell(), "");
    }
    for (const auto& unusable :
         {std::optional<std::string>(), std::optional<std::string>("\xff")}) {
        test::ScopedEnv shell("SHELL", unusable);
        EXPECT_EQ(idle_session_shell(), "/bin/sh");
    }
}

// Records the calls; closing the second id fails.
struct RecordingSessions {
    std::vector<std::string> calls;
    std::vector<SessionId> opened;

    boost::asio::awaitable<murv::Result<SessionId>> open_session(std::optional<std::string> shell,
                                                                 std::optional<std::string> cwd,
                                                                 std::uint16_t cols,
                                                                 std::uint16_t rows) {
        calls.push_back(fmt::format("open {} {} {}x{}", *shell, cwd.has_value(), cols, rows));
        opened.push_back(SessionId::generate());
        co_return opened.back();
    }
    boost::asio::awaitable<murv::Result<void>> close_session(SessionId id) {
        const auto index = std::find(opened.begin(), opened.end(), id) - opened.begin();
        calls.push_back(fmt::format("close {}", index));
        if (index == 1) co_return std::unexpected(murv::Error("session 不存在: " + id.to_string()));
        co_return murv::Result<void>{};
    }
};

TEST(IdleCheck, OpensFiveThenClosesAllInOrderEvenWhenACloseFails) {
    test::ScopedEnv shell("SHELL", "/bin/sh");
    RecordingSessions sessions;
    const auto megabytes = test::run_task(
        idle_rss_of(sessions, std::chrono::milliseconds(1), std::chrono::milliseconds(1)));
    EXPECT_EQ(sessions.calls,
              (std::vector<std::string>{"open /bin/sh false 80x24", "open /bin/sh false 80x24",
                                        "open /bin/sh false 80x24", "open /bin/sh false 80x24",
                                        "open /bin/sh false 80x24", "close 0", "close 1", "close 2",
                                        "close 3", "close 4"}));
    EXPECT_GT(megabytes, 0u);  // a real reading of this process
}

}  // namespace
}  // namespace perf_assert
