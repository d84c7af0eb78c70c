#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include <windows.h>

#include "os/platform.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

// Where Windows keeps the variables of a new session, in the order it applies them over this
// process's own. Each variable replaces one of the same name, but a list of LISTS stored where
// `joins_lists` is set is appended to the list so far.
struct StoredKey {
    HKEY root;
    const wchar_t* subkey;
    bool of_session = false;  // the subkey of `subkey` named by this process's session number
    bool joins_lists = false;
    const wchar_t* skipped = nullptr;  // a name not taken from this key
};

const StoredKey STORED_KEYS[] = {
    // Its USERNAME names the system's own account.
    {.root = HKEY_LOCAL_MACHINE,
     .subkey = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
     .skipped = L"USERNAME"},
    {.root = HKEY_CURRENT_USER, .subkey = L"Environment", .joins_lists = true},
    // The logon's own (profile folders, logon server, user name), over what the user stored.
    {.root = HKEY_CURRENT_USER, .subkey = L"Volatile Environment"},
    {.root = HKEY_CURRENT_USER, .subkey = L"Volatile Environment", .of_session = true},
};

// Lists of directories, which Windows expands even when they are stored as plain text (as
// installers leave them).
constexpr std::array<std::wstring_view, 3> LISTS{L"Path", L"LibPath", L"Os2LibPath"};

// Variable names compare as an environment block orders them: code units compared after
// upper-casing, with no regard to locale. CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN.
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
// Variables by name: names that differ only in case are one variable.
using Variables = std::map<std::wstring, std::wstring, NameLess>;

// `value` with each %NAME% whose name is in `variables` replaced by its value. A reference to a
// name that is not there is kept whole, and the scan goes on after its closing '%': in
// "%UNKNOWN%B%" nothing is replaced.
std::wstring expand_references(std::wstring_view value, const Variables& variables) {
    std::wstring expanded;
    while (!value.empty()) {
        const auto open = value.find(L'%');
        const auto close = open == std::wstring_view::npos ? open : value.find(L'%', open + 1);
        if (close == std::wstring_view::npos) break;
        expanded += value.substr(0, open);
        const auto found = variables.find(std::wstring(value.substr(open + 1, close - open - 1)));
        if (close > open + 1 && found != variables.end()) {
            expanded += found->second;
        } else {
            expanded += value.substr(open, close - open + 1);  // left as written
        }
        value.remove_prefix(close + 1);
    }
    expanded += value;
    return expanded;
}

// `list` with `more` appended, with a ';' between where neither has one.
std::wstring joined(std::wstring list, std::wstring_view more) {
    if (!list.empty() && !list.ends_with(L';') && !more.starts_with(L';')) list += L';';
    return list += more;
}

bool is_list(std::wstring_view name) {
    return std::ranges::any_of(LISTS,
                               [&](std::wstring_view list) { return same_name(name, list); });
}

// Sets `name` to `value`, with the spelling of `name` kept.
void assign(Variables& variables, std::wstring name, std::wstring value) {
    variables.erase(name);
    variables.emplace(std::move(name), std::move(value));
}

// Applies the variables stored at `subkey` of `stored` to `variables` as Windows does; nothing
// when the key cannot be opened. An expandable value has its %NAME% references replaced by the
// values so far, the key's plain ones among them.
void apply_stored(const StoredKey& stored, const std::wstring& subkey, Variables& variables) {
    std::vector<std::pair<std::wstring, std::wstring>> expandable;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(stored.root, subkey.c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return;
    }
    const std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&::RegCloseKey)> key(opened,
                                                                                     ::RegCloseKey);
    DWORD name_capacity = 0;  // in characters, without the terminator
    DWORD data_capacity = 0;  // in bytes
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &name_capacity, &data_capacity, nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
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
        // A value that grew meanwhile and no longer fits is left out; any other error ends the
        // listing (the key may be gone).
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        const std::wstring_view wide_name(name.data(), name_length);
        // Read as Windows reads it, up to its first NUL: some installers store more than one.
        std::wstring_view value(data.data(), data_size / sizeof(wchar_t));
        value = value.substr(0, value.find(L'\0'));
        // An empty value (left by `setx NAME ""` or an uninstaller) leaves the variable as it
        // was. A name with '=' would be read back split at it, and "=C:" is a drive's current
        // directory.
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

std::vector<std::pair<std::string, std::string>> default_environment() {
    Variables variables;
    if (const std::unique_ptr<wchar_t, decltype(&::FreeEnvironmentStringsW)> block(
            ::GetEnvironmentStringsW(), ::FreeEnvironmentStringsW);
        block != nullptr) {
        for (const wchar_t* entry = block.get(); *entry != L'\0';) {
            const std::wstring_view text = entry;
            entry += text.size() + 1;
            // Entries such as "=C:=C:\dir" are the command interpreter's per-drive directories.
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
    // Names come from this process or from the caller, so they convert.
    return compare_names(win32::to_wide_lossy(a), win32::to_wide_lossy(b)) == CSTR_LESS_THAN;
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
    using GetKnownFolderPath = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
    using FreeTaskMemory = void(WINAPI*)(void*);
    static const auto get_known_folder_path =
        win32::system_function<GetKnownFolderPath>(L"shell32.dll", "SHGetKnownFolderPath");
    static const auto free_task_memory =
        win32::system_function<FreeTaskMemory>(L"ole32.dll", "CoTaskMemFree");
    if (get_known_folder_path == nullptr || free_task_memory == nullptr) return std::nullopt;

    // FOLDERID_Profile.
    static constexpr GUID profile = {
        0x5e6c858f, 0x0e22, 0x4760, {0x9a, 0xfe, 0xea, 0x33, 0x17, 0xb6, 0x71, 0x73}};
    wchar_t* path = nullptr;
    const HRESULT result = get_known_folder_path(profile, 0, nullptr, &path);
    // The buffer is the caller's to free even when the call fails.
    const std::unique_ptr<wchar_t, FreeTaskMemory> owned(path, free_task_memory);
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
