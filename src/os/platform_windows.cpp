#include <algorithm>
#include <array>
#include <memory>

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "os/platform.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

struct CoTaskMemFreeDeleter {
    void operator()(wchar_t* text) const { ::CoTaskMemFree(text); }
};

struct EnvironmentStringsDeleter {
    void operator()(wchar_t* block) const { ::FreeEnvironmentStringsW(block); }
};

}  // namespace

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

}  // namespace murv::os
