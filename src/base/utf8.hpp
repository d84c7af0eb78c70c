// Strict UTF-8 decoding: no overlong forms, no surrogates, nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace murv {

struct DecodedChar {
    char32_t code_point;
    std::size_t length;  // bytes taken from the text, 1 to 4
};

// Decodes the character at the front of `text`; nothing when the front is not valid UTF-8.
std::optional<DecodedChar> decode_utf8(std::string_view text);

bool is_valid_utf8(std::string_view text);

void append_utf8(std::string& out, char32_t c);

}  // namespace murv
