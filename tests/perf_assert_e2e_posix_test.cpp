// End to end: perf_assert built with a project directory under its working directory, run
// against small fake applications.
#include <map>
#include <regex>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "e2e_report.hpp"
#include "run_program.hpp"

namespace {

using test::FAIL;
using test::is_report;
using test::PASS;
using test::STOP_PLACE;

// The fixture build's project directory; tests/tests.cmake compiles in the same text.
const std::string PROJECT = "app \"项目\"\t\\dir";
const std::string PATH_LINE = "二进制路径：/proc/self/cwd/" + PROJECT + "/target/release/murv\n";

class PerfAssertRun : public testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directories(work_.path() / PROJECT); }

    std::filesystem::path app_path() const {
        return work_.path() / PROJECT / "target/release/murv";
    }

    void install_app(const std::string& body) const {
        test::write_file(app_path(), "#!/bin/sh\n" + body + "\n", true);
    }

    // A launch whose shells and application, when they are the probe, report into
    // records_dir(); `lingering` shells stay until their terminal hangs up.
    test::Launch probing(bool lingering = true) const {
        std::filesystem::create_directories(records_dir());
        return {
            .env = {{"SHELL", PROBE_PATH},
                    {"PROBE_DIR", records_dir().string()},
                    {"PROBE_LINGER", lingering ? std::optional<std::string>("1") : std::nullopt}}};
    }
    std::filesystem::path records_dir() const { return work_.path() / "records"; }

    // The probe's "name=value" reports, one per process; with `shells`, the shells' alone.
    std::vector<std::map<std::string, std::string>> probe_reports(bool shells = false) const {
        static const std::regex pair("([^=\n]+)=([^\n]*)");
        std::vector<std::map<std::string, std::string>> reports;
        for (const auto& entry : std::filesystem::directory_iterator(records_dir())) {
            const std::string text = test::read_file(entry.path());
            std::map<std::string, std::string> report;
            for (std::sregex_iterator m(text.begin(), text.end(), pair), end; m != end; ++m)
                report[(*m)[1]] = (*m)[2];
            if (!shells || report["argc"] == "1") reports.push_back(std::move(report));
        }
        return reports;
    }

    test::Outcome run(test::Launch launch = {}) const {
        launch.cwd = work_.path();
        return test::run_program(PERF_ASSERT_FIXTURE, launch);
    }

    test::TempDir work_;
};

// The two figures of the report, or nothing when a line is missing.
struct Figures {
    std::uint64_t median_ms, idle_mb;
};
std::optional<Figures> figures_in(const std::string& out) {
    static const std::regex figures(
        R"(\[1/2\] 冷启动中位数（10 次）：(\d+) ms[\s\S]*RSS：(\d+) MB)");
    std::smatch m;
    if (!std::regex_search(out, m, figures)) return std::nullopt;
    return Figures{std::stoull(m[1]), std::stoull(m[2])};
}

// A pass with nothing on standard error, or status 2 with a diagnostic `stop` finds; no signal.
void expect_own_end(const test::Outcome& outcome, const std::regex& stop, const std::string& at) {
    EXPECT_EQ(outcome.signal, 0) << at << outcome.err;
    if (outcome.exit_code == 0) {
        EXPECT_EQ(outcome.err, "") << at;
    } else {
        EXPECT_EQ(outcome.exit_code, 2) << at << outcome.err;
        EXPECT_TRUE(std::regex_search(outcome.err, stop)) << at << outcome.err;
    }
}

// CI agents and daemons may start programs with SIGCHLD ignored, or signals blocked.
TEST_F(PerfAssertRun, PassesWithTheFullReportWhateverSignalSettingsItInherits) {
    install_app("echo 'fake murv 1.0'");
    for (const bool hostile : {false, true}) {
        const auto outcome =
            run({.env = {{"SHELL", "/bin/sh"}},
                 .ignored_signals =
                     hostile ? std::vector{SIGCHLD, SIGHUP, SIGINT, SIGTERM} : std::vector<int>{},
                 .signals_blocked = hostile});
        EXPECT_TRUE(
            is_report(outcome.out, PATH_LINE + test::repeated("fake murv 1.0\n", 11), PASS, PASS))
            << outcome.out << outcome.err;
        EXPECT_EQ(outcome.exit_code, 0);
        EXPECT_EQ(outcome.err, "");
    }
}

