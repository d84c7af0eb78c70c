// End to end on Windows: perf_assert built with a project directory relative to its working
// directory, run against the stand-in application and the probe.
#include <chrono>
#include <memory>
#include <optional>
#include <regex>
#include <string_view>

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "e2e_report.hpp"
#include "os/win32.hpp"
#include "test_support.hpp"

namespace {

using namespace std::chrono_literals;
using test::is_report;
using test::PASS;
using test::win32::UniqueHandle;

// The fixture build's project directory; tests/tests.cmake compiles in the same text.
const std::string PROJECT = "app 项目";
const std::string FOUND_PATH = PROJECT + "/target/release/murv.exe";

const std::string PATH_LINE = "二进制路径：" + FOUND_PATH + "\n";
// The stand-in writes through the C runtime, whose text mode ends lines with CR LF.
const std::string STAND_IN_LINE = "murv 0.0.0 (stand-in)\r\n";
const std::string SHOWN_STAND_IN_LINE = "murv 0.0.0 (stand-in)\n";

// Where the fixture's standard output goes.
enum class Stdout {
    file,
    reader_gone,         // a pipe whose read end is closed
    console,             // a console, through a handle that can read and write
    write_only_console,  // a console, through a handle opened for writing alone
};

struct Launch {
    Stdout stdout_to = Stdout::file;
    std::string failure{};  // INJECT_FAILURE for tests/inject_windows.cpp, or empty for none
    std::chrono::milliseconds time_limit = 60s;
};

struct Outcome {
    DWORD exit_code = 0;  // the whole of it: a Unix parent of Wine gets the low byte alone
    bool hung = false;    // ended at the time limit
    std::string out;      // what the file got, or the lines the console shows, each with "\n"
    std::string err;
    std::vector<std::string> left_running;  // what the run had started and was still up after
};

// An inheritable handle on `path` with `access`, opened as `disposition` says.
UniqueHandle inheritable(const wchar_t* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    return UniqueHandle(::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, disposition, 0, nullptr));
}

// A console of this process's own whose screen reads back what was written: the windowless one
// of a probe started with CREATE_NO_WINDOW (the README says why).
class Console {
  public:
    Console() {
        const test::ScopedEnv stay("PROBE_STAY", "1");
        const test::ScopedEnv quiet("PROBE_OUT", "NUL");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command_line = L"probe.exe";
        const auto program = test::win32::to_wide(PROBE_PATH).value();
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
            ADD_FAILURE() << "cannot start the console's holder: " << ::GetLastError();
            return;
        }
        holder_ = UniqueHandle(started.hProcess);
        const UniqueHandle thread(started.hThread);
        ::FreeConsole();  // Wine's from Unix names no console, and AttachConsole refuses it
        if (!test::eventually([&] { return ::AttachConsole(started.dwProcessId) != 0; })) {
            ADD_FAILURE() << "cannot attach to the holder's console: " << ::GetLastError();
            return;
        }
        screen_ = inheritable(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
        EXPECT_TRUE(screen_) << ::GetLastError();
    }
    ~Console() {
        screen_.reset();
        ::FreeConsole();
        if (holder_) ::TerminateProcess(holder_.get(), 0);
    }

    // The lines the screen shows above the cursor (and the cursor's, when it is not at its
    // start), as UTF-8, each with "\n", trailing blanks cut.
    std::string shown() const {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!::GetConsoleScreenBufferInfo(screen_.get(), &info)) return "";
        std::string lines;
        std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
        const SHORT end = info.dwCursorPosition.Y + (info.dwCursorPosition.X > 0 ? 1 : 0);
        for (SHORT y = 0; y < end; ++y) {
            DWORD read = 0;
            ::ReadConsoleOutputCharacterW(screen_.get(), row.data(), info.dwSize.X, COORD{0, y},
                                          &read);
            const std::wstring_view text(row.data(), read);
            lines += test::win32::to_utf8(text.substr(0, text.find_last_not_of(L' ') + 1)) + "\n";
        }
        return lines;
    }

  private:
    UniqueHandle holder_;
    UniqueHandle screen_;
};

