#include "idle_rss.hpp"

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "base/error.hpp"
#include "blocking_host_pty.hpp"
#include "report.hpp"
#include "session/manager.hpp"
#include "test_support.hpp"

namespace murv::perf_assert {
namespace {

using session::SessionId;

TEST(WholeMegabytes, RoundsDownAndTheBudgetEdgeHolds) {
    EXPECT_EQ(whole_megabytes(83'886'080), 80u);
    EXPECT_FALSE(over_budget(whole_megabytes(83'886'080), RSS_BUDGET_MB));
    EXPECT_EQ(whole_megabytes(84'934'655), 80u);
    EXPECT_FALSE(over_budget(whole_megabytes(84'934'655), RSS_BUDGET_MB));
    EXPECT_EQ(whole_megabytes(84'934'656), 81u);
    EXPECT_TRUE(over_budget(whole_megabytes(84'934'656), RSS_BUDGET_MB));
    EXPECT_EQ(whole_megabytes(1'048'575), 0u);
}

// "SHELL" here, "ComSpec" on Windows; else "/bin/sh" ("cmd.exe").
TEST(IdleSessionShell, IsTheSystemShellVariableWhenPresentEvenEmptyElseTheFallback) {
    const char* const variable = test::SYSTEM_SHELL_VARIABLE;
    {
        test::ScopedEnv shell(variable, "/bin/bash");
        EXPECT_EQ(idle_session_shell(), "/bin/bash");
    }
    {
        test::ScopedEnv shell(variable, "");
        EXPECT_EQ(idle_session_shell(), "");
    }
    {
        test::ScopedEnv shell(variable, std::nullopt);
        EXPECT_EQ(idle_session_shell(), test::FALLBACK_SHELL);
    }
    const auto shell = test::ScopedEnv::not_unicode(variable);
    EXPECT_EQ(idle_session_shell(), test::FALLBACK_SHELL);
}

// Records the calls; closing the second id fails. `on_open` runs after each open.
struct RecordingSessions {
    std::vector<std::string> calls;
    std::vector<SessionId> opened;
    std::function<void()> on_open = [] {};

    asio::awaitable<Result<SessionId>> open_session(std::optional<std::string> shell,
                                                    std::optional<std::string> cwd,
                                                    std::uint16_t cols, std::uint16_t rows) {
        calls.push_back(fmt::format("open {} {} {}x{}", *shell, cwd.has_value(), cols, rows));
        opened.push_back(SessionId::generate());
        on_open();
        co_return opened.back();
    }
    asio::awaitable<Result<void>> close_session(SessionId id) {
        const auto index = std::find(opened.begin(), opened.end(), id) - opened.begin();
        calls.push_back(fmt::format("close {}", index));
        if (index == 1) co_return std::unexpected(Error("session 不存在: " + id.to_string()));
        co_return Result<void>{};
    }
};

constexpr IdleWaits SHORT_WAITS{std::chrono::milliseconds(1), std::chrono::milliseconds(1)};

TEST(IdleCheck, OpensFiveThenClosesAllInOrderEvenWhenACloseFails) {
    test::ScopedEnv shell(test::SYSTEM_SHELL_VARIABLE, "/bin/sh");
    RecordingSessions sessions;
    const auto megabytes = test::run_task(idle_rss_of(sessions, SHORT_WAITS));
    EXPECT_EQ(sessions.calls,
              (std::vector<std::string>{"open /bin/sh false 80x24", "open /bin/sh false 80x24",
                                        "open /bin/sh false 80x24", "open /bin/sh false 80x24",
                                        "open /bin/sh false 80x24", "close 0", "close 1", "close 2",
                                        "close 3", "close 4"}));
    EXPECT_GT(megabytes, 0u);  // a real reading of this process
}

TEST(IdleCheck, ReadsTheShellVariableAfreshForEachOpen) {
    std::optional<test::ScopedEnv> shell;
    shell.emplace(test::SYSTEM_SHELL_VARIABLE, "first-shell");
    RecordingSessions sessions;
    sessions.on_open = [&] {
        shell.reset();
        shell.emplace(test::SYSTEM_SHELL_VARIABLE, fmt::format("shell-{}", sessions.opened.size()));
    };
    (void)test::run_task(idle_rss_of(sessions, SHORT_WAITS));
    shell.reset();
    ASSERT_EQ(sessions.calls.size(), 10u);
    EXPECT_EQ(sessions.calls[0], "open first-shell false 80x24");
    EXPECT_EQ(sessions.calls[1], "open shell-1 false 80x24");
    EXPECT_EQ(sessions.calls[4], "open shell-4 false 80x24");
}

// The whole check on sessions whose console host waits for its output to be read before a close
// completes (Windows before 11 24H2), with shells that write throughout.
TEST(IdleCheck, CompletesUnderAHostThatWaitsForItsOutputToBeRead) {
    test::BlockingHostPtySystem layer;
    {
        session::SessionManager manager(layer);
        (void)test::run_task(idle_rss_of(manager, SHORT_WAITS));
        EXPECT_EQ(layer.closes(), 5);
    }
    EXPECT_EQ(layer.hung_closes(), 0);
}

}  // namespace
}  // namespace murv::perf_assert
