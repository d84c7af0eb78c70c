#include "base/quote.hpp"

#include <gtest/gtest.h>

namespace murv {
namespace {

using namespace std::string_literals;

TEST(DebugQuoted, EscapesBackslashQuoteAndNamedControls) {
    EXPECT_EQ(debug_quoted(R"(C:\dir "x")"), R"("C:\\dir \"x\"")");
    EXPECT_EQ(debug_quoted("a\tb\rc\nd\0e"s), R"("a\tb\rc\nd\0e")");
}

TEST(DebugQuoted, WritesOtherNonPrintablesAsLowerCaseCodePoints) {
    EXPECT_EQ(debug_quoted("\x01\x1b\x7f"), R"("\u{1}\u{1b}\u{7f}")");
    EXPECT_EQ(debug_quoted("\xc2\x85\xc2\x9f"), R"("\u{85}\u{9f}")");  // C1 controls
    EXPECT_EQ(debug_quoted("\u200b\u202e\ufeff"), R"("\u{200b}\u{202e}\u{feff}")");
}

TEST(DebugQuoted, KeepsPrintableTextIncludingNonAscii) {
    EXPECT_EQ(debug_quoted("/home/用户/target/release/murv ✅ é '"),
              "\"/home/用户/target/release/murv ✅ é '\"");
}

TEST(DebugQuoted, EscapesEachByteThatIsNotValidUtf8) {
    EXPECT_EQ(debug_quoted("a\xff"
                           "b"),
              R"("a\xffb")");
    EXPECT_EQ(debug_quoted("\xe4\xb8"), R"("\xe4\xb8")");          // truncated sequence
    EXPECT_EQ(debug_quoted("\xc0\xaf"), R"("\xc0\xaf")");          // overlong '/'
    EXPECT_EQ(debug_quoted("\xed\xa0\x80"), R"("\xed\xa0\x80")");  // a surrogate
}

TEST(DebugList, BracketsAndSeparatesQuotedTexts) {
    const std::string texts[] = {"/a/target/release/murv", "/a/../target/release/murv"};
    EXPECT_EQ(debug_list(texts), R"(["/a/target/release/murv", "/a/../target/release/murv"])");
}

}  // namespace
}  // namespace murv
