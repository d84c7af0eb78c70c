// The helpers' own rules, where a test's verdict rests on them.
#include "test_support.hpp"

#include <gtest/gtest.h>

namespace test {
namespace {

// As a real console host draws a screen: positions, a cursor forward over blanks, erasures.
TEST(ScreenLines, FollowsTheCursorMovesOfAConsoleHost) {
    const std::string output =
        "\x1b[?25l\x1b[2J\x1b[m\x1b[HTERM=xterm-256color\x1b[K\r\n"
        "MURV=1\x1b[2;1Hcwd=C:\\Users\x1b[2Ca b\x1b[5X\x1b[3;1H\x1b]0;C:\\probe.exe\a"
        "\x1b[10Gdone\x1b[?25h";
    EXPECT_EQ(screen_lines(output),
              (std::vector<std::string>{"TERM=xterm-256color", "MURV=1", "cwd=C:\\Users  a b",
                                        "         done"}));
    EXPECT_TRUE(shows_line(output, "MURV=1"));
    EXPECT_FALSE(shows_line(output, "done"));
}

}  // namespace
}  // namespace test