TEST_F(PerfAssertRun, AColdStartOverBudgetStillRunsTheMemoryCheckThenEndsOne) {
    install_app("sleep 0.21; echo slow");
    const auto outcome = run({.args = {"--help", "--budget=1000"}});  // arguments change nothing
    const auto figures = figures_in(outcome.out);
    ASSERT_TRUE(figures) << outcome.out << outcome.err;
    EXPECT_GT(figures->median_ms, 200u);
    EXPECT_TRUE(is_report(outcome.out, PATH_LINE + test::repeated("slow\n", 11), FAIL, PASS))
        << outcome.out;
    EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(PerfAssertRun, AVersionThatFailsOrIsKilledIsAFatalStopAfterTheFirstTimedLaunch) {
    for (const char* ending : {"exit 3", "kill -KILL $$"}) {
        install_app(std::string("echo launched; ") + ending);
        const auto outcome = run();
        EXPECT_EQ(outcome.out, PATH_LINE + "launched\nlaunched\n");  // the warm-up went unnoticed
        EXPECT_TRUE(outcome.err.ends_with("\nassertion failed: status.success()\n")) << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2) << ending;
    }
}

TEST_F(PerfAssertRun, AnApplicationThatCannotBeStartedIsAFatalStopAtTheFirstTimedLaunch) {
    // A directory where the file should be, then a file that is not executable.
    for (const bool directory : {true, false}) {
        std::filesystem::remove(app_path());
        if (directory) std::filesystem::create_directories(app_path());
        if (!directory) test::write_file(app_path(), "#!/bin/sh\necho never\n");
        const auto outcome = run();
        EXPECT_EQ(outcome.out, PATH_LINE);
        EXPECT_TRUE(outcome.err.ends_with("\n启动 murv 失败: Permission denied (os error 13)\n"))
            << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2);
    }
}

TEST_F(PerfAssertRun, AnApplicationThatPrintsMegabytesHasThemAllPassedThrough) {
    install_app("head -c 2097152 /dev/zero | tr '\\0' x; echo");
    const auto outcome = run({.env = {{"SHELL", "/bin/sh"}}});
    const std::string printed = PATH_LINE + test::repeated(std::string(2097152, 'x') + "\n", 11);
    ASSERT_TRUE(outcome.out.starts_with(printed)) << outcome.err;
    // How long 2 MiB take to pass is the machine's: either verdict will do.
    const std::string report = outcome.out.substr(printed.size());
    EXPECT_TRUE(is_report(report, "", PASS, PASS) || is_report(report, "", FAIL, PASS)) << report;
    EXPECT_EQ(outcome.err, "");
}

TEST_F(PerfAssertRun, NoExecutableIsAFatalStopThatListsBothCandidates) {
    // The project directory's quotes, tab, backslash and non-ASCII, as the candidates show them.
    const std::string message =
        "找不到 murv release 二进制；尝试过：[\"/proc/self/cwd/app \\\"项目\\\"\\t\\\\dir/target/"
        "release/murv\", \"/proc/self/cwd/app \\\"项目\\\"\\t\\\\dir/../target/release/murv\"]。"
        "先跑 `cargo build --release --bin murv`。\n";
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"x", "--version"}}) {
        const auto outcome = run({.args = args});
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(outcome.err.ends_with(message)) << outcome.err;
        EXPECT_TRUE(std::regex_search(outcome.err, std::regex(STOP_PLACE))) << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2);
    }
}

TEST_F(PerfAssertRun, AStdoutThatCannotTakeTheReportIsAFatalStopNotASignal) {
    install_app("exit 0");
    const std::pair<test::Stdout, const char*> cases[] = {
        {test::Stdout::closed, "Bad file descriptor (os error 9)"},
        {test::Stdout::reader_gone, "Broken pipe (os error 32)"},
        {test::Stdout::full_device, "No space left on device (os error 28)"},
    };
    for (const auto& [kind, error] : cases) {
        const auto outcome = run({.out = kind});
        EXPECT_EQ(outcome.signal, 0) << error;
        EXPECT_EQ(outcome.exit_code, 2) << error;
        EXPECT_TRUE(std::regex_search(outcome.err, std::regex("^" + STOP_PLACE))) << outcome.err;
        EXPECT_TRUE(outcome.err.ends_with(fmt::format("\nfailed printing to stdout: {}\n", error)))
            << outcome.err;
    }
}

