#include <algorithm>
#include <atomic>
#include <iterator>

#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include "base/fatal.hpp"
#include "base/utf8.hpp"
#include "os/standard_streams.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

// A console takes text, not bytes: through WriteFile it would read them in its code page. The
// text is converted a buffer at a time, so that nothing is allocated; what is not UTF-8
// becomes U+FFFD. Returns 0 or the error code.
DWORD write_console(HANDLE console, std::string_view bytes) {
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

enum class Kind : char { unknown, console, file };

// What each stream's handle is, found at its first write. Not a function-local static: those
// have no guard here, and a reader thread's stop may write first.
std::atomic<Kind> kinds[2];

using QueryVolume = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FS_INFORMATION_CLASS);
std::atomic<QueryVolume> query_volume = nullptr;  // looked up at the first query

// Whether `handle` is a console, by the device it names: GetConsoleMode needs read access, and
// some parents hand on a console opened for writing alone. Where the device cannot be asked,
// a console that tells its mode is one, and any other handle a failed write.
DWORD find_kind(HANDLE handle, Kind& kind) {
    // A file or a pipe needs no query.
    const DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        kind = Kind::file;
        return 0;
    }
    if (query_volume == nullptr) {
        query_volume =
            win32::system_function<QueryVolume>(L"ntdll.dll", "NtQueryVolumeInformationFile");
    }
    IO_STATUS_BLOCK status{};
    FILE_FS_DEVICE_INFORMATION device{};
    if (const QueryVolume query = query_volume;
        query != nullptr &&
        NT_SUCCESS(query(handle, &status, &device, sizeof device, FileFsDeviceInformation))) {
        kind = device.DeviceType == FILE_DEVICE_CONSOLE ? Kind::console : Kind::file;
        return 0;
    }
    if (DWORD mode = 0; !::GetConsoleMode(handle, &mode)) return ::GetLastError();
    kind = Kind::console;
    return 0;
}

// Returns 0 or the error code; allocates nothing.
DWORD write_all(StandardStream stream, std::string_view bytes) {
    const bool output = stream == StandardStream::output;
    const HANDLE handle = ::GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    // A parent may store INVALID_HANDLE_VALUE itself, and the last error says nothing then.
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return ERROR_INVALID_HANDLE;
    // Decided once: a console that refuses a write is a failed write, not a file.
    std::atomic<Kind>& stored = kinds[output ? 0 : 1];
    Kind kind = stored;
    if (kind == Kind::unknown) {
        if (const DWORD error = find_kind(handle, kind)) return error;
        stored = kind;
    }
    return kind == Kind::console ? write_console(handle, bytes) : write_file(handle, bytes);
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
