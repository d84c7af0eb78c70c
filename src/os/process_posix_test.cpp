#include <fcntl.h>
#include <signal.h>

#include <gtest/gtest.h>

#include "os/process.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

TEST(RunToExit, AnEndByASignalIsNoSuccess) {
    test::TempDir dir;
    test::write_file(dir.path() / "killed", "#!/bin/sh\nkill -TERM $$\n", true);
    const auto killed = run_to_exit((dir.path() / "killed").string(), "--version");
    ASSERT_TRUE(killed);
    EXPECT_FALSE(killed->success());
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
}  // namespace murv::os
