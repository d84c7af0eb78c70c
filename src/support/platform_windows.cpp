#include <algorithm>
#include <array>
#include <memory>

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <fmt/format.h>

#include "support/platform.hpp"
#include "support/win32.hpp"

namespace murv {
namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* text) const { ::LocalFree(text); }
};

struct CoTaskMemFreeDeleter {
    void operator()(wchar_t* text) const { ::CoTaskMemFree(text); }
};

struct EnvironmentStringsDeleter {
    void operator()(wchar_t* block) const { ::FreeEnvironmentStringsW(block); }
};

// Every write to a console goes through this; WriteConsoleW may take less than it is given.
Result<void> write_console(HANDLE console, std::string_view bytes) {
    const std::wstring text = win32::to_wide_lossy(bytes);
    std::wstring_view rest = text;
    while (!rest.empty()) {
        // Large writes fail on some console hosts; 8 KiB is taken everywhere.
        const auto length = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 8192));
        DWORD written = 0;
        if (!::WriteConsoleW(console, rest.data(), length, &written, nullptr)) {
            return std::unexpected(os_error(last_os_error()));
        }
        rest.remove_prefix(written);
    }
    return {};
}

}  // namespace

int last_os_error() {
    return static_cast<int>(::GetLastError());
}

std::string os_error_text(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(buffer);
    std::wstring_view text(buffer != nullptr ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) {
        text.remove_suffix(1);
    }
    if (text.empty()) return fmt::format("unknown error (os error {})", code);
    return fmt::format("{} (os error {})", win32::to_utf8(text), code);
}

Result<void> write_standard(StandardStream stream, std::string_view bytes) {
    const HANDLE handle =
        ::GetStdHandle(stream == StandardStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == INVALID_HANDLE_VALUE) return std::unexpected(os_error(last_os_error()));
    if (handle == nullptr) return std::unexpected(os_error(ERROR_INVALID_HANDLE));

    // A console takes text, not bytes: through WriteFile it would read them in its code page.
    DWORD mode;
    if (::GetConsoleMode(handle, &mode)) return write_console(handle, bytes);

    while (!bytes.empty()) {
        const auto length = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), length, &written, nullptr)) {
            return std::unexpected(os_error(last_os_error()));
        }
        bytes.remove_prefix(written);
    }
    return {};
}

void hold_standard_streams() {
    // Nothing to do: standard handles are not numbers that a later open could be given.
}

void ignore_broken_pipe() {
    // Nothing to do: a write to a pipe without a reader fails with ERROR_NO_DATA or
    // ERROR_BROKEN_PIPE, and nothing ends the process for it.
}

EnvRead read_env(const char* name) {
    const auto wide_name = win32::to_wide(name);
    if (!wide_name) return {EnvStatus::absent, {}};  // no such name can be set
    std::wstring value(64, L'\0');
    for (;;) {
        // An empty value also returns 0: only the error code tells it from an absent one.
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wide_name->c_str(), value.data(),
                                                       static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return {EnvStatus::absent, {}};
            return {EnvStatus::present, {}};
        }
        // Too small: the length needed, its terminator included. Another thread may change
        // the value meanwhile, so ask again with that much.
        if (length >= value.size()) {
            value.resize(length);
            continue;
        }
        value.resize(length);
        break;
    }
    if (!win32::is_valid_utf16(value)) return {EnvStatus::not_unicode, {}};
    return {EnvStatus::present, win32::to_utf8(value)};
}

std::vector<std::pair<std::string, std::string>> process_environment() {
    std::vector<std::pair<std::string, std::string>> variables;
    const std::unique_ptr<wchar_t, EnvironmentStringsDeleter> block(::GetEnvironmentStringsW());
    if (block == nullptr) return variables;
    for (const wchar_t* entry = block.get(); *entry != L'\0';) {
        const std::wstring_view text = entry;
        entry += text.size() + 1;
        // Entries such as "=C:=C:\dir" are the command interpreter's per-drive directories.
        const auto equals = text.find(L'=');
        if (equals == std::wstring_view::npos || equals == 0) continue;
        variables.emplace_back(win32::to_utf8(text.substr(0, equals)),
                               win32::to_utf8(text.substr(equals + 1)));
    }
    return variables;
}

bool env_name_less(std::string_view a, std::string_view b) {
    // The order of an environment block: code units compared after upper-casing, with no
    // regard to locale. Names come from this process or from the caller, so they convert.
    const std::wstring wide_a = win32::to_wide_lossy(a);
    const std::wstring wide_b = win32::to_wide_lossy(b);
    return ::CompareStringOrdinal(wide_a.data(), static_cast<int>(wide_a.size()), wide_b.data(),
                                  static_cast<int>(wide_b.size()), TRUE) == CSTR_LESS_THAN;
}

std::span<const char* const> shell_variables() {
    static constexpr std::array<const char*, 2> variables{"SHELL", "ComSpec"};
    return variables;
}

const char* system_shell_variable() {
    return "ComSpec";
}

const char* fallback_shell() {
    return "cmd.exe";
}

const char* executable_suffix() {
    return ".exe";
}

std::optional<std::string> profile_directory() {
    wchar_t* path = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &path);
    // The buffer is the caller's to free even when the call fails.
    const std::unique_ptr<wchar_t, CoTaskMemFreeDeleter> owned(path);
    if (FAILED(result) || path == nullptr) return std::nullopt;
    const std::wstring_view text(path, static_cast<std::size_t>(::lstrlenW(path)));
    if (text.empty()) return std::nullopt;
    return win32::to_utf8(text);
}

bool path_exists(const std::string& path) {
    const auto wide = win32::to_wide(path);
    if (!wide || wide->find(L'\0') != std::wstring::npos) return false;
    // No access asked for: the open only resolves the path, following links, and is refused
    // by no sharing mode. Backup semantics lets it open directories.
    const win32::UniqueHandle handle(
        ::CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(handle);
}

}  // namespace murv
