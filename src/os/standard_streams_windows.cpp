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

// Text, not bytes, which WriteFile would send in the console's code page; a buffer at a time, so
// that nothing is allocated. Returns 0 or the error code, as the writers below do.
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
        const auto decoded = decode_utf8(bytes);
        bytes.remove_prefix(decoded ? decoded->length : 1);
        if (const DWORD error = used + 2 > std::size(buffer) ? flush() : 0) return error;
        used += win32::encode_utf16(decoded ? decoded->code_point : U'\ufffd', buffer + used);
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

// Each stream's kind, found at its first write; not a local static, which has no guard here.
std::atomic<Kind> kinds[2];

using QueryVolume = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FS_INFORMATION_CLASS);
std::atomic<QueryVolume> query_volume = nullptr;  // looked up at the first query

// By the device it names: GetConsoleMode needs read access, which some parents do not hand on.
// Unknown when neither tells, with the error left for GetLastError.
Kind find_kind(HANDLE handle) {
    const DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return Kind::file;
    if (query_volume == nullptr)
        query_volume =
            win32::system_function<QueryVolume>(L"ntdll.dll", "NtQueryVolumeInformationFile");
    IO_STATUS_BLOCK status{};
    FILE_FS_DEVICE_INFORMATION device{};
    if (const QueryVolume query = query_volume;
        query != nullptr &&
        NT_SUCCESS(query(handle, &status, &device, sizeof device, FileFsDeviceInformation))) {
        return device.DeviceType == FILE_DEVICE_CONSOLE ? Kind::console : Kind::file;
    }
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) ? Kind::console : Kind::unknown;
}

DWORD write_all(StandardStream stream, std::string_view bytes) {
    const bool output = stream == StandardStream::output;
    const HANDLE handle = ::GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    // A parent may store INVALID_HANDLE_VALUE itself, and the last error says nothing then.
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return ERROR_INVALID_HANDLE;
    // Decided once: a console that refuses a write is a failed write, not a file.
    std::atomic<Kind>& stored = kinds[output ? 0 : 1];
    Kind kind = stored;
    if (kind == Kind::unknown) {
        kind = find_kind(handle);
        if (const DWORD error = kind == Kind::unknown ? ::GetLastError() : 0) return error;
        stored = kind;
    }
    return kind == Kind::console ? write_console(handle, bytes) : write_file(handle, bytes);
}

}  // namespace

Result<void> write_standard(StandardStream stream, std::string_view bytes) {
    if (const DWORD error = write_all(stream, bytes)) {
        return std::unexpected(system_error(static_cast<int>(error)));
    }
    return {};
}

void install_fatal_platform() {
    set_fatal_platform({
        [](std::string_view bytes) noexcept { (void)write_all(StandardStream::error, bytes); },
        []() noexcept -> unsigned long long { return ::GetCurrentThreadId(); },
        // Not std::this_thread's sleep: mingw-w64's threads library aborts where it cannot start.
        []() noexcept { ::Sleep(INFINITE); },
    });
}

}  // namespace murv::os
