#include <sys/wait.h>

#include <gtest/gtest.h>

#include "pty/pty.hpp"
#include "terminal.hpp"
#include "test_support.hpp"

namespace murv::pty {
namespace {

PtyPair open_pair(PtySize size = {}) {
    auto pair = native_pty_system().openpty(size);
    EXPECT_TRUE(pair) << pair.error().describe();
    return std::move(*pair);
}

// Reads the terminal until `marker` has arrived or the output ends.
std::string read_until(Reader& reader, std::string_view marker) {
    std::string text;
    std::array<std::byte, 4096> buffer;
    while (text.find(marker) == std::string::npos) {
        const auto n = reader.read(buffer);
        if (!n || *n == 0) break;
        text += test::text_of(std::span(buffer).first(*n));
    }
    return text;
}

// Its start is otherwise os::start_child's: the standard streams alone, default signals.
TEST(PosixPty, RunsTheProgramOnTheTerminalAsItsControllingTerminal) {
    auto other = open_pair();  // another terminal, which must not reach the program
    test::Terminal terminal(PtySize{.rows = 24, .cols = 80});
    ShellCommand command(PROBE_PATH);
    command.set_cwd("/");
    auto child = terminal.spawn(std::move(command));
    ASSERT_TRUE(child) << child.error().describe();
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    for (const char* line : {"fds=0,1,2", "size=24x80", "controlling_terminal=yes", "cwd=/"})
        EXPECT_TRUE(test::shows_line(terminal.output(), line)) << line << "\n" << terminal.output();
    const auto status = (*child)->wait();
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->success());
}

TEST(PosixPty, LooksAProgramWithoutASlashUpOnTheCommandsPath) {
    auto pair = open_pair();
    const std::filesystem::path probe(PROBE_PATH);
    ShellCommand command("probe-that-is-not-there");
    command.set_env("PATH", "/nonexistent:" + probe.parent_path().string());
    EXPECT_FALSE(pair.slave->spawn_command(std::move(command)));

    ShellCommand found(probe.filename().string());
    found.set_env("PATH", "/nonexistent:" + probe.parent_path().string());
    auto child = pair.slave->spawn_command(std::move(found));
    ASSERT_TRUE(child) << child.error().describe();
    EXPECT_TRUE((*child)->wait());
}

TEST(PosixPty, ReturnsExecAndDirectoryFailuresAsErrorsAndReapsTheChild) {
    auto pair = open_pair();
    ASSERT_FALSE(pair.slave->spawn_command(ShellCommand("/nonexistent/shell")));

    ShellCommand elsewhere("/bin/sh");
    elsewhere.set_cwd("/nonexistent/dir");
    const auto no_dir = pair.slave->spawn_command(std::move(elsewhere));
    ASSERT_FALSE(no_dir);
    EXPECT_EQ(no_dir.error().message(), "cannot change directory to \"/nonexistent/dir\"");

    const auto empty = pair.slave->spawn_command(ShellCommand(""));
    ASSERT_FALSE(empty);
    // Each failed child was reaped: none is left to wait for.
    EXPECT_FALSE(test::has_children());
}

// A reader that is not reading when the master goes still holds the terminal open: the shell
// ends by the hang-up's signals alone. (bash may defer a signal that comes as it starts and
// end only when the reader lets the terminal go, which the next test shows.) The reader then
// reads the end of the output.
TEST(PosixPty, ReleasingTheMasterSignalsTheShellWhileAReaderStillHoldsTheTerminal) {
    auto pair = open_pair();
    auto child = pair.slave->spawn_command(ShellCommand("/bin/sh"));
    ASSERT_TRUE(child) << child.error().describe();
    pair.slave.reset();
    auto reader = pair.master->try_clone_reader();
    ASSERT_TRUE(reader);
    const std::string prompt = ::geteuid() == 0 ? "# " : "$ ";
    ASSERT_TRUE(read_until(**reader, prompt).ends_with(prompt));
    const auto pid = static_cast<pid_t>(*(*child)->process_id());

    pair.master.reset();
    EXPECT_TRUE(test::eventually([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }));
    (void)read_until(**reader, "never printed");
    (void)::waitpid(pid, nullptr, 0);  // had it not ended, the reader's end would end it
}

// Once the master is gone, a reader reads the end of the output and lets the terminal go:
// then the kernel hangs it up, which ends also a shell that deferred the signals.
TEST(PosixPty, ReleasingTheMasterEndsTheShellOnceItsReaderHasRead) {
    // The user's own start-up files are no part of this.
    test::TempDir home;
    test::ScopedEnv no_rc_files("HOME", home.path().string());
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
        auto pair = open_pair();
        auto child = pair.slave->spawn_command(ShellCommand(shell));
        ASSERT_TRUE(child) << child.error().describe();
        pair.slave.reset();
        auto reader = pair.master->try_clone_reader();
        ASSERT_TRUE(reader);
        std::array<std::byte, 4096> buffer;
        ASSERT_TRUE((*reader)->read(buffer));  // the shell has started
        const auto pid = static_cast<pid_t>(*(*child)->process_id());

        pair.master.reset();
        (void)read_until(**reader, "never printed");
        EXPECT_TRUE((*child)->wait()) << shell;
        EXPECT_TRUE(test::reaped(pid)) << shell;
    }
}

}  // namespace
}  // namespace murv::pty