// Loads `library` into `process` before its main thread runs, on a thread of its own started at
// this process's LoadLibraryW (kernel32 lies at one address in every process of a boot).
bool load_into(const PROCESS_INFORMATION& process, const std::filesystem::path& library) {
    const std::wstring path = library.wstring();
    const std::size_t size = (path.size() + 1) * sizeof(wchar_t);
    const auto release = [&](void* at) { ::VirtualFreeEx(process.hProcess, at, 0, MEM_RELEASE); };
    const std::unique_ptr<void, decltype(release)> remote(
        ::VirtualAllocEx(process.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE),
        release);
    if (remote == nullptr ||
        !::WriteProcessMemory(process.hProcess, remote.get(), path.c_str(), size, nullptr)) {
        return false;
    }
    const auto load_library = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    const UniqueHandle loader(
        ::CreateRemoteThread(process.hProcess, nullptr, 0, load_library, remote.get(), 0, nullptr));
    if (!loader || ::WaitForSingleObject(loader.get(), 30'000) != WAIT_OBJECT_0) return false;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process.dwProcessId));
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more;
         more = ::Module32NextW(snapshot.get(), &entry))
        if (::_wcsicmp(entry.szModule, library.filename().c_str()) == 0) return true;
    return false;
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

    // Runs the fixture in the work directory, at most for the time limit; then ends whatever
    // the run left running.
    Outcome run(const Launch& launch = {}) const {
        test::TempDir capture;
        const auto out_path = capture.path() / "out";
        const auto err_path = capture.path() / "err";
        std::optional<Console> console;
        Outcome outcome;
        {
            UniqueHandle out;
            if (launch.stdout_to == Stdout::file)
                out = inheritable(out_path.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
            if (launch.stdout_to == Stdout::reader_gone) {
                SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
                HANDLE read_end = nullptr, write_end = nullptr;
                EXPECT_TRUE(::CreatePipe(&read_end, &write_end, &inheritable, 0));
                ::CloseHandle(read_end);
                out = UniqueHandle(write_end);
            }
            if (launch.stdout_to >= Stdout::console) {
                console.emplace();
                const bool read = launch.stdout_to == Stdout::console;
                out = inheritable(L"CONOUT$", GENERIC_WRITE | (read ? GENERIC_READ : 0),
                                  OPEN_EXISTING);
            }
            const UniqueHandle err = inheritable(err_path.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
            EXPECT_TRUE(out && err);
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = out.get();
            startup.hStdError = err.get();
            std::wstring command_line = L"perf_assert_fixture.exe";
            PROCESS_INFORMATION started{};
            const auto program = test::win32::to_wide(PERF_ASSERT_FIXTURE).value();
            const bool injecting = !launch.failure.empty();
            const test::ScopedEnv failure("INJECT_FAILURE",
                                          injecting ? std::optional(launch.failure) : std::nullopt);
            if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                  injecting ? CREATE_SUSPENDED : 0, nullptr, work_.path().c_str(),
                                  &startup, &started)) {
                ADD_FAILURE() << "cannot start the fixture: " << ::GetLastError();
                return outcome;
            }
            // Kept open until the end, so that the run's id is not reused meanwhile.
            const UniqueHandle process(started.hProcess);
            const UniqueHandle thread(started.hThread);
            if (injecting && !load_into(started, INJECT_PATH)) {
                ADD_FAILURE() << "inject.dll did not load into the fixture, for " << launch.failure;
                ::TerminateProcess(process.get(), 1);
                return outcome;
            }
            ::ResumeThread(thread.get());
            const auto limit = static_cast<DWORD>(launch.time_limit.count());
            if (::WaitForSingleObject(process.get(), limit) != WAIT_OBJECT_0) {
                outcome.hung = true;
                // A status the tool never ends with, so that it reads as the time limit's.
                ::TerminateProcess(process.get(), ERROR_TIMEOUT);
                ::WaitForSingleObject(process.get(), INFINITE);
            }
            ::GetExitCodeProcess(process.get(), &outcome.exit_code);
            (void)test::eventually(
                [&] {
                    outcome.left_running = test::children_of(started.dwProcessId);
                    return outcome.left_running.empty();
                },
                std::chrono::milliseconds(3000));
            for (const auto& left : test::processes_started_by(started.dwProcessId)) {
                const UniqueHandle child(::OpenProcess(PROCESS_TERMINATE, FALSE, left.id));
                if (child) ::TerminateProcess(child.get(), 1);
            }
        }
        outcome.out = console ? console->shown() : test::read_file(out_path);
        outcome.err = test::read_file(err_path);
        return outcome;
    }

    test::TempDir work_;
};

// Whether `out` is the whole of a passing run against the stand-in (whose lines, on a screen,
// are `stand_in_line`); with `cold_start_over`, but for the cold start's verdict, which Wine's
// launches can fail on a loaded machine.
bool is_passing_report(const std::string& out, const std::string& stand_in_line = STAND_IN_LINE,
                       bool cold_start_over = false) {
    return is_report(out, PATH_LINE + test::repeated(stand_in_line, 11),
                     cold_start_over ? test::FAIL : PASS, PASS);
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
    EXPECT_TRUE(std::regex_search(outcome.err, std::regex("^" + test::STOP_PLACE))) << outcome.err;
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
        EXPECT_TRUE(is_report(outcome.out, PATH_LINE + test::repeated(STAND_IN_LINE, 11), PASS))
            << outcome.out;
        EXPECT_NE(outcome.err.find("\n开 session 失败: spawn shell 子进程失败\n\nCaused by:\n"),
                  std::string::npos)
            << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2u) << shell;
    }
}

