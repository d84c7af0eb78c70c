// The native layer through its interface, the same on every platform.
#include "pty/pty.hpp"

#include <filesystem>

#include <gtest/gtest.h>

#include "os/platform.hpp"
#include "os/system_error.hpp"
#include "terminal.hpp"
#include "test_support.hpp"

namespace murv::pty {
namespace {

constexpr int FILE_NOT_FOUND = 2;  // ENOENT, and ERROR_FILE_NOT_FOUND on Windows

TEST(NativePty, TheProgramGetsTheCommandsEnvironmentAndDirectory) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / u8"目录");
    const std::string directory = test::utf8(dir.path() / u8"目录");
    ShellCommand command(PROBE_PATH);
    command.set_env("MURV", "1");
    command.set_env("LANG", "中文");
    command.set_cwd(directory);
    test::Terminal terminal;
    ASSERT_TRUE(terminal.spawn(std::move(command)));
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    for (const std::string& line :
         {std::string("MURV=1"), std::string("LANG=中文"), "cwd=" + directory}) {
        EXPECT_TRUE(test::shows_line(terminal.output(), line)) << line << "\n" << terminal.output();
    }
}

TEST(NativePty, WaitGivesTheProgramsExitStatus) {
    for (const int code : {0, 7}) {
        test::ScopedEnv exit_code("PROBE_EXIT", std::to_string(code));
        test::Terminal terminal;
        auto child = terminal.spawn(ShellCommand(PROBE_PATH));
        ASSERT_TRUE(child) << child.error().describe();
        const auto status = (*child)->wait();
        ASSERT_TRUE(status);
        EXPECT_EQ(status->success(), code == 0);
    }
}

TEST(NativePty, AProgramThatIsNowhereIsASpawnErrorWithTheSystemsReason) {
    test::TempDir dir;
    const auto describe = [&](std::string program) {
        test::Terminal terminal;
        auto child = terminal.spawn(ShellCommand(std::move(program)));
        EXPECT_FALSE(child);
        return child ? std::string() : child.error().describe();
    };
    const std::string missing = dir.utf8() + "/missing" + os::executable_suffix();
    EXPECT_EQ(describe(missing), "cannot run \"" + missing + "\"\n\nCaused by:\n    " +
                                     os::error_text(FILE_NOT_FOUND));
    EXPECT_EQ(describe(""), "cannot run \"\"\n\nCaused by:\n    " + os::error_text(FILE_NOT_FOUND));
}

TEST(NativePty, HandsTheWriterOutOnceAndKeepsTheSize) {
    test::Terminal terminal(PtySize{.rows = 30, .cols = 100});
    EXPECT_TRUE(terminal.master().take_writer());
    const auto again = terminal.master().take_writer();
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().describe(), "the writer was already taken");

    EXPECT_EQ(terminal.master().get_size(), (PtySize{.rows = 30, .cols = 100}));
    const auto resized = terminal.master().resize(PtySize{.rows = 40, .cols = 120});
    if (test::under_wine()) {
        // Wine 8's ResizePseudoConsole answers E_NOTIMPL; the size stays as it was.
        ASSERT_FALSE(resized);
        EXPECT_EQ(resized.error().message(), "ResizePseudoConsole (set the terminal size)");
        EXPECT_EQ(terminal.master().get_size(), (PtySize{.rows = 30, .cols = 100}));
        return;
    }
    ASSERT_TRUE(resized) << resized.error().describe();
    EXPECT_EQ(terminal.master().get_size(), (PtySize{.rows = 40, .cols = 120}));
}

}  // namespace
}  // namespace murv::pty
