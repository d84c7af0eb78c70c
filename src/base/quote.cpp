#include "base/quote.hpp"

#include <algorithm>
#include <iterator>
#include <string_view>

#include <fmt/format.h>

#include "base/utf8.hpp"

namespace murv {
namespace {

struct EscapedRange {
    char32_t first, last;
};

#include "quote_escaped.inc"  // generated, beside this file

// Printable unless the generated table holds it: looked up by binary search on the last code
// point of each range.
bool is_printable(char32_t c) {
    const auto range =
        std::lower_bound(std::begin(ESCAPED_RANGES), std::end(ESCAPED_RANGES), c,
                         [](const EscapedRange& r, char32_t v) { return r.last < v; });
    return range == std::end(ESCAPED_RANGES) || c < range->first;
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
        // The characters with an escape of their own, and the letter of each.
        if (const auto own = std::u32string_view(U"\\\"\t\r\n\0", 6).find(c);
            own != std::u32string_view::npos) {
            quoted += '\\';
            quoted += "\\\"trn0"[own];
        } else if (is_printable(c)) {
            quoted += text.substr(0, decoded->length);
        } else {
            quoted += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(c));
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
