#include "session/pty_session.hpp"

#include <gtest/gtest.h>

#include "fake_pty.hpp"
#include "output_probe.hpp"
#include "test_support.hpp"

namespace murv::session {
namespace {

using test::FailAt;
using test::FakePtySystem;

TEST(PtySessionOpen, WrapsEachLayerFailureInItsOwnMessage) {
    const std::pair<FailAt, const char*> cases[] = {
        {FailAt::openpty, "openpty 失败\n\nCaused by:\n    fake openpty error"},
        {FailAt::spawn, "spawn shell 子进程失败\n\nCaused by:\n    fake spawn error"},
        {FailAt::writer, "拿不到 PTY writer\n\nCaused by:\n    fake writer error"},
        {FailAt::reader, "拿不到 PTY reader\n\nCaused by:\n    fake reader error"},
    };
    for (const auto& [fail_at, description] : cases) {
        FakePtySystem layer(fail_at);
        const auto session = PtySession::open(layer, "sh", std::nullopt, 80, 24);
        ASSERT_FALSE(session);
        EXPECT_EQ(session.error().describe(), description);
    }
}

TEST(PtySessionOpen, AWriterOrReaderFailureReleasesTheChildUnwaitedAndStartsNoThread) {
    for (const FailAt fail_at : {FailAt::writer, FailAt::reader}) {
        FakePtySystem layer(fail_at);
        const auto threads = test::thread_count();
        ASSERT_FALSE(PtySession::open(layer, "sh", std::nullopt, 80, 24));
        auto& log = layer.log();
        EXPECT_TRUE(log.saw("child released"));
        EXPECT_TRUE(log.saw("master released"));
        EXPECT_FALSE(log.saw("child waited for"));
        EXPECT_EQ(test::thread_count(), threads);
    }
}

TEST(PtySessionOpen, OpensTheRequestedSizeAndRecordsTheChild) {
    FakePtySystem layer;
    auto session = PtySession::open(layer, "sh", std::nullopt, 80, 24);
    ASSERT_TRUE(session) << session.error().describe();
    EXPECT_EQ(layer.log().snapshot().front(), "openpty 80x24");
    EXPECT_EQ(session->child_pid, 4242u);
    EXPECT_TRUE(layer.log().saw("slave released"));
    layer.log().end_output();
}

std::string program_chosen(std::optional<std::string> shell) {
    FakePtySystem layer(FailAt::spawn);
    (void)PtySession::open(layer, std::move(shell), std::nullopt, 80, 24);
    return layer.log().command->program();
}

TEST(PtySessionOpen, ChoosesTheGivenShellElseShellElseTheFallback) {
    test::ScopedEnv shell("SHELL", "/bin/from-shell-variable");
    EXPECT_EQ(program_chosen("/bin/given"), "/bin/given");
    EXPECT_EQ(program_chosen(""), "");  // given, even empty
    EXPECT_EQ(program_chosen(std::nullopt), "/bin/from-shell-variable");
    {
        test::ScopedEnv empty("SHELL", "");
        EXPECT_EQ(program_chosen(std::nullopt), "");
    }
    for (const auto& unusable :
         {std::optional<std::string>(), std::optional<std::string>("\xff")}) {
        test::ScopedEnv variable("SHELL", unusable);
        EXPECT_EQ(program_chosen(std::nullopt), "/bin/sh");
    }
}

pty::ShellCommand command_built(std::optional<std::string> cwd = std::nullopt) {
    FakePtySystem layer(FailAt::spawn);
    (void)PtySession::open(layer, "sh", std::move(cwd), 80, 24);
    return *layer.log().command;
}

TEST(PtySessionOpen, SetsTheSessionEnvironment) {
    test::ScopedEnv term("TERM", "dumb");
    test::ScopedEnv murv("MURV", "0");
    const auto inherited = [](const char* name, std::optional<std::string> own) {
        test::ScopedEnv variable(name, std::move(own));
        return command_built().environment().at(name);
    };
    const auto environment = command_built().environment();
    EXPECT_EQ(environment.at("TERM"), "xterm-256color");
    EXPECT_EQ(environment.at("MURV"), "1");
    EXPECT_EQ(inherited("LANG", "zh_CN.UTF-8"), "zh_CN.UTF-8");
    EXPECT_EQ(inherited("LC_CTYPE", "C.UTF-8"), "C.UTF-8");
    for (const auto& own : {std::optional<std::string>(), std::optional<std::string>(""),
                            std::optional<std::string>("\xff")}) {
        EXPECT_EQ(inherited("LANG", own), "en_US.UTF-8");
        EXPECT_EQ(inherited("LC_CTYPE", own), "UTF-8");
    }
}

TEST(PtySessionOpen, RunsInTheGivenDirectoryElseTheProfileDirectory) {
    EXPECT_EQ(command_built("/given/dir").cwd(), "/given/dir");
    test::ScopedEnv home("HOME", "/home/profile");
    EXPECT_EQ(command_built().cwd(), "/home/profile");
}

TEST(PtySession, ReleasesWriterThenChannelThenMasterAndWaitsForNothing) {
    FakePtySystem layer;
    auto opened = PtySession::open(layer, "sh", std::nullopt, 80, 24);
    ASSERT_TRUE(opened);
    auto ring = opened->output_ring;
    { const PtySession released = std::move(*opened); }

    const auto events = layer.log().snapshot();
    const auto writer = std::find(events.begin(), events.end(), "writer released");
    const auto master = std::find(events.begin(), events.end(), "master released");
    EXPECT_LT(writer, master);
    EXPECT_NE(master, events.end());
    EXPECT_FALSE(layer.log().saw("child waited for"));  // the thread is still reading

    // The channel is closed: the next chunk still reaches the ring, then the thread ends.
    layer.log().feed("late");
    ASSERT_TRUE(test::eventually([&] { return layer.log().saw("child released"); }));
    EXPECT_EQ(OutputRingProbe::contents(*ring), "late");
}

// Opens a session of the native layer running the probe, and returns its report.
std::string probe_report(std::uint16_t cols, std::uint16_t rows) {
    auto session = PtySession::open(PROBE_PATH, std::nullopt, cols, rows);
    EXPECT_TRUE(session) << session.error().describe();
    if (!session) return {};
    std::string report;
    EXPECT_TRUE(test::eventually([&] {
        report = OutputRingProbe::contents(*session->output_ring);
        return report.find("done") != std::string::npos;
    }));
    // Chunk by chunk, the channel carries the same bytes, in order; each chunk reaches it just
    // after the ring.
    auto receiver = session->output_rx.try_lock();
    std::string sent;
    EXPECT_TRUE(test::eventually([&] {
        sent.clear();
        for (const auto& chunk : OutputReceiverProbe::queued(**receiver))
            sent += chunk;
        return sent == report;
    })) << sent;
    return report;
}

TEST(PtySessionNative, TheShellSeesTheSessionEnvironmentOnItsOwnTerminal) {
    test::ScopedEnv term("TERM", "dumb");
    {
        test::ScopedEnv lang("LANG", std::nullopt);
        test::ScopedEnv ctype("LC_CTYPE", "");
        const std::string report = probe_report(80, 24);
        for (const char* line :
             {"TERM=xterm-256color\r\n", "MURV=1\r\n", "LANG=en_US.UTF-8\r\n", "LC_CTYPE=UTF-8\r\n",
              "size=24x80\r\n", "controlling_terminal=yes\r\n"}) {
            EXPECT_NE(report.find(line), std::string::npos) << line << " in\n" << report;
        }
    }
    test::ScopedEnv lang("LANG", "C.UTF-8");
    test::ScopedEnv ctype("LC_CTYPE", "zh_CN.UTF-8");
    const std::string report = probe_report(80, 24);
    EXPECT_NE(report.find("LANG=C.UTF-8\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("LC_CTYPE=zh_CN.UTF-8\r\n"), std::string::npos) << report;
}

TEST(PtySessionNative, NoShellInheritsAnotherSessionsDescriptors) {
    std::vector<PtySession> others;
    for (int i = 0; i < 3; ++i) {
        auto session = PtySession::open("/bin/sh", std::nullopt, 80, 24);
        ASSERT_TRUE(session);
        others.push_back(std::move(*session));
    }
    EXPECT_NE(probe_report(80, 24).find("fds=0,1,2\r\n"), std::string::npos);
}

TEST(PtySessionNative, AMissingShellIsASpawnError) {
    const auto session = PtySession::open("/nonexistent/shell", std::nullopt, 80, 24);
    ASSERT_FALSE(session);
    EXPECT_EQ(session.error().describe(),
              "spawn shell 子进程失败\n\nCaused by:\n    cannot run \"/nonexistent/shell\"\n"
              "    No such file or directory (os error 2)");
}

}  // namespace
}  // namespace murv::session
