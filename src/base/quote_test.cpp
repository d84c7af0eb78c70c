#include "base/quote.hpp"

#include <gtest/gtest.h>

namespace murv {
namespace {

using namespace std::string_literals;

TEST(DebugQuoted, EscapesWhatCannotBeShownAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        // Backslash, quote and the named controls.
        {R"(C:\dir "x")", R"("C:\\dir \"x\"")"},
        {"a\tb\rc\nd\0e"s, R"("a\tb\rc\nd\0e")"},
        // Other controls and invisible characters, as lower-case code points: C0 and DEL, C1,
        // the soft hyphen and the format marks, zero-width and directional characters, line
        // and paragraph separators, embeddings, the word joiner, invisible operators and the
        // directional isolates, the byte order mark and the annotation controls.
        {"\x01\x1b\x7f", R"("\u{1}\u{1b}\u{7f}")"},
        {"\xc2\x85\xc2\x9f", R"("\u{85}\u{9f}")"},
        {"\u00ad\u061c\u180e", R"("\u{ad}\u{61c}\u{180e}")"},
        {"\u200b\u200f\u2028\u202e", R"("\u{200b}\u{200f}\u{2028}\u{202e}")"},
        {"\u2060\u2066\u2069\u206f", R"("\u{2060}\u{2066}\u{2069}\u{206f}")"},
        {"\ufeff\ufff9\ufffb", R"("\u{feff}\u{fff9}\u{fffb}")"},
        // Each byte that is not valid UTF-8: alone, a truncated sequence, an overlong '/',
        // a surrogate.
        {"a\xff"
         "b",
         R"("a\xffb")"},
        {"\xe4\xb8", R"("\xe4\xb8")"},
        {"\xc0\xaf", R"("\xc0\xaf")"},
        {"\xed\xa0\x80", R"("\xed\xa0\x80")"},
        // Printable text, non-ASCII and the neighbours of the ranges above included.
        {"/home/用户/target/release/murv ✅ é '", "\"/home/用户/target/release/murv ✅ é '\""},
        {"\u00a0\u00ae\u2027\u202f\u205f\u2070\ufffc",
         "\"\u00a0\u00ae\u2027\u202f\u205f\u2070\ufffc\""},
    };
    for (const auto& [text, quoted] : cases) {
        EXPECT_EQ(debug_quoted(text), quoted);
    }
}

TEST(DebugList, BracketsAndSeparatesQuotedTexts) {
    const std::string texts[] = {"/a/target/release/murv", "/a/../target/release/murv"};
    EXPECT_EQ(debug_list(texts), R"(["/a/target/release/murv", "/a/../target/release/murv"])");
}

}  // namespace
}  // namespace murv
