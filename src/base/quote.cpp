#include "base/quote.hpp"

#include <fmt/format.h>

#include "base/utf8.hpp"

namespace murv {
namespace {

bool is_printable(char32_t c) {
    if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) return false;  // C0, DEL, C1
    switch (c) {
        case 0x00ad:  // soft hyphen
        case 0x061c:  // Arabic letter mark
        case 0x180e:  // Mongolian vowel separator
        case 0xfeff:  // byte order mark
            return false;
        default:
            break;
    }
    if (c >= 0x200b && c <= 0x200f) return false;  // zero-width characters, directional marks
    if (c >= 0x2028 && c <= 0x202e) return false;  // line/paragraph separators, embeddings
    if (c >= 0x2060 && c <= 0x206f) return false;  // word joiner, invisible operators, isolates
    if (c >= 0xfff9 && c <= 0xfffb) return false;  // interlinear annotation controls
    return true;
}

}  // namespace

std::string debug_quoted(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const auto decoded = decode_utf8(text);
        if (!decoded) {
            quoted += fmt::format("\\x{:02x}", static_cast<unsigned char>(text.front()));
            text.remove_prefix(1);
            continue;
        }
        const char32_t c = decoded->code_point;
        switch (c) {
            case '\\':
                quoted += "\\\\";
                break;
            case '"':
                quoted += "\\\"";
                break;
            case '\t':
                quoted += "\\t";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\0':
                quoted += "\\0";
                break;
            default:
                if (is_printable(c)) {
                    quoted += text.substr(0, decoded->length);
                } else {
                    quoted += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(c));
                }
        }
        text.remove_prefix(decoded->length);
    }
    quoted += '"';
    return quoted;
}

std::string debug_list(std::span<const std::string> texts) {
    std::string list = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) list += ", ";
        list += debug_quoted(texts[i]);
    }
    list += ']';
    return list;
}

}  // namespace murv
