// End to end on Windows: perf_assert built with a project directory relative to its working
// directory, run against the stand-in application and the probe.
#include <regex>

#include <windows.h>

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

// Whether `out` is the whole of a passing run against the stand-in: the lines typed out, the
// figures any whole numbers.
bool is_passing_report(const std::string& out) {
    const std::string before = PATH_LINE + test::repeated(STAND_IN_LINE, 11);
    static const std::regex report(
        "\\[1/2\\] 冷启动中位数（10 次）：[0-9]+ ms （预算 < 200 ms）\n" + PASS +
        "\\[2/2\\] 5 个 PTY session 空闲 RSS：[0-9]+ MB （预算 < 80 MB）\n" + PASS +
        "\n全部通过 ✅\n");
    return out.starts_with(before) && std::regex_match(out.substr(before.size()), report);
}

TEST_F(PerfAssertRun, PassesWithTheSevenLinesAndLeavesNoShellOrConsoleHostBehind) {
    install(STAND_IN_PATH);
    const auto outcome = run();
    EXPECT_TRUE(is_passing_report(outcome.out)) << outcome.out << outcome.err;
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
    EXPECT_TRUE(is_passing_report(outcome.out)) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_TRUE(outcome.left_running.empty()) << testing::PrintToString(outcome.left_running);
}

TEST_F(PerfAssertRun, NoExecutableIsAFatalStopThatListsBothExeCandidates) {
    const auto outcome = run();
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(std::regex_search(
        outcome.err, std::regex("^\nthread 'main' stopped at src/[^:\n]+:[0-9]+:[0-9]+:\n")))
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
