#include "os/win32.hpp"

#include "base/utf8.hpp"
#include "os/system_error.hpp"

namespace murv::os::win32 {
namespace {

constexpr auto is_high_surrogate = [](char32_t unit) { return unit >= 0xd800 && unit <= 0xdbff; };
constexpr auto is_low_surrogate = [](char32_t unit) { return unit >= 0xdc00 && unit <= 0xdfff; };

// The code point at `i`, a pair's or a surrogate without its partner as it is; `i` moves past it.
char32_t next_code_point(std::wstring_view text, std::size_t& i) {
    const char32_t unit = text[i++];
    if (is_high_surrogate(unit) && i < text.size() && is_low_surrogate(text[i])) {
        return 0x10000 + ((unit - 0xd800) << 10) + (text[i++] - 0xdc00);
    }
    return unit;
}

void append_utf16(std::wstring& out, char32_t c) {
    wchar_t units[2];
    out.append(units, encode_utf16(c, units));
}

// The three-byte form of a lone surrogate at the front of `text`, which strict UTF-8 refuses.
std::optional<char32_t> surrogate_form(std::string_view text) {
    if (text.size() < 3) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(text[0]);
    const auto b1 = static_cast<unsigned char>(text[1]);
    const auto b2 = static_cast<unsigned char>(text[2]);
    if (b0 != 0xed || b1 < 0xa0 || b1 > 0xbf || (b2 & 0xc0) != 0x80) return std::nullopt;
    return 0xd000 | ((b1 & 0x3fu) << 6) | (b2 & 0x3fu);
}

// What is neither UTF-8 nor a surrogate's form becomes `replacement`, or ends it without one.
std::optional<std::wstring> convert(std::string_view text, std::optional<char32_t> replacement) {
    std::wstring out;
    out.reserve(text.size());
    while (!text.empty()) {
        if (const auto decoded = decode_utf8(text)) {
            append_utf16(out, decoded->code_point);
            text.remove_prefix(decoded->length);
        } else if (const auto surrogate = surrogate_form(text)) {
            out += static_cast<wchar_t>(*surrogate);
            text.remove_prefix(3);
        } else if (replacement) {
            append_utf16(out, *replacement);
            text.remove_prefix(1);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::size_t encode_utf16(char32_t c, wchar_t* out) {
    if (c < 0x10000) {
        out[0] = static_cast<wchar_t>(c);
        return 1;
    }
    c -= 0x10000;
    out[0] = static_cast<wchar_t>(0xd800 + (c >> 10));
    out[1] = static_cast<wchar_t>(0xdc00 + (c & 0x3ff));
    return 2;
}

AttributeList::~AttributeList() {
    if (initialised_) ::DeleteProcThreadAttributeList(get());
}

Result<void> AttributeList::attach(STARTUPINFOEXW& startup, DWORD_PTR attribute, void* value,
                                   std::size_t size) {
    SIZE_T room = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &room);  // fails, telling the size
    storage_.resize(room);
    if (!::InitializeProcThreadAttributeList(get(), 1, 0, &room)) {
        return std::unexpected(
            last_failure("InitializeProcThreadAttributeList (list an attribute)"));
    }
    initialised_ = true;
    if (!::UpdateProcThreadAttribute(get(), 0, attribute, value, size, nullptr, nullptr)) {
        return std::unexpected(last_failure("UpdateProcThreadAttribute (set an attribute)"));
    }
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = get();
    return {};
}

std::string to_utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        append_utf8(out, next_code_point(text, i));
    return out;
}

std::optional<std::wstring> to_wide(std::string_view text) {
    return convert(text, std::nullopt);
}

std::wstring to_wide_lossy(std::string_view text) {
    return *convert(text, U'\ufffd');
}

bool is_valid_utf16(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = next_code_point(text, i);
        if (is_high_surrogate(c) || is_low_surrogate(c)) return false;
    }
    return true;
}

void append_argument(std::wstring& line, std::wstring_view argument) {
    if (!line.empty()) line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        line += argument;
        return;
    }
    // Backslashes are doubled only before a quote, escaped or closing.
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring_view unquoted(std::wstring_view text) {
    if (text.size() < 2 || !text.starts_with(L'"') || !text.ends_with(L'"') ||
        text.substr(1, text.size() - 2).find(L'"') != std::wstring_view::npos) {
        return text;
    }
    return text.substr(1, text.size() - 2);
}

void append_program(std::wstring& line, std::wstring_view program) {
    if (!line.empty()) line += L' ';
    const bool quoted = program.empty() || program.find_first_of(L" \t") != std::wstring_view::npos;
    if (quoted) line += L'"';
    line += program;
    if (quoted) line += L'"';
}

}  // namespace murv::os::win32
