#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "os/platform.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

// Where Windows keeps a new session's variables, in the order it applies them (see README).
struct StoredKey {
    HKEY root;
    const wchar_t* subkey;
    bool of_session = false;   // the subkey of `subkey` named by this process's session number
    bool joins_lists = false;  // its LISTS are appended to the lists so far
    const wchar_t* skipped = nullptr;  // a name not taken from this key
};

const StoredKey STORED_KEYS[] = {
    {.root = HKEY_LOCAL_MACHINE,
     .subkey = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
     .skipped = L"USERNAME"},  // the system's own account
    {.root = HKEY_CURRENT_USER, .subkey = L"Environment", .joins_lists = true},
    {.root = HKEY_CURRENT_USER, .subkey = L"Volatile Environment"},
    {.root = HKEY_CURRENT_USER, .subkey = L"Volatile Environment", .of_session = true},
};

// Expanded even when stored as plain text, as installers leave them.
constexpr std::array<std::wstring_view, 3> LISTS{L"Path", L"LibPath", L"Os2LibPath"};

// As an environment block orders names: upper-cased code units, with no regard to locale.
int compare_names(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE);
}

bool same_name(std::wstring_view a, std::wstring_view b) {
    return compare_names(a, b) == CSTR_EQUAL;
}

struct NameLess {
    bool operator()(std::wstring_view a, std::wstring_view b) const {
        return compare_names(a, b) == CSTR_LESS_THAN;
    }
};
using Variables = std::map<std::wstring, std::wstring, NameLess>;

// An unknown %NAME% is kept, and the scan goes on after it: "%UNKNOWN%B%" stays as it is.
std::wstring expand_references(std::wstring_view value, const Variables& variables) {
    std::wstring expanded;
    while (!value.empty()) {
        const auto open = value.find(L'%');
        const auto close = open == std::wstring_view::npos ? open : value.find(L'%', open + 1);
        if (close == std::wstring_view::npos) break;
        expanded += value.substr(0, open);
        const auto found = variables.find(std::wstring(value.substr(open + 1, close - open - 1)));
        const bool known = close > open + 1 && found != variables.end();
        expanded += known ? std::wstring_view(found->second) : value.substr(open, close - open + 1);
        value.remove_prefix(close + 1);
    }
    expanded += value;
    return expanded;
}

std::wstring joined(std::wstring list, std::wstring_view more) {
    if (!list.empty() && !list.ends_with(L';') && !more.starts_with(L';')) list += L';';
    return list += more;
}

bool is_list(std::wstring_view name) {
    return std::ranges::any_of(LISTS,
                               [&](std::wstring_view list) { return same_name(name, list); });
}

// The new spelling of `name` is kept.
void assign(Variables& variables, std::wstring name, std::wstring value) {
    variables.erase(name);
    variables.emplace(std::move(name), std::move(value));
}

// Applies the values at `subkey` of `stored`; expandable ones after the key's plain ones.
void apply_stored(const StoredKey& stored, const std::wstring& subkey, Variables& variables) {
    std::vector<std::pair<std::wstring, std::wstring>> expandable;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(stored.root, subkey.c_str(), 0, KEY_QUERY_VALUE, &opened)) return;
    const Owned<FreedBy<HKEY, ::RegCloseKey>> key(opened);
    DWORD name_capacity = 0;  // in characters, without the terminator
    DWORD data_capacity = 0;  // in bytes
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &name_capacity, &data_capacity, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::wstring name(name_capacity + 1, L'\0');
    std::vector<wchar_t> data(data_capacity / sizeof(wchar_t) + 1);
    for (DWORD index = 0;; ++index) {
        DWORD name_length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD data_size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LSTATUS status =
            ::RegEnumValueW(key.get(), index, name.data(), &name_length, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &data_size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        // A value that grew meanwhile is left out; another error ends it (the key may be gone).
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        const std::wstring_view wide_name(name.data(), name_length);
        // Up to its first NUL, as Windows reads it: some installers store more than one.
        std::wstring_view value(data.data(), data_size / sizeof(wchar_t));
        value = value.substr(0, value.find(L'\0'));
        // A name with '=' would be read back split at it ("=C:" is a drive's directory).
        if (value.empty() || wide_name.empty() || wide_name.find(L'=') != wide_name.npos ||
            (stored.skipped != nullptr && same_name(wide_name, stored.skipped)) ||
            !win32::is_valid_utf16(wide_name) || !win32::is_valid_utf16(value)) {
            continue;
        }
        if (type == REG_EXPAND_SZ || is_list(wide_name)) {
            expandable.emplace_back(wide_name, value);
        } else {
            assign(variables, std::wstring(wide_name), std::wstring(value));
        }
    }
    for (auto& [name, value] : expandable) {
        std::wstring expanded = expand_references(value, variables);
        const auto found = variables.find(name);
        if (stored.joins_lists && is_list(name) && found != variables.end()) {
            expanded = joined(found->second, expanded);
        }
        assign(variables, std::move(name), std::move(expanded));
    }
}

