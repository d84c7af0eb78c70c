#include <string_view>

#include <fmt/format.h>

#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::os {

int last_error_code() {
    return static_cast<int>(::GetLastError());
}

std::string error_text(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const Owned<FreedBy<HLOCAL, ::LocalFree>> owned(buffer);
    std::wstring_view text(buffer != nullptr ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.remove_suffix(1);
    if (text.empty()) return fmt::format("unknown error (os error {})", code);
    return fmt::format("{} (os error {})", win32::to_utf8(text), code);
}

}  // namespace murv::os
