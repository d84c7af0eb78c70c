// Quoting for diagnostics: whatever the bytes, the quoted form reads back to exactly them, it
// uses no escape but the documented ones, and it escapes a character if and only if the
// character cannot be shown.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/quote.hpp"
#include "base/utf8.hpp"

namespace {

[[noreturn]] void violated() {
    std::abort();  // libFuzzer keeps the input that got here
}

void expect(bool holds) {
    if (!holds) violated();
}

// The characters that cannot be shown as they are: the generated table that the quoting
// searches, read here range by range, so that a fault of the search shows.
struct EscapedRange {
    char32_t first, last;
};

#include "base/quote_escaped.inc"

bool hidden(char32_t c) {
    for (const auto& [first, last] : ESCAPED_RANGES) {
        if (c >= first && c <= last) return true;
    }
    return false;
}

std::optional<unsigned> hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;  // lower case only, as documented
    return std::nullopt;
}

// Reads one quoted text from the front of `in` and removes it; checks the form as it goes.
std::string unquote(std::string_view& in) {
    expect(!in.empty() && in.front() == '"');
    in.remove_prefix(1);
    std::string out;
    for (;;) {
        expect(!in.empty());
        const char c = in.front();
        if (c == '"') {
            in.remove_prefix(1);
            return out;
        }
        if (c != '\\') {
            // Unescaped text is valid UTF-8 and shows every character it has.
            const auto decoded = murv::decode_utf8(in);
            expect(decoded.has_value());
            expect(!hidden(decoded->code_point));
            out += in.substr(0, decoded->length);
            in.remove_prefix(decoded->length);
            continue;
        }
        expect(in.size() >= 2);
        const char kind = in[1];
        in.remove_prefix(2);
        switch (kind) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                // A byte that is not valid UTF-8 where it stands: always 0x80 or above.
                expect(in.size() >= 2);
                const auto high = hex_digit(in[0]), low = hex_digit(in[1]);
                expect(high && low && *high >= 8);
                out += static_cast<char>(*high << 4 | *low);
                in.remove_prefix(2);
                break;
            }
            case 'u': {
                expect(!in.empty() && in.front() == '{');
                in.remove_prefix(1);
                char32_t p = 0;
                int digits = 0;
                while (!in.empty() && in.front() != '}') {
                    const auto digit = hex_digit(in.front());
                    // Up to six digits, the first never a 0.
                    expect(digit.has_value() && digits < 6 && (digits > 0 || *digit != 0));
                    p = p << 4 | *digit;
                    ++digits;
                    in.remove_prefix(1);
                }
                expect(!in.empty() && digits > 0 && p <= 0x10ffff && !(p >= 0xd800 && p <= 0xdfff));
                in.remove_prefix(1);
                // Only what has no short escape of its own and cannot be shown as it is.
                expect(p != '\t' && p != '\r' && p != '\n' && p != 0 && hidden(p));
                murv::append_utf8(out, p);
                break;
            }
            default:
                violated();  // no other escape is documented
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string_view quoted_view;
    const std::string quoted = murv::debug_quoted(text);
    quoted_view = quoted;
    expect(unquote(quoted_view) == text);
    expect(quoted_view.empty());

    // A list of the pieces between 0xff bytes: "[", each quoted, ", " between, "]".
    std::vector<std::string> texts;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\xff') {
            texts.push_back(text.substr(from, i - from));
            from = i + 1;
        }
    }
    const std::string list = murv::debug_list(texts);
    std::string_view rest = list;
    expect(rest.starts_with("["));
    rest.remove_prefix(1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) {
            expect(rest.starts_with(", "));
            rest.remove_prefix(2);
        }
        expect(unquote(rest) == texts[i]);
    }
    expect(rest == "]");
    return 0;
}