// Every shell and every launch has ended and been waited for by the time the tool exits, and
// none got a descriptor of the tool's: not its own, not one it inherited without close-on-exec.
TEST_F(PerfAssertRun, LeavesNoProcessBehindAndPassesNoDescriptorOn) {
    if (!test::adopt_orphans()) GTEST_SKIP() << "this system cannot hand orphans to a test";
    ASSERT_FALSE(test::has_children());
    std::filesystem::create_directories(app_path().parent_path());
    std::filesystem::create_symlink(PROBE_PATH, app_path());
    auto launch = probing();
    launch.stray_descriptor = true;
    const auto outcome = run(launch);
    EXPECT_EQ(outcome.exit_code, 0) << outcome.out << outcome.err;

    // Anything left, running or a zombie, would have been handed to this process by now.
    EXPECT_FALSE(test::has_children());
    int shells = 0, launches = 0;
    for (auto& report : probe_reports()) {
        ++(report["arg1"] == "--version" ? launches : shells);
        EXPECT_EQ(report["fds"], "0,1,2") << report["argc"];
        EXPECT_TRUE(test::reaped(std::stoi(report["pid"])));
    }
    EXPECT_EQ(launches, 11);
    EXPECT_EQ(shells, 5);
}

TEST_F(PerfAssertRun, RunningOutOfDescriptorsIsAFatalStopWhereverItHappens) {
    install_app("exit 0");
    const auto run_with = [&](rlim_t limit) {
        return run({.env = {{"SHELL", "/bin/sh"}}, .descriptor_limit = limit});
    };

    // Too few for the event loop's one descriptor; standard input closed, so that the loader
    // has one to open libraries with. (A sanitizer's runtime cannot start with so few.)
    test::Outcome outcome;
    if (!test::SANITIZED) {
        outcome = run({.stdin_closed = true, .descriptor_limit = 3});
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(outcome.err.ends_with(
            "\nFailed building the Runtime: Too many open files (os error 24)\n"))
            << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2);
    }

    // The first open, then a middle one, runs out.
    const std::regex open_failed(
        STOP_PLACE +
        "开 session 失败: (openpty 失败|spawn shell 子进程失败|拿不到 PTY writer|拿不到 PTY "
        "reader)\n\nCaused by:\n(    .*\n)*    Too many open files \\(os error 24\\)\n$");
    for (const rlim_t limit : {12, 24}) {
        outcome = run_with(limit);
        EXPECT_EQ(outcome.exit_code, 2) << limit;
        EXPECT_TRUE(is_report(outcome.out, PATH_LINE, PASS)) << outcome.out;
        EXPECT_TRUE(std::regex_search(outcome.err, open_failed)) << limit << outcome.err;
    }

    // At any limit up to what a whole run needs: a fatal stop with its message, or a pass.
    const std::regex fatal_stop("\nthread 'main' stopped at [^\n]+:[0-9]+:[0-9]+:\n[^\n]+");
    for (rlim_t limit = 4; limit <= 48; limit += 2)
        expect_own_end(run_with(limit), fatal_stop, std::to_string(limit));
}

TEST_F(PerfAssertRun, AShellThatCannotRunIsAFatalStopThatNamesIt) {
    install_app("exit 0");
    const std::pair<std::string, std::string> cases[] = {
        {"", "No such file or directory (os error 2)"},
        {"/nonexistent/shell", "No such file or directory (os error 2)"},
        {work_.path().string(), "Permission denied (os error 13)"},  // a directory
    };
    for (const auto& [shell, error] : cases) {
        const auto outcome = run({.env = {{"SHELL", shell}}});
        EXPECT_TRUE(is_report(outcome.out, PATH_LINE, PASS)) << outcome.out;
        EXPECT_TRUE(
            outcome.err.ends_with(fmt::format("\n开 session 失败: spawn shell 子进程失败\n\nCaused "
                                              "by:\n    cannot run \"{}\"\n    {}\n",
                                              shell, error)))
            << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2);
    }
}

// Each shell names itself: an interactive /bin/sh runs the file that ENV names as it starts,
// and $0 is the program it was started as.
TEST_F(PerfAssertRun, AShellVariableThatIsAbsentOrNotUtf8GivesWayToBinSh) {
    install_app("exit 0");
    const auto names = work_.path() / "names";
    test::write_file(work_.path() / "env.sh", "echo \"$0\" >> '" + names.string() + "'\n");
    for (const std::optional<std::string>& shell : {std::optional<std::string>(), {"/bin/\xff"}}) {
        std::filesystem::remove(names);
        const auto outcome =
            run({.env = {{"SHELL", shell}, {"ENV", (work_.path() / "env.sh").string()}}});
        EXPECT_EQ(outcome.exit_code, 0) << outcome.out << outcome.err;
        EXPECT_EQ(test::read_file(names), test::repeated("/bin/sh\n", 5));
    }
}

