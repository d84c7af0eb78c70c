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
        {"a\xff"s + "b", R"("a\xffb")"},
        {"\xe4\xb8", R"("\xe4\xb8")"},
        {"\xc0\xaf", R"("\xc0\xaf")"},
        {"\xed\xa0\x80", R"("\xed\xa0\x80")"},
        // Known answers of Unicode 17.0's code charts, each beside a printable neighbour: spaces
        // (Zs), combining marks, a variation selector and the enclosing keycap (Grapheme_Extend),
        // the Arabic number signs and tags (Cf), private use (Co), unassigned code points (Cn).
        {"\u00a0\u00a1 \u202f\u2027 \u205f \u3000\u3001",
         R"("\u{a0}¡ \u{202f}‧ \u{205f} \u{3000}、")"},
        {"e\u0301\u02ff\u0370 \u3096\u3099\u309b \u2764\ufe0f\ufe10 1\u20e3",
         R"("e\u{301}˿Ͱ ゖ\u{3099}゛ ❤\u{fe0f}︐ 1\u{20e3}")"},
        {"\u0600\u0605\u0606 \U0001f3f4\U000e0067\U000e007f",
         R"("\u{600}\u{605}؆ 🏴\u{e0067}\u{e007f}")"},
        {"\ue000\uf8ff\uf900", "\"\\u{e000}\\u{f8ff}\uf900\""},
        {"\u0377\u0378\u037a \ufffd\ufffe \U0010ffff", R"("ͷ\u{378}ͺ �\u{fffe} \u{10ffff}")"},
        // Printable text: a path in Chinese, an emoji, a Hangul syllable, a supplementary
        // ideograph.
        {"/home/用户/target/release/murv ✅ é ' \U0001f600\u4e2d\U00020000\uac00",
         "\"/home/用户/target/release/murv ✅ é ' \U0001f600\u4e2d\U00020000\uac00\""},
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
