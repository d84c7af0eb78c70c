#include "idle_rss.hpp"

#include <algorithm>
#include <optional>
#include <tuple>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "blocking_host_pty.hpp"
#include "fake_pty.hpp"
#include "os/platform.hpp"
#include "report.hpp"
#include "test_support.hpp"

namespace murv::perf_assert {
namespace {

TEST(WholeMegabytes, RoundsDownAndTheBudgetEdgeHolds) {
    const std::tuple<std::uint64_t, std::uint64_t, bool> cases[] = {{83'886'080, 80, false},
                                                                    {84'934'655, 80, false},
                                                                    {84'934'656, 81, true},
                                                                    {1'048'575, 0, false}};
    for (const auto& [bytes, megabytes, over] : cases) {
        EXPECT_EQ(whole_megabytes(bytes), megabytes);
        EXPECT_EQ(over_budget(whole_megabytes(bytes), RSS_BUDGET_MB), over) << bytes;
    }
}

// "SHELL" here, "ComSpec" on Windows; else "/bin/sh" ("cmd.exe").
TEST(IdleSessionShell, IsTheSystemShellVariableWhenPresentEvenEmptyElseTheFallback) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"/bin/bash", "/bin/bash"}, {"", ""}, {std::nullopt, test::FALLBACK_SHELL}};
    for (const auto& [value, shell] : cases) {
        test::ScopedEnv set(test::SYSTEM_SHELL_VARIABLE, value);
        EXPECT_EQ(idle_session_shell(), shell);
    }
    const auto shell = test::ScopedEnv::not_unicode(test::SYSTEM_SHELL_VARIABLE);
    EXPECT_EQ(idle_session_shell(), test::FALLBACK_SHELL);
}

// Five opens on 80x24 terminals, each of the shell the variable names at that moment, in the
// directory a session gets when none is given; the reading; then the five closes in order.
TEST(IdleCheck, OpensFiveWithTheShellOfTheMomentThenClosesThemInOrder) {
    std::optional<test::ScopedEnv> shell;
    shell.emplace(test::SYSTEM_SHELL_VARIABLE, "shell-0");
    test::FakePtySystem layer;
    test::FakeLog& log = layer.log();
    log.end_output();
    log.on_spawn = [&] {
        shell.emplace(test::SYSTEM_SHELL_VARIABLE, fmt::format("shell-{}", log.programs.size()));
    };
    const auto megabytes = test::run_task(measure_idle_rss(layer));
    shell.reset();
    EXPECT_EQ(log.programs,
              (std::vector<std::string>{"shell-0", "shell-1", "shell-2", "shell-3", "shell-4"}));
    EXPECT_EQ(std::ranges::count(log.snapshot(), "openpty 80x24"), 5);
    EXPECT_EQ(log.command->cwd(), os::profile_directory());
    EXPECT_EQ(log.masters_released, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_GT(megabytes, 0u);  // a real reading of this process
}

// The whole check on sessions whose console host waits for its output to be read before a close
// completes (Windows before 11 24H2), with shells that write throughout.
TEST(IdleCheck, CompletesUnderAHostThatWaitsForItsOutputToBeRead) {
    test::BlockingHostPtySystem layer;
    (void)test::run_task(measure_idle_rss(layer));
    EXPECT_EQ(layer.closes(), 5);
    EXPECT_EQ(layer.hung_closes(), 0);
}

}  // namespace
}  // namespace murv::perf_assert
