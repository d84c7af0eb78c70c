// Quoting of texts for diagnostics, in the style of a debug listing.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace murv {

// `text` between double quotes, with backslash and double quote escaped by a backslash; tab,
// carriage return, line feed and NUL written as \t, \r, \n and \0; any other non-printable
// character as \u{hex} (lower-case hex of its code point); a byte that is not part of valid
// UTF-8 as \x and two lower-case hex digits. Printable characters, non-ASCII ones included,
// are written unchanged.
//
// Non-printable, by Unicode 17.0: the general categories Cc, Cf, Cs, Co, Cn, Zl, Zp and Zs
// (but for the space U+0020), and every character with the property Grapheme_Extend (combining
// marks, variation selectors), which would otherwise join the character before it.
std::string debug_quoted(std::string_view text);

// "[" then each text quoted as above, separated by ", ", then "]".
std::string debug_list(std::span<const std::string> texts);

}  // namespace murv
