#include "session/pty_session.hpp"

#include <gtest/gtest.h>

#include "fake_pty.hpp"
#include "os/platform.hpp"
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

// What an open of `shell` in `cwd` asks the layer to start.
pty::ShellCommand command_built(std::optional<std::string> shell = "sh",
                                std::optional<std::string> cwd = std::nullopt) {
    FakePtySystem layer(FailAt::spawn);
    (void)PtySession::open(layer, std::move(shell), std::move(cwd), 80, 24);
    return *layer.log().command;
}

// The shell variables are tried in the platform's order ("SHELL", and then "ComSpec" on
// Windows); a variable that is absent or not Unicode gives way to the next, the last to
// "/bin/sh" ("cmd.exe").
TEST(PtySessionOpen, ChoosesTheGivenShellElseTheFirstUsableShellVariableElseTheFallback) {
    const auto& variables = test::SHELL_VARIABLES;
    const auto value_of = [](const char* variable) { return std::string("from ") + variable; };
    std::vector<std::unique_ptr<test::ScopedEnv>> set;  // undone last to first
    for (const char* variable : variables)
        set.push_back(std::make_unique<test::ScopedEnv>(variable, value_of(variable)));

    EXPECT_EQ(command_built("/bin/given").program(), "/bin/given");
    EXPECT_EQ(command_built("").program(), "");  // given, even empty
    for (std::size_t i = 0; i < variables.size(); ++i) {
        const std::string next =
            i + 1 < variables.size() ? value_of(variables[i + 1]) : test::FALLBACK_SHELL;
        EXPECT_EQ(command_built(std::nullopt).program(), value_of(variables[i]));
        {
            test::ScopedEnv empty(variables[i], "");
            EXPECT_EQ(command_built(std::nullopt).program(), "");  // present, even empty
        }
        {
            const auto not_unicode = test::ScopedEnv::not_unicode(variables[i]);
            EXPECT_EQ(command_built(std::nullopt).program(), next);
        }
        set.push_back(std::make_unique<test::ScopedEnv>(variables[i], std::nullopt));
        EXPECT_EQ(command_built(std::nullopt).program(), next);
    }
    while (!set.empty())
        set.pop_back();
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
    for (const auto& [name, fallback] : {std::pair{"LANG", "en_US.UTF-8"}, {"LC_CTYPE", "UTF-8"}}) {
        EXPECT_EQ(inherited(name, std::nullopt), fallback);
        EXPECT_EQ(inherited(name, ""), fallback);
        const auto not_unicode = test::ScopedEnv::not_unicode(name);
        EXPECT_EQ(command_built().environment().at(name), fallback);
    }
}

TEST(PtySessionOpen, RunsInTheGivenDirectoryElseTheProfileDirectory) {
    EXPECT_EQ(command_built("sh", "/given/dir").cwd(), "/given/dir");
    test::ScopedEnv home("HOME", "/home/profile");  // the profile directory where HOME tells it
    ASSERT_TRUE(os::profile_directory());
    EXPECT_EQ(command_built().cwd(), os::profile_directory());
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

// The native layer: the probe, as the shell, reports what it was started with. What it
// prints reaches the ring and, chunk by chunk, the channel, on a terminal that wraps no line.
TEST(PtySessionNative, TheShellSeesTheSessionEnvironmentAndItsOutputReachesRingAndChannel) {
    test::ScopedEnv term("TERM", "dumb");
    test::ScopedEnv lang("LANG", std::nullopt);
    test::ScopedEnv ctype("LC_CTYPE", "");
    auto session = PtySession::open(pty::native_pty_system(), PROBE_PATH, std::nullopt, 1000, 50);
    ASSERT_TRUE(session) << session.error().describe();
    std::string screen;
    ASSERT_TRUE(test::eventually(
        [&] {
            screen = OutputRingProbe::contents(*session->output_ring);
            return test::shows_line(screen, "done");
        },
        std::chrono::milliseconds(10000)))
        << screen;
    for (const std::string& line :
         std::vector<std::string>{"TERM=xterm-256color", "MURV=1", "LANG=en_US.UTF-8",
                                  "LC_CTYPE=UTF-8", "cwd=" + *os::profile_directory()}) {
        EXPECT_TRUE(test::shows_line(screen, line)) << line << "\n" << screen;
    }
    // Each chunk reaches the channel just after the ring.
    auto receiver = test::run_task(session->output_rx.lock());
    std::string sent;
    EXPECT_TRUE(test::eventually([&] {
        sent.clear();
        for (const auto& chunk : OutputReceiverProbe::queued(*receiver))
            sent += chunk;
        return sent.starts_with(screen);
    })) << sent;
}

}  // namespace
}  // namespace murv::session
