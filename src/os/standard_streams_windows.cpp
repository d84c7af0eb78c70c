#include <algorithm>
#include <iterator>

#include <windows.h>

#include "base/fatal.hpp"
#include "base/utf8.hpp"
#include "os/standard_streams.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

// A console takes text, not bytes: through WriteFile it would read them in its code page. The
// text is converted a buffer at a time, so that nothing is allocated; what is not UTF-8
// becomes U+FFFD. Returns 0 or the error code; `wrote` tells whether any of it went out.
DWORD write_console(HANDLE console, std::string_view bytes, bool& wrote) {
    // Larger writes fail on some console hosts; 8 KiB is taken everywhere.
    wchar_t buffer[4096];
    std::size_t used = 0;
    const auto flush = [&]() -> DWORD {
        for (std::size_t at = 0; at < used;) {
            DWORD written = 0;
            if (!::WriteConsoleW(console, buffer + at, static_cast<DWORD>(used - at), &written,
                                 nullptr)) {
                return ::GetLastError();
            }
            if (written == 0) return ERROR_WRITE_FAULT;  // no progress: it would go on for ever
            wrote = true;
            at += written;
        }
        used = 0;
        return 0;
    };
    while (!bytes.empty()) {
        char32_t c = U'\ufffd';
        if (const auto decoded = decode_utf8(bytes)) {
            c = decoded->code_point;
            bytes.remove_prefix(decoded->length);
        } else {
            bytes.remove_prefix(1);
        }
        if (used + 2 > std::size(buffer)) {
            if (const DWORD error = flush()) return error;
        }
        used += win32::encode_utf16(c, buffer + used);
    }
    return flush();
}

DWORD write_file(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto length = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), length, &written, nullptr)) return ::GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;  // no progress: it would go on for ever
        bytes.remove_prefix(written);
    }
    return 0;
}

// Returns 0 or the error code; allocates nothing.
DWORD write_all(StandardStream stream, std::string_view bytes) {
    const HANDLE handle =
        ::GetStdHandle(stream == StandardStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    // A console is told by what it is: WriteConsoleW takes a console handle with write access
    // alone, as some parents hand one on, where GetConsoleMode needs read access too, and may
    // fail on a console. A file or a pipe goes straight to WriteFile; any other handle (a
    // character device, or one whose type cannot be read) is tried as a console first, and
    // takes WriteFile when it is none, which a refusal of the first write says.
    const DWORD type = ::GetFileType(handle);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
        bool wrote = false;
        const DWORD error = write_console(handle, bytes, wrote);
        if (wrote || error != ERROR_INVALID_HANDLE) return error;
    }
    return write_file(handle, bytes);
}

void write_diagnostic(std::string_view bytes) noexcept {
    (void)write_all(StandardStream::error, bytes);  // nothing is left to tell it to
}

unsigned long long current_thread() noexcept {
    return ::GetCurrentThreadId();
}

// Sleep, not the C++ library's sleep: that is mingw-w64's POSIX emulation, which sets up a
// thread it has not seen and ends the process by abort when it cannot.
void pause() noexcept {
    ::Sleep(INFINITE);
}

}  // namespace

Result<void> write_standard(StandardStream stream, std::string_view bytes) {
    if (const DWORD error = write_all(stream, bytes)) {
        return std::unexpected(system_error(static_cast<int>(error)));
    }
    return {};
}

void install_fatal_platform() {
    set_fatal_platform({write_diagnostic, current_thread, pause});
}

}  // namespace murv::os
