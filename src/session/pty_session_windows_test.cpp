#include <gtest/gtest.h>

#include "output_probe.hpp"
#include "session/pty_session.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using namespace std::chrono_literals;

// The screen of a session so far.
std::string screen(PtySession& session) {
    return OutputRingProbe::contents(*session.output_ring);
}

TEST(PtySessionNative, CmdSeesTheSessionEnvironment) {
    test::ScopedEnv lang("LANG", "zh_CN.UTF-8");
    test::ScopedEnv ctype("LC_CTYPE", std::nullopt);
    // 1000 columns: no line of the screen wraps.
    auto session = PtySession::open(pty::native_pty_system(), "cmd.exe", std::nullopt, 1000, 50);
    ASSERT_TRUE(session) << session.error().describe();
    // The console's first output, its title among it, reaches the ring.
    ASSERT_TRUE(test::eventually([&] { return !screen(*session).empty(); }, 10s));
    if (test::under_wine()) {
        GTEST_SKIP() << "Wine 8 gives a pseudo console's program no standard handles, and its "
                        "cmd.exe ends at once without them";
    }
    const std::string set = "set\r\n";
    auto writer = test::run_task(session->writer->lock());
    ASSERT_TRUE((*writer)->write(std::as_bytes(std::span(set))));
    for (const char* line :
         {"TERM=xterm-256color", "MURV=1", "LANG=zh_CN.UTF-8", "LC_CTYPE=UTF-8"}) {
        EXPECT_TRUE(test::eventually([&] { return test::shows_line(screen(*session), line); }, 10s))
            << line << '\n'
            << screen(*session);
    }
}

}  // namespace
}  // namespace murv::session