// ole32's CoTaskMemFree, which frees what SHGetKnownFolderPath gives; looked up at first use.
auto free_task_memory_function() {
    static const auto function =
        win32::system_function<void(WINAPI*)(void*)>(L"ole32.dll", "CoTaskMemFree");
    return function;
}

void free_task_memory(wchar_t* memory) {
    free_task_memory_function()(memory);
}

}  // namespace

EnvRead read_env(const char* name) {
    const auto wide_name = win32::to_wide(name);
    if (!wide_name) return {EnvStatus::absent, {}};  // no such name can be set
    std::wstring value(64, L'\0');
    for (;;) {
        // An empty value returns 0 too: only the error code tells it from an absent one.
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wide_name->c_str(), value.data(),
                                                       static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return {EnvStatus::absent, {}};
            return {EnvStatus::present, {}};
        }
        // Too small: ask again with the length needed (the value may change meanwhile).
        const bool fits = length < value.size();
        value.resize(length);
        if (fits) break;
    }
    if (!win32::is_valid_utf16(value)) return {EnvStatus::not_unicode, {}};
    return {EnvStatus::present, win32::to_utf8(value)};
}

std::vector<std::pair<std::string, std::string>> default_environment() {
    Variables variables;
    if (const Owned<FreedBy<LPWCH, ::FreeEnvironmentStringsW>> block(::GetEnvironmentStringsW());
        block) {
        for (const wchar_t* entry = block.get(); *entry != L'\0';) {
            const std::wstring_view text = entry;
            entry += text.size() + 1;
            // "=C:=C:\dir" is the command interpreter's directory of a drive.
            const auto equals = text.find(L'=');
            if (equals == std::wstring_view::npos || equals == 0) continue;
            variables.insert_or_assign(std::wstring(text.substr(0, equals)),
                                       std::wstring(text.substr(equals + 1)));
        }
    }
    for (const StoredKey& key : STORED_KEYS) {
        std::wstring subkey = key.subkey;
        if (key.of_session) {
            DWORD session = 0;
            if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) continue;
            subkey += L"\\" + std::to_wstring(session);
        }
        apply_stored(key, subkey, variables);
    }
    std::vector<std::pair<std::string, std::string>> converted;
    for (const auto& [name, value] : variables)
        converted.emplace_back(win32::to_utf8(name), win32::to_utf8(value));
    return converted;
}

bool env_name_less(std::string_view a, std::string_view b) {
    return compare_names(win32::to_wide_lossy(a), win32::to_wide_lossy(b)) == CSTR_LESS_THAN;
}

std::span<const char* const> shell_variables(ShellOf whose) {
    static constexpr std::array<const char*, 2> variables{"SHELL", "ComSpec"};
    return std::span(variables).subspan(whose == ShellOf::system ? 1 : 0);
}

const char* fallback_shell() {
    return "cmd.exe";
}

const char* executable_suffix() {
    return ".exe";
}

std::optional<std::string> profile_directory() {
    using GetKnownFolderPath = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
    static const auto get_known_folder_path =
        win32::system_function<GetKnownFolderPath>(L"shell32.dll", "SHGetKnownFolderPath");
    if (!get_known_folder_path || !free_task_memory_function()) return std::nullopt;

    // FOLDERID_Profile
    static constexpr GUID profile = {
        0x5e6c858f, 0x0e22, 0x4760, {0x9a, 0xfe, 0xea, 0x33, 0x17, 0xb6, 0x71, 0x73}};
    wchar_t* path = nullptr;
    const HRESULT result = get_known_folder_path(profile, 0, nullptr, &path);
    // The buffer is the caller's to free even when the call fails.
    const Owned<FreedBy<wchar_t*, free_task_memory>> owned(path);
    if (FAILED(result) || path == nullptr) return std::nullopt;
    const std::wstring_view text(path, static_cast<std::size_t>(::lstrlenW(path)));
    if (text.empty()) return std::nullopt;
    return win32::to_utf8(text);
}

bool path_exists(const std::string& path) {
    const auto wide = win32::to_wide(path);
    if (!wide || wide->find(L'\0') != std::wstring::npos) return false;
    // No access: it only resolves the path, following links; backup semantics opens directories.
    return static_cast<bool>(win32::UniqueHandle(
        ::CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
}

}  // namespace murv::os
