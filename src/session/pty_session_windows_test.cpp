#include <windows.h>

#include <gtest/gtest.h>

#include "fake_pty.hpp"
#include "output_probe.hpp"
#include "session/pty_session.hpp"
#include "support/platform.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using test::FailAt;
using test::FakePtySystem;

std::string program_chosen(std::optional<std::string> shell) {
    FakePtySystem layer(FailAt::spawn);
    (void)PtySession::open(layer, std::move(shell), std::nullopt, 80, 24);
    return layer.log().command->program();
}

TEST(PtySessionOpen, ChoosesTheGivenShellElseShellElseComSpecElseCmd) {
    test::ScopedEnv shell("SHELL", "C:\\msys\\bin\\bash.exe");
    test::ScopedEnv comspec("ComSpec", "C:\\Windows\\system32\\cmd.exe");
    EXPECT_EQ(program_chosen("pwsh.exe"), "pwsh.exe");
    EXPECT_EQ(program_chosen(std::nullopt), "C:\\msys\\bin\\bash.exe");
    {
        test::ScopedEnv no_shell("SHELL", std::nullopt);
        EXPECT_EQ(program_chosen(std::nullopt), "C:\\Windows\\system32\\cmd.exe");
        test::ScopedEnv not_unicode("ComSpec", std::wstring(1, wchar_t(0xd800)));
        EXPECT_EQ(program_chosen(std::nullopt), "cmd.exe");
        test::ScopedEnv empty("ComSpec", "");
        EXPECT_EQ(program_chosen(std::nullopt), "");
    }
}

// The screen of a session so far.
std::string screen(PtySession& session) {
    return OutputRingProbe::contents(*session.output_ring);
}

bool eventually_shows(PtySession& session, const std::string& line) {
    return test::eventually([&] { return test::shows_line(screen(session), line); },
                            std::chrono::milliseconds(10000));
}

TEST(PtySessionNative, TheShellSeesTheSessionEnvironmentInTheProfileDirectory) {
    test::ScopedEnv term("TERM", "dumb");
    test::ScopedEnv lang("LANG", std::nullopt);
    test::ScopedEnv ctype("LC_CTYPE", "");
    auto session = PtySession::open(PROBE_PATH, std::nullopt, 80, 24);
    ASSERT_TRUE(session) << session.error().describe();
    ASSERT_TRUE(eventually_shows(*session, "done")) << screen(*session);
    for (const std::string& line :
         std::vector<std::string>{"TERM=xterm-256color", "MURV=1", "LANG=en_US.UTF-8",
                                  "LC_CTYPE=UTF-8", "cwd=" + *profile_directory()}) {
        EXPECT_TRUE(test::shows_line(screen(*session), line)) << line << "\n" << screen(*session);
    }
    // Chunk by chunk, the channel carries the same bytes, in order.
    auto receiver = session->output_rx.try_lock();
    std::string sent;
    for (const auto& chunk : OutputReceiverProbe::queued(**receiver))
        sent += chunk;
    EXPECT_EQ(sent, screen(*session));
}

TEST(PtySessionNative, CmdSeesTheSessionEnvironment) {
    test::ScopedEnv lang("LANG", "zh_CN.UTF-8");
    test::ScopedEnv ctype("LC_CTYPE", std::nullopt);
    auto session = PtySession::open("cmd.exe", std::nullopt, 80, 24);
    ASSERT_TRUE(session) << session.error().describe();
    // The console's first output, its title among it, reaches the ring.
    ASSERT_TRUE(test::eventually([&] { return !screen(*session).empty(); },
                                 std::chrono::milliseconds(10000)));
    if (test::under_wine()) {
        GTEST_SKIP() << "Wine 8 gives a pseudo console's program no standard handles, and its "
                        "cmd.exe ends at once without them";
    }
    const std::string set = "set\r\n";
    auto writer = session->writer->try_lock();
    ASSERT_TRUE((**writer)->write(std::as_bytes(std::span(set))));
    for (const char* line :
         {"TERM=xterm-256color", "MURV=1", "LANG=zh_CN.UTF-8", "LC_CTYPE=UTF-8"}) {
        EXPECT_TRUE(eventually_shows(*session, line)) << line << "\n" << screen(*session);
    }
}

}  // namespace
}  // namespace murv::session