TEST_F(PerfAssertRun, AStdoutWhoseReaderHasGoneIsAFatalStop) {
    install(STAND_IN_PATH);
    const auto outcome = run({.stdout_to = Stdout::reader_gone});
    const std::regex failed("\nfailed printing to stdout: [^\n]+ \\(os error [0-9]+\\)\n$");
    EXPECT_TRUE(std::regex_search(outcome.err, failed)) << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2u);
}

// A refused call, or a console that does not tell its mode: a fatal stop that says why, or a
// pass; never a crash, an abort or a hang. The tool must not need the threads runtime's calls.
TEST_F(PerfAssertRun, ARefusedCallIsAFatalStopThatSaysWhyOrChangesNothing) {
    install(STAND_IN_PATH);
    const char* const PASSES = nullptr;
    const std::string out_of_memory =
        "\nthread 'main' stopped at [^\n]+\nmemory allocation failed\n$";
    const std::string refused_console =
        "\nthread 'main' stopped at [^\n]+\nfailed printing to stdout: [^\n]+ \\(os error 6\\)\n$";
    const struct {
        const char* failure;  // function:call:error, or nullptr for none
        Stdout stdout_to;
        DWORD status;
        const char* says;  // a pattern that standard error matches; or PASSES
    } rows[] = {
        // A thread's first use of the threads runtime: of each function, the first row's call
        // is the main thread's, the second's a reader thread's (INJECT_TRACE tells). The five
        // sessions' reader clones are the only DuplicateHandle calls the tool needs. Rows for
        // mingw's runtime (winpthreads), but the first: on another, their calls are others.
        {"DuplicateHandle:1:8", Stdout::file, 2, "\n开 session 失败: 拿不到 PTY reader\n"},
        {"DuplicateHandle:11:8", Stdout::file, 0, PASSES},
        {"TlsSetValue:2:8", Stdout::file, 0, PASSES},
        {"TlsSetValue:3:8", Stdout::file, 0, PASSES},
        {"calloc:1:12", Stdout::file, 0, PASSES},
        {"calloc:5:12", Stdout::file, 0, PASSES},
        // The C runtime's copy of the arguments, before main. Rows for mingw's runtime (msvcrt's
        // copy): on another, the first calls of malloc are others.
        {"malloc:1:12", Stdout::file, 2, out_of_memory.c_str()},
        {"malloc:2:12", Stdout::file, 2, out_of_memory.c_str()},
        // The event loop's set-up, its helper thread's start, and a timer's arming and its
        // wake-up: either of the last two lost leaves a wait without an end.
        {"TlsAlloc:1:8", Stdout::file, 0, PASSES},
        {"_beginthreadex:1:11", Stdout::file, 0, PASSES},
        {"SetEvent:1:6", Stdout::file, 0, PASSES},
        {"SetWaitableTimer:2:8", Stdout::file, 0, PASSES},
        {"PostQueuedCompletionStatus:2:8", Stdout::file, 0, PASSES},
        // A console that does not tell its mode still takes text, not bytes in its code page.
        {"GetConsoleMode:1:6", Stdout::console, 0, PASSES},
        {nullptr, Stdout::write_only_console, 0, PASSES},
        // A refused console write, the first or a later one, fails: the line does not go as bytes.
        {"WriteConsoleW:1:6", Stdout::console, 2, refused_console.c_str()},
        {"WriteConsoleW:3:6", Stdout::console, 2, refused_console.c_str()},
    };
    for (const auto& row : rows) {
        const std::string failure = row.failure != nullptr ? row.failure : "";
        SCOPED_TRACE(row.failure != nullptr ? row.failure : "a write-only console");
        const auto outcome =
            run({.stdout_to = row.stdout_to, .failure = failure, .time_limit = 30s});
        EXPECT_FALSE(outcome.hung);
        // A passing run whose cold start went over on a loaded machine ends 1 (see below).
        const bool cold_start_over = row.says == PASSES && outcome.exit_code == 1;
        EXPECT_EQ(outcome.exit_code, cold_start_over ? 1 : row.status)
            << "0x" << std::hex << outcome.exit_code;
        if (row.says == PASSES) {
            const bool shown = row.stdout_to != Stdout::file;
            EXPECT_TRUE(is_passing_report(outcome.out, shown ? SHOWN_STAND_IN_LINE : STAND_IN_LINE,
                                          cold_start_over))
                << outcome.out;
            EXPECT_EQ(outcome.err, "");
        } else {
            EXPECT_TRUE(std::regex_search(outcome.err, std::regex(row.says))) << outcome.err;
        }
        EXPECT_TRUE(outcome.left_running.empty()) << testing::PrintToString(outcome.left_running);
    }
}

}  // namespace
