// End to end: perf_assert built with a project directory under its working directory, run
// against small fake applications.
#include <regex>
#include <sstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "run_program.hpp"
#include "test_support.hpp"

namespace {

// The fixture build's project directory; tests/tests.cmake compiles in the same text.
const std::string PROJECT = "app \"项目\" \\dir";
const std::string PROJECT_DIR = "/proc/self/cwd/" + PROJECT;
const std::string FOUND_PATH = PROJECT_DIR + "/target/release/murv";

const std::string PATH_LINE = "二进制路径：" + FOUND_PATH + "\n";
const std::string PASS = "    通过\n";
const std::string FAIL = "    失败：超出预算\n";

class PerfAssertRun : public testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directories(work_.path() / PROJECT); }

    std::filesystem::path app_path() const {
        return work_.path() / PROJECT / "target/release/murv";
    }

    // A fake application: a shell script with `body`.
    void install_app(const std::string& body) const {
        test::write_file(app_path(), "#!/bin/sh\n" + body + "\n", true);
    }

    // A shell for the sessions that notes its process id, then becomes /bin/sh.
    std::string recording_shell() const {
        const auto path = work_.path() / "recording-shell";
        test::write_file(
            path, "#!/bin/sh\necho $$ >> '" + shells_file().string() + "'\nexec /bin/sh\n", true);
        return path.string();
    }
    std::filesystem::path shells_file() const { return work_.path() / "shells"; }

    test::Outcome run(test::Launch launch = {}) const {
        launch.cwd = work_.path();
        return test::run_program(PERF_ASSERT_FIXTURE, launch);
    }

    test::TempDir work_;
};

// The two figures of the report, or nothing when a line is missing.
struct Figures {
    std::uint64_t median_ms = 0;
    std::uint64_t idle_mb = 0;
};
std::optional<Figures> figures_in(const std::string& out) {
    static const std::regex cold(R"(\[1/2\] 冷启动中位数（10 次）：(\d+) ms)");
    static const std::regex idle(R"(RSS：(\d+) MB)");
    std::smatch c, i;
    if (!std::regex_search(out, c, cold) || !std::regex_search(out, i, idle)) return std::nullopt;
    return Figures{std::stoull(c[1]), std::stoull(i[1])};
}

std::string report_lines(const Figures& figures, bool cold_passed) {
    return fmt::format("[1/2] 冷启动中位数（10 次）：{} ms （预算 < 200 ms）\n",
                       figures.median_ms) +
           (cold_passed ? PASS : FAIL) +
           fmt::format("[2/2] 5 个 PTY session 空闲 RSS：{} MB （预算 < 80 MB）\n",
                       figures.idle_mb) +
           PASS;
}

TEST_F(PerfAssertRun, PassesWithTheFullReportAndLeavesNoShellBehind) {
    install_app("echo 'fake murv 1.0'");
    const auto outcome = run(test::Launch().with_env("SHELL", recording_shell()));

    const auto figures = figures_in(outcome.out);
    ASSERT_TRUE(figures) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out, PATH_LINE + test::repeated("fake murv 1.0\n", 11) +
                               report_lines(*figures, true) + "\n全部通过 ✅\n");
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.err, "");

    std::istringstream pids(test::read_file(shells_file()));
    int shells = 0;
    for (pid_t pid; pids >> pid; ++shells) {
        EXPECT_TRUE(
            test::eventually([&] { return test::reaped(pid); }, std::chrono::milliseconds(1000)))
            << "shell " << pid << " is still there";
    }
    EXPECT_EQ(shells, 5);
}

TEST_F(PerfAssertRun, AColdStartOverBudgetStillRunsTheMemoryCheckThenEndsOne) {
    install_app("sleep 0.21; echo slow");
    // Arguments change nothing.
    const auto outcome = run(test::Launch().with_args({"--help", "--budget=1000"}));

    const auto figures = figures_in(outcome.out);
    ASSERT_TRUE(figures) << outcome.out << outcome.err;
    EXPECT_GT(figures->median_ms, 200u);
    EXPECT_EQ(outcome.out,
              PATH_LINE + test::repeated("slow\n", 11) + report_lines(*figures, false));
    EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(PerfAssertRun, AFailingVersionIsAFatalStopAfterTheFirstTimedLaunch) {
    install_app("echo launched; exit 3");
    const auto outcome = run();
    EXPECT_EQ(outcome.out, PATH_LINE + "launched\nlaunched\n");  // the warm-up went unnoticed
    EXPECT_TRUE(outcome.err.ends_with("\nassertion failed: status.success()\n")) << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2);
}

TEST_F(PerfAssertRun, ADirectoryAtTheCandidateIsFoundButCannotBeStarted) {
    std::filesystem::create_directories(app_path());
    const auto outcome = run();
    EXPECT_EQ(outcome.out, PATH_LINE);
    EXPECT_TRUE(outcome.err.ends_with("\n启动 murv 失败: Permission denied (os error 13)\n"))
        << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2);
}

TEST_F(PerfAssertRun, NoExecutableIsAFatalStopThatListsBothCandidates) {
    const std::string message = fmt::format(
        "找不到 murv release 二进制；尝试过：[\"/proc/self/cwd/app \\\"项目\\\" \\\\dir/target/"
        "release/murv\", \"/proc/self/cwd/app \\\"项目\\\" \\\\dir/../target/release/murv\"]。"
        "先跑 `cargo build --release --bin murv`。\n");
    const std::regex diagnostic(
        "\nthread 'main' stopped at src/bin/perf_assert/discovery\\.cpp:"
        "[0-9]+:[0-9]+:\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"x", "--version"}}) {
        const auto outcome = run(test::Launch().with_args(args));
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(outcome.err.ends_with(message)) << outcome.err;
        EXPECT_TRUE(std::regex_search(outcome.err, diagnostic)) << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2);
    }
}

TEST_F(PerfAssertRun, AStdoutWhoseReaderHasGoneIsAFatalStopNotASignal) {
    install_app("exit 0");
    const auto outcome = run(test::Launch().with_stdout_reader_gone());
    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_TRUE(outcome.err.ends_with("\nfailed printing to stdout: Broken pipe (os error 32)\n"))
        << outcome.err;
}

TEST_F(PerfAssertRun, ASessionThatCannotOpenIsAFatalStopAfterTheColdStartVerdict) {
    install_app("exit 0");
    const auto outcome = run(test::Launch().with_env("SHELL", "/nonexistent/shell"));
    EXPECT_TRUE(outcome.out.starts_with(PATH_LINE + "[1/2] 冷启动中位数（10 次）："))
        << outcome.out;
    EXPECT_TRUE(outcome.out.ends_with(" ms （预算 < 200 ms）\n" + PASS)) << outcome.out;
    EXPECT_TRUE(outcome.err.ends_with(
        "\n开 session 失败: spawn shell 子进程失败\n\nCaused by:\n"
        "    cannot run \"/nonexistent/shell\"\n    No such file or directory (os error 2)\n"))
        << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2);
}

}  // namespace
