#include <fcntl.h>
#include <signal.h>

#include <gtest/gtest.h>

#include "support/process.hpp"
#include "test_support.hpp"

namespace murv {
namespace {

TEST(RunToExit, ReportsSuccessOnlyForANormalExitWithZero) {
    test::TempDir dir;
    const auto script = [&](const char* name, const char* body) {
        test::write_file(dir.path() / name, std::string("#!/bin/sh\n") + body + "\n", true);
        return (dir.path() / name).string();
    };
    auto ok = run_to_exit(script("ok", "exit 0"), "--version");
    auto failing = run_to_exit(script("failing", "exit 3"), "--version");
    auto killed = run_to_exit(script("killed", "kill -TERM $$"), "--version");
    ASSERT_TRUE(ok && failing && killed);
    EXPECT_TRUE(ok->success());
    EXPECT_FALSE(failing->success());
    EXPECT_FALSE(killed->success());
}

TEST(RunToExit, PassesExactlyTheOneArgument) {
    test::TempDir dir;
    const auto out = dir.path() / "args";
    test::write_file(dir.path() / "app",
                     "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + out.string() + "'\n", true);
    ASSERT_TRUE(run_to_exit((dir.path() / "app").string(), "--version"));
    EXPECT_EQ(test::read_file(out), "1|--version|");
}

TEST(RunToExit, ReturnsTheOperatingSystemsErrorWhenItCannotStart) {
    test::TempDir dir;
    const auto missing = run_to_exit((dir.path() / "missing").string(), "--version");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message(), "No such file or directory (os error 2)");

    const auto directory = run_to_exit(dir.path().string(), "--version");
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error().message(), "Permission denied (os error 13)");
}

TEST(RunToExit, StartsWithOnlyTheStandardStreamsDefaultSignalsAndAnEmptyMask) {
    // This process holds a descriptor without close-on-exec, ignores SIGPIPE and blocks SIGUSR1.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const auto old_pipe = ::signal(SIGPIPE, SIG_IGN);
    sigset_t usr1, old_mask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &old_mask);

    test::TempDir dir;
    const auto report = dir.path() / "report";
    test::ScopedEnv out("PROBE_OUT", report.string());
    const auto status = run_to_exit(PROBE_PATH, "--version");

    ::pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    ::signal(SIGPIPE, old_pipe);
    ::close(leaked);

    ASSERT_TRUE(status && status->success());
    const std::string text = test::read_file(report);
    EXPECT_NE(text.find("fds=0,1,2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("blocked_signals=none\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ignored_signals=none\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace murv