TEST_F(PerfAssertRun, ShellsGetUtf8LocaleDefaultsUnlessTheToolHasUsableOnes) {
    install_app("exit 0");
    struct Case {
        std::optional<std::string> lang, lc_ctype;
        std::string shell_lang, shell_lc_ctype;
    };
    const Case cases[] = {
        {"", "\xff", "en_US.UTF-8", "UTF-8"},
        {"\xc3", std::nullopt, "en_US.UTF-8", "UTF-8"},
        {std::nullopt, "", "en_US.UTF-8", "UTF-8"},
        {"zh_CN.UTF-8", "C.UTF-8", "zh_CN.UTF-8", "C.UTF-8"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(records_dir());
        const auto outcome = run(probing()
                                     .with_env("LANG", c.lang)
                                     .with_env("LC_CTYPE", c.lc_ctype)
                                     .with_env("TERM", "dumb"));
        EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
        const auto shells = probe_reports(true);
        EXPECT_EQ(shells.size(), 5u);
        for (auto report : shells) {
            EXPECT_EQ(report["LANG"], c.shell_lang);
            EXPECT_EQ(report["LC_CTYPE"], c.shell_lc_ctype);
            EXPECT_EQ(report["TERM"], "xterm-256color");
            EXPECT_EQ(report["MURV"], "1");
        }
    }
}

// `launch` with tests/inject.cpp preloaded into the tool alone, told `variable`=`value`.
test::Launch injecting(test::Launch launch, const char* variable, const std::string& value) {
    return launch
        .with_env("LD_PRELOAD", INJECT_PATH)
        // AddressSanitizer would refuse a library preloaded ahead of its own.
        .with_env("ASAN_OPTIONS", "verify_asan_link_order=0")
        .with_env(variable, value);
}

// The tool's `call`th call of `function` refused with `error`.
test::Launch refusing(const char* function, int call, int error) {
    return injecting({.env = {{"SHELL", "/bin/sh"}}, .time_limit = std::chrono::seconds(20)},
                     "INJECT_FAILURE", fmt::format("{}:{}:{}", function, call, error));
}

// Memory over, cold start within; then both over.
TEST_F(PerfAssertRun, AMemoryFigureOverBudgetEndsTheRunRightAfterItsVerdict) {
    for (const bool slow : {false, true}) {
        install_app(slow ? "sleep 0.21" : "exit 0");
        const auto outcome =
            run(injecting({.env = {{"SHELL", "/bin/sh"}}}, "HOLD_MEMORY_MB", "100"));
        const auto figures = figures_in(outcome.out);
        ASSERT_TRUE(figures) << outcome.out << outcome.err;
        EXPECT_GE(figures->idle_mb, 100u);
        EXPECT_TRUE(is_report(outcome.out, PATH_LINE, slow ? FAIL : PASS, FAIL)) << outcome.out;
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.exit_code, 1);
    }
}

// A refused timer, event or block must not hang the run; a clock that cannot be read stops it
// where it is first read: the cold start's first sample, or (after twenty) the idle wait.
TEST_F(PerfAssertRun, ARefusedTimerClockOrBlockEndsTheRunNeverHangsIt) {
    install_app("echo launched");
    enum class Ends { passing, at_the_first_sample, at_the_idle_wait };
    const struct {
        const char* function;
        int call;
        int error;
        Ends ends;
    } cases[] = {
        {"epoll_ctl", 2, ENOSPC, Ends::passing},
        {"timerfd_settime", 1, EINVAL, Ends::passing},
        {"aligned_alloc", 1, ENOMEM, Ends::passing},
        {"aligned_alloc", 11, ENOMEM, Ends::passing},
        {"clock_gettime", 1, EINVAL, Ends::at_the_first_sample},
        {"clock_gettime", 21, EINVAL, Ends::at_the_idle_wait},
    };
    const std::string launched = PATH_LINE + test::repeated("launched\n", 11);
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{}:{}", c.function, c.call));
        const auto outcome = run(refusing(c.function, c.call, c.error));
        EXPECT_FALSE(outcome.hung);
        if (c.ends == Ends::passing) {
            EXPECT_TRUE(is_report(outcome.out, launched, PASS, PASS)) << outcome.out << outcome.err;
            EXPECT_EQ(outcome.exit_code, 0);
            continue;
        }
        if (c.ends == Ends::at_the_first_sample) {
            EXPECT_EQ(outcome.out, PATH_LINE + "launched\n");  // the warm-up's
        } else {
            EXPECT_TRUE(is_report(outcome.out, launched, PASS)) << outcome.out;
        }
        EXPECT_TRUE(outcome.err.ends_with(
            "\nfailed to read the monotonic clock: Invalid argument (os error 22)\n"))
            << outcome.err;
        EXPECT_EQ(outcome.exit_code, 2);
    }
}

