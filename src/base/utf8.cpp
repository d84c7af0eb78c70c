#include "base/utf8.hpp"

namespace murv {

std::optional<DecodedChar> decode_utf8(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) return DecodedChar{lead, 1};

    std::size_t length;
    char32_t code_point;
    char32_t minimum;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, code_point = lead & 0x1f, minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, code_point = lead & 0x0f, minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, code_point = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;  // a continuation byte, or a lead that only overlong forms use
    }
    if (text.size() < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) return std::nullopt;
        code_point = (code_point << 6) | (byte(i) & 0x3f);
    }
    if (code_point < minimum || code_point > 0x10ffff) return std::nullopt;
    if (code_point >= 0xd800 && code_point <= 0xdfff) return std::nullopt;
    return DecodedChar{code_point, length};
}

bool is_valid_utf8(std::string_view text) {
    while (!text.empty()) {
        const auto decoded = decode_utf8(text);
        if (!decoded) return false;
        text.remove_prefix(decoded->length);
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    static constexpr unsigned char LEAD[] = {0x00, 0xc0, 0xe0, 0xf0};  // by continuation bytes
    const int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(LEAD[more] | (c >> (6 * more)));
    for (int i = more - 1; i >= 0; --i)
        out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3f));
}

}  // namespace murv
