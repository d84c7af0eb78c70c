#include "base/utf8.hpp"

#include <gtest/gtest.h>

namespace murv {
namespace {

TEST(Utf8, AcceptsOnlyStrictUtf8) {
    EXPECT_TRUE(is_valid_utf8(""));
    EXPECT_TRUE(is_valid_utf8("en_US.UTF-8 中文 \U0010ffff"));
    EXPECT_FALSE(is_valid_utf8("\xf4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(is_valid_utf8("\xe0\x80\x80"));      // overlong
    EXPECT_FALSE(is_valid_utf8("\x80"));
}

TEST(Utf8, EncodesEachLengthAndDecodesItBack) {
    for (const char32_t c : {U'a', U'\u00e9', U'\u4e2d', U'\U0001f600', U'\U0010ffff'}) {
        std::string text;
        append_utf8(text, c);
        const auto decoded = decode_utf8(text);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->code_point, c);
        EXPECT_EQ(decoded->length, text.size());
    }
}

}  // namespace
}  // namespace murv
