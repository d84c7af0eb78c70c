#include "os/system_error.hpp"

#include <gtest/gtest.h>

namespace murv::os {
namespace {

TEST(SystemError, IsTheSystemsTextOnOneLineThenTheCode) {
    constexpr int FILE_NOT_FOUND = 2;  // ENOENT, and ERROR_FILE_NOT_FOUND on Windows
    const std::string text = error_text(FILE_NOT_FOUND);
    EXPECT_TRUE(text.ends_with(" (os error 2)")) << text;
    EXPECT_GT(text.size(), std::string(" (os error 2)").size());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    const std::string unknown = error_text(0x12345);  // a text of its own for one it has not
    EXPECT_TRUE(unknown.ends_with(" (os error 74565)") && unknown.size() > 17) << unknown;

    const Error failed = failure("open a pseudo-terminal", FILE_NOT_FOUND);
    EXPECT_EQ(failed.describe(), "open a pseudo-terminal\n\nCaused by:\n    " + text);
}

}  // namespace
}  // namespace murv::os
