// End to end on Windows: perf_assert built with a project directory relative to its working
// directory, run against the stand-in application and the probe.
#include <regex>

#include <windows.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "os/win32.hpp"
#include "test_support.hpp"

namespace {

using test::win32::UniqueHandle;

// The fixture build's project directory; tests/tests.cmake compiles in the same text.
const std::string PROJECT = "app 项目";
const std::string FOUND_PATH = PROJECT + "/target/release/murv.exe";

const std::string PATH_LINE = "二进制路径：" + FOUND_PATH + "\n";
const std::string PASS = "    通过\n";
// The stand-in writes through the C runtime, whose text mode ends lines with CR LF.
const std::string STAND_IN_LINE = "murv 0.0.0 (stand-in)\r\n";

struct Outcome {
    DWORD exit_code = 0;
    std::string out;
    std::string err;
    std::vector<std::string> left_running;  // what the run had started and was still up after
};

UniqueHandle inheritable_file(const std::filesystem::path& path) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                      CREATE_ALWAYS, 0, nullptr));
}

class PerfAssertRun : public testing::Test {
  protected:
    std::filesystem::path app_path() const {
        return work_.path() / test::win32::to_wide(FOUND_PATH).value();
    }
    void install(const char* program) const {
        std::filesystem::create_directories(app_path().parent_path());
        std::filesystem::copy_file(program, app_path());
    }

    // Runs the fixture in the work directory, its output into files (or, with
    // `stdout_reader_gone`, its standard output a pipe whose read end is closed) and waits.
    Outcome run(bool stdout_reader_gone = false) const {
        test::TempDir capture;
        const auto out_path = capture.path() / "out";
        const auto err_path = capture.path() / "err";
        Outcome outcome;
        {
            UniqueHandle out;
            if (stdout_reader_gone) {
                SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
                HANDLE read_end = nullptr, write_end = nullptr;
                EXPECT_TRUE(::CreatePipe(&read_end, &write_end, &inheritable, 0));
                ::CloseHandle(read_end);
                out = UniqueHandle(write_end);
            } else {
                out = inheritable_file(out_path);
            }
            const UniqueHandle err = inheritable_file(err_path);
            EXPECT_TRUE(out && err);
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = out.get();
            startup.hStdError = err.get();
            std::wstring command_line = L"perf_assert_fixture.exe";
            PROCESS_INFORMATION started{};
            const auto program = test::win32::to_wide(PERF_ASSERT_FIXTURE).value();
            if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, work_.path().c_str(), &startup, &started)) {
                ADD_FAILURE() << "cannot start the fixture: " << ::GetLastError();
                return outcome;
            }
            // Kept open until the end, so that the run's id is not reused meanwhile.
            const UniqueHandle process(started.hProcess);
            const UniqueHandle thread(started.hThread);
            EXPECT_EQ(::WaitForSingleObject(process.get(), 60'000), WAIT_OBJECT_0);
            ::GetExitCodeProcess(process.get(), &outcome.exit_code);
            (void)test::eventually(
                [&] {
                    outcome.left_running = test::children_of(started.dwProcessId);
                    return outcome.left_running.empty();
                },
                std::chrono::milliseconds(3000));
        }
        if (!stdout_reader_gone) outcome.out = test::read_file(out_path);
        outcome.err = test::read_file(err_path);
        return outcome;
    }

    test::TempDir work_;
};

// The seven lines of a passing report, with the figures it measured; nothing when a figure
// is missing.
std::optional<std::string> passing_report(const std::string& out) {
    static const std::regex cold(R"(\[1/2\] 冷启动中位数（10 次）：(\d+) ms)");
    static const std::regex idle(R"(RSS：(\d+) MB)");
    std::smatch c, i;
    if (!std::regex_search(out, c, cold) || !std::regex_search(out, i, idle)) return std::nullopt;
    return PATH_LINE + test::repeated(STAND_IN_LINE, 11) +
           fmt::format("[1/2] 冷启动中位数（10 次）：{} ms （预算 < 200 ms）\n", c[1].str()) +
           PASS +
           fmt::format("[2/2] 5 个 PTY session 空闲 RSS：{} MB （预算 < 80 MB）\n", i[1].str()) +
           PASS + "\n全部通过 ✅\n";
}

