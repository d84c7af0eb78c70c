#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <windows.h>

#include <gtest/gtest.h>

#include "pty/conpty_windows.hpp"
#include "pty/pty.hpp"
#include "support/platform.hpp"
#include "test_support.hpp"

namespace murv::pty {
namespace {

// A terminal of the native layer and a thread that reads its output until the end.
class Terminal {
  public:
    explicit Terminal(PtySize size = {}) {
        auto pair = native_pty_system().openpty(size);
        EXPECT_TRUE(pair) << pair.error().describe();
        if (pair) pair_ = std::move(*pair);
    }
    ~Terminal() {
        pair_.master.reset();
        if (reading_.joinable()) reading_.join();
    }

    // Starts `command`, releases the slave and starts reading.
    Result<std::unique_ptr<Child>> spawn(ShellCommand command) {
        auto child = pair_.slave->spawn_command(std::move(command));
        pair_.slave.reset();
        auto reader = pair_.master->try_clone_reader();
        EXPECT_TRUE(reader);
        reading_ = std::thread([this, reader = std::move(*reader)] {
            std::byte buffer[1024];
            for (;;) {
                const auto read = reader->read(buffer);
                const std::lock_guard lock(mutex_);
                if (!read || *read == 0) {
                    ended_ = true;
                    return;
                }
                output_.append(reinterpret_cast<const char*>(buffer), *read);
            }
        });
        return child;
    }

    MasterPty& master() { return *pair_.master; }
    void release_master() { pair_.master.reset(); }

    std::string output() {
        const std::lock_guard lock(mutex_);
        return output_;
    }
    // Whether the screen shows `line` within a few seconds.
    bool shows(const std::string& line) {
        return test::eventually([&] { return test::shows_line(output(), line); },
                                std::chrono::milliseconds(10000));
    }
    bool ended() {
        const std::lock_guard lock(mutex_);
        return ended_;
    }

  private:
    PtyPair pair_;
    std::thread reading_;
    std::mutex mutex_;
    std::string output_;
    bool ended_ = false;
};

ShellCommand probe_command() {
    return ShellCommand(PROBE_PATH);
}

TEST(ConsolePty, TheProgramWritesThroughTheConsoleAndEndsWhenTheMasterGoes) {
    test::ScopedEnv stay("PROBE_STAY", "1");
    Terminal terminal;
    auto child = terminal.spawn(probe_command());
    ASSERT_TRUE(child) << child.error().describe();
    const auto id = (*child)->process_id();
    ASSERT_TRUE(id);
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    EXPECT_TRUE(test::shows_line(terminal.output(), "pid=" + std::to_string(*id)));
    EXPECT_FALSE(terminal.ended());
    EXPECT_FALSE(test::process_gone(*id)) << "the program should still be up";

    // Releasing the master closes the console: the program is ended and the output ends,
    // though the reader holds its own handle to the pipe, and the console's input is still
    // open, so that the host has no other reason to go.
    auto writer = terminal.master().take_writer();
    ASSERT_TRUE(writer);
    terminal.release_master();
    ASSERT_TRUE(test::eventually([&] { return terminal.ended(); }, std::chrono::seconds(10)));
    const auto status = (*child)->wait();
    ASSERT_TRUE(status);
    EXPECT_TRUE(test::process_gone(*id));
}

TEST(ConsolePty, TheProgramGetsTheCommandsEnvironmentAndDirectory) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / L"目录");
    test::ScopedEnv inherited("Murv", "from this process");
    ShellCommand command = probe_command();
    command.set_env("MURV", "1");  // names ignore case: this replaces the inherited one
    command.set_env("LANG", "中文");
    command.set_cwd(dir.utf8() + "\\目录");
    Terminal terminal;
    ASSERT_TRUE(terminal.spawn(std::move(command)));
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    // The console's own handles: Wine 8 gives a pseudo console's program none at all.
    const std::string handles = test::under_wine() ? "stdout=none" : "stdout=console";
    for (const std::string& line : std::vector<std::string>{
             "MURV=1", "murv_entries=1", "LANG=中文", "cwd=" + dir.utf8() + "\\目录", handles}) {
        EXPECT_TRUE(test::shows_line(terminal.output(), line)) << line << "\n" << terminal.output();
    }
}

TEST(ConsolePty, WaitGivesTheProgramsExitCode) {
    for (const int code : {0, 7}) {
        test::ScopedEnv exit_code("PROBE_EXIT", std::to_string(code));
        Terminal terminal;
        auto child = terminal.spawn(probe_command());
        ASSERT_TRUE(child);
        const auto status = (*child)->wait();
        ASSERT_TRUE(status);
        EXPECT_EQ(status->success(), code == 0);
    }
}

TEST(ConsolePty, TheWriterIsHandedOutOnce) {
    Terminal terminal;
    EXPECT_TRUE(terminal.master().take_writer());
    const auto again = terminal.master().take_writer();
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().describe(), "the writer was already taken");
}

TEST(ConsolePty, KeepsTheSizeItWasGiven) {
    Terminal terminal(PtySize{.rows = 30, .cols = 100});
    EXPECT_EQ(terminal.master().get_size(), (PtySize{.rows = 30, .cols = 100}));
    const auto resized = terminal.master().resize(PtySize{.rows = 40, .cols = 120});
    if (test::under_wine()) {
        // Wine 8's ResizePseudoConsole answers E_NOTIMPL; the size stays as it was.
        ASSERT_FALSE(resized);
        EXPECT_EQ(resized.error().message(), "set the terminal size");
        EXPECT_EQ(terminal.master().get_size(), (PtySize{.rows = 30, .cols = 100}));
        return;
    }
    ASSERT_TRUE(resized) << resized.error().describe();
    EXPECT_EQ(terminal.master().get_size(), (PtySize{.rows = 40, .cols = 120}));
}

TEST(ConsolePty, WhatCannotStartIsASpawnErrorWithTheSystemsReason) {
    test::TempDir dir;
    const auto describe = [&](ShellCommand command) {
        Terminal terminal;
        auto child = terminal.spawn(std::move(command));
        EXPECT_FALSE(child);
        return child ? std::string() : child.error().describe();
    };
    const std::string missing = dir.utf8() + "\\missing.exe";
    EXPECT_EQ(
        describe(ShellCommand(missing)),
        "cannot run \"" + missing + "\"\n\nCaused by:\n    " + os_error_text(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(describe(ShellCommand("")),
              "cannot run \"\"\n\nCaused by:\n    " + os_error_text(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(describe(ShellCommand("\xff.exe")), "cannot run \"\xff.exe\"\n\nCaused by:\n    " +
                                                      os_error_text(ERROR_NO_UNICODE_TRANSLATION));

    ShellCommand elsewhere = probe_command();
    elsewhere.set_cwd(dir.utf8() + "\\missing-directory");
    EXPECT_TRUE(describe(std::move(elsewhere)).starts_with("cannot "));
}

TEST(ConptyDeathTest, AModuleWithoutThePseudoConsoleIsAFatalStop) {
    // This program's own module exports none of the three.
    EXPECT_EXIT(load_conpty(::GetModuleHandleW(nullptr)), testing::ExitedWithCode(2),
                "\nthread '<unnamed>' stopped at src/pty/pty_windows\\.cpp:\\d+:\\d+:\n"
                "this system does not support conpty\\.  Windows 10 October 2018 or newer is "
                "required\n$");
    const auto functions = load_conpty(::GetModuleHandleW(L"kernel32.dll"));
    EXPECT_TRUE(functions.create && functions.resize && functions.close);
}

}  // namespace
}  // namespace murv::pty