// The first open's read of the report that its shell has started (the one after the eleven
// launches' own) fails: the shell, started or not, is ended and reaped, and the open fails.
TEST_F(PerfAssertRun, AFailedReadOfAShellsStartEndsTheShellAndTheRun) {
    if (!test::adopt_orphans()) GTEST_SKIP() << "this system cannot hand orphans to a test";
    install_app("exit 0");
    const auto outcome = run(refusing("read", 12, EIO));
    EXPECT_FALSE(outcome.hung);
    EXPECT_TRUE(is_report(outcome.out, PATH_LINE, PASS)) << outcome.out;
    EXPECT_TRUE(
        outcome.err.ends_with("\n开 session 失败: spawn shell 子进程失败\n\nCaused by:\n"
                              "    read the report of the child's start\n"
                              "    Input/output error (os error 5)\n"))
        << outcome.err;
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_FALSE(test::has_children()) << "the shell was left to this process";
}

// Nothing reads the sessions' output, so flooding shells fill the tool's memory; what they add
// in two seconds is the machine's (75 MB to over 300 MB seen), so 60 MB more are held.
TEST_F(PerfAssertRun, ShellsThatFloodTheirTerminalsAddToTheFigureAndTheRunEnds) {
    install_app("exit 0");
    const auto outcome =
        run(injecting(probing(false).with_env("PROBE_FLOOD", "1"), "HOLD_MEMORY_MB", "60"));
    const auto figures = figures_in(outcome.out);
    ASSERT_TRUE(figures) << outcome.out << outcome.err;
    EXPECT_TRUE(is_report(outcome.out, PATH_LINE, PASS, FAIL)) << outcome.out;
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.err, "");
    std::printf("five flooding shells and 60 MB held: %llu MB resident\n",
                static_cast<unsigned long long>(figures->idle_mb));
}

// Below 8 MiB the steps are fine enough to meet the narrow bands where an allocation fails;
// above, the reader threads' stacks (2 MiB each) are what a run still needs.
TEST_F(PerfAssertRun, RunningOutOfAddressSpaceIsAFatalStopWhereverItHappens) {
    if (test::SANITIZED) GTEST_SKIP() << "a sanitizer reserves terabytes of address space";
    install_app("exit 0");
    const auto run_with = [&](rlim_t kib) {
        return run({.env = {{"SHELL", "/bin/sh"}}, .address_space_limit = kib << 10});
    };
    // 127: the exec or the dynamic loader gave up before the program ran.
    const auto not_loaded = [](const test::Outcome& outcome) {
        return outcome.exit_code == 127 && outcome.out.empty();
    };
    // The message may have its causes on the lines below it.
    const std::regex fatal_stop("\nthread '[^']+' stopped at [^\n]+:[0-9]+:[0-9]+:\n[^\n]+\n");

    EXPECT_TRUE(not_loaded(run_with(2048))) << "nothing can start in 2 MiB";
    for (rlim_t kib = 2048; kib <= 24 << 10; kib += kib < 8 << 10 ? 32 : 1024) {
        const auto outcome = run_with(kib);
        if (!not_loaded(outcome))
            expect_own_end(outcome, fatal_stop, std::to_string(kib) + " KiB\n");
    }
    const auto fits = run_with(24 << 10);
    EXPECT_EQ(fits.exit_code, 0) << "everything fits in 24 MiB\n" << fits.err;
}

// A parent may limit the stack (new threads' too): at 16 or 24 KiB a run ends with its report
// or a fatal stop (also when the application, under the same limit, fails), never by a signal.
// The environment, which takes its share of the stack, is kept small.
TEST_F(PerfAssertRun, ASmallStackIsTheReportOrAFatalStopNeverASignal) {
    if (test::SANITIZED) GTEST_SKIP() << "a sanitizer's runtime needs more stack than that";
    install_app("exit 0");
    auto launch = test::Launch().with_env("SHELL", "/bin/sh").with_env("PATH", "/usr/bin:/bin");
    launch.with_env("HOME", work_.path().string()).env_alone = true;
    for (const rlim_t kib : {16, 16, 16, 16, 24, 24}) {
        launch.stack_limit = kib << 10;
        const auto outcome = run(launch);
        const bool reported = (outcome.exit_code == 0 || outcome.exit_code == 1) &&
                              figures_in(outcome.out).has_value();
        EXPECT_TRUE(reported ||
                    (outcome.exit_code == 2 &&
                     std::regex_search(outcome.err, std::regex(STOP_PLACE + "[^\n]+\n$"))))
            << kib << " KiB: " << outcome.exit_code << ", signal " << outcome.signal << "\n"
            << outcome.err;
    }
}

}  // namespace