TEST_F(PerfAssertRun, PassesWithTheSevenLinesAndLeavesNoShellOrConsoleHostBehind) {
    install(STAND_IN_PATH);
    const auto outcome = run();
    const auto expected = passing_report(outcome.out);
    ASSERT_TRUE(expected) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out, *expected);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_TRUE(outcome.left_running.empty()) << testing::PrintToString(outcome.left_running);
}

// ComSpec names the shell as a path with blanks is often written, in quotes (quoting, as in a
// command line's first word): every session's shell starts, stays up, and ends with its session.
TEST_F(PerfAssertRun, QuotedShellPathsWithBlanksStartShellsThatEndWithTheirSessions) {
    install(STAND_IN_PATH);
    const auto shell = work_.path() / "Program Files" / "shell 7" / "probe.exe";
    std::filesystem::create_directories(shell.parent_path());
    std::filesystem::copy_file(PROBE_PATH, shell);
    test::ScopedEnv comspec("ComSpec", "\"" + test::win32::to_utf8(shell.wstring()) + "\"");
    test::ScopedEnv stay("PROBE_STAY", "1");
    const auto outcome = run();
    EXPECT_TRUE(passing_report(outcome.out)) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_TRUE(outcome.left_running.empty()) << testing::PrintToString(outcome.left_running);
}

TEST_F(PerfAssertRun, NoExecutableIsAFatalStopThatListsBothExeCandidates) {
    const auto outcome = run();
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(
        outcome.err.starts_with("\nthread 'main' stopped at "
                                "src/bin/perf_assert/discovery.cpp:"))
        << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with(
        "找不到 murv release 二进制；尝试过：[\"app 项目/target/release/murv.exe\", "
        "\"app 项目/../target/release/murv.exe\"]。先跑 `cargo build --release --bin murv`。\n"))
        << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2u);
}

TEST_F(PerfAssertRun, AVersionThatFailsIsAFatalStopAfterTheFirstTimedLaunch) {
    install(PROBE_PATH);
    test::ScopedEnv exit_code("PROBE_EXIT", "3");
    test::ScopedEnv quiet("PROBE_OUT", (work_.path() / "report").string());
    const auto outcome = run();
    EXPECT_EQ(outcome.out, PATH_LINE);
    EXPECT_TRUE(outcome.err.ends_with("\nassertion failed: status.success()\n")) << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2u);
}

TEST_F(PerfAssertRun, AnApplicationThatIsNoProgramIsAFatalStopAtTheFirstTimedLaunch) {
    test::write_file(app_path(), "not a program\n");
    const auto outcome = run();
    EXPECT_EQ(outcome.out, PATH_LINE);
    const std::regex failed("\n启动 murv 失败: [^\n]+ \\(os error [0-9]+\\)\n$");
    EXPECT_TRUE(std::regex_search(outcome.err, failed)) << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2u);
}

TEST_F(PerfAssertRun, AShellThatCannotRunIsAFatalStopAfterTheColdStartVerdict) {
    install(STAND_IN_PATH);
    for (const char* shell : {"", "C:\\nonexistent\\shell.exe"}) {
        test::ScopedEnv comspec("ComSpec", shell);
        const auto outcome = run();
        EXPECT_TRUE(outcome.out.starts_with(PATH_LINE + test::repeated(STAND_IN_LINE, 11) +
                                            "[1/2] 冷启动中位数（10 次）："))
            << outcome.out;
        EXPECT_TRUE(outcome.out.ends_with(" ms （预算 < 200 ms）\n" + PASS)) << outcome.out;
        EXPECT_NE(outcome.err.find("\n开 session 失败: spawn shell 子进程失败\n\nCaused by:\n"),
                  std::string::npos)
            << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2u) << shell;
    }
}

TEST_F(PerfAssertRun, AStdoutWhoseReaderHasGoneIsAFatalStop) {
    install(STAND_IN_PATH);
    const auto outcome = run(true);
    const std::regex failed("\nfailed printing to stdout: [^\n]+ \\(os error [0-9]+\\)\n$");
    EXPECT_TRUE(std::regex_search(outcome.err, failed)) << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2u);
}

}  // namespace
