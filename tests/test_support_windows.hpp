// Helpers shared by the tests, Windows side (included by test_support.hpp).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "os/win32.hpp"

namespace test {

namespace win32 = murv::os::win32;

inline const std::vector<const char*> SHELL_VARIABLES{"SHELL", "ComSpec"};
inline constexpr const char* SYSTEM_SHELL_VARIABLE = "ComSpec";
inline constexpr const char* FALLBACK_SHELL = "cmd.exe";

// Standard output in binary mode: in text mode every line of the test list would end in a
// carriage return, which the list's reader keeps as part of the names.
inline void prepare_test_process() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

// Sets (or, with nullopt, removes) an environment variable for the life of the object: UTF-8,
// or UTF-16 as it is, for text that is not valid UTF-16.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value)
        : ScopedEnv(name, value ? win32::to_wide(*value) : std::nullopt, true) {}
    ScopedEnv(const char* name, const std::wstring& value) : ScopedEnv(name, value, true) {}
    ~ScopedEnv() { ::SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    // Sets a value that is not valid Unicode: a surrogate without its partner.
    static ScopedEnv not_unicode(const char* name) {
        return ScopedEnv(name, std::wstring{L'a', wchar_t(0xd800)});
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    ScopedEnv(const char* name, const std::optional<std::wstring>& value, bool)
        : name_(*win32::to_wide(name)) {
        std::wstring old(32768, L'\0');  // the most a variable can hold
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(name_.c_str(), old.data(), 32768);
        if (length > 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND) old_ = old.substr(0, length);
        ::SetEnvironmentVariableW(name_.c_str(), value ? value->c_str() : nullptr);
    }

    std::wstring name_;
    std::optional<std::wstring> old_;
};

// Everything left to read from `handle`, until its end or an error.
inline std::string read_all(HANDLE handle) {
    std::string text;
    char buffer[512];
    DWORD read;
    while (::ReadFile(handle, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER redirected to fresh keys for the life of the object,
// so that a test stores variables as `setx` would without touching the real ones.
class ScratchRegistry {
  public:
    ScratchRegistry() {
        std::random_device random;
        path_ = L"Software\\perf_assert_test\\" + std::to_wstring(random());
        machine_ = created(HKEY_CURRENT_USER, path_ + L"\\machine");
        user_ = created(HKEY_CURRENT_USER, path_ + L"\\user");
        EXPECT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
        EXPECT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, user_), ERROR_SUCCESS);
    }
    ~ScratchRegistry() {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegCloseKey(machine_);
        ::RegCloseKey(user_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // Stores `value` and a NUL in `key` under `root`, making the key where it is missing.
    void set(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring value,
             DWORD type) {
        const HKEY opened = created(root, key);
        value += L'\0';
        EXPECT_EQ(
            ::RegSetValueExW(opened, name, 0, type, reinterpret_cast<const BYTE*>(value.data()),
                             static_cast<DWORD>(value.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
        ::RegCloseKey(opened);
    }

  private:
    static HKEY created(HKEY root, const std::wstring& key) {
        HKEY opened = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &opened, nullptr),
                  ERROR_SUCCESS);
        return opened;
    }

    std::wstring path_;
    HKEY machine_ = nullptr;
    HKEY user_ = nullptr;
};

// Threads of this process.
inline std::size_t thread_count() {
    const win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    return count;
}

struct Process {
    DWORD id;
    std::string name;  // the program's file name, lower case
};
inline std::vector<Process> processes_started_by(DWORD parent) {
    const win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::vector<Process> started;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID != parent || entry.th32ProcessID == parent) continue;
        started.push_back({entry.th32ProcessID, win32::to_utf8(::_wcslwr(entry.szExeFile))});
    }
    return started;
}

inline std::vector<std::string> children_of(DWORD parent) {
    std::vector<std::string> names;
    for (Process& child : processes_started_by(parent))
        names.push_back(std::move(child.name));
    return names;
}

// Whether the process with this id has ended, or never was.
inline bool process_gone(DWORD id) {
    const win32::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    return !process || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

// Makes a symbolic link at `link` to `target`, as an unprivileged user where that is allowed.
inline bool make_symlink(const std::filesystem::path& target, const std::filesystem::path& link) {
    constexpr DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), unprivileged) != 0;
}

inline bool under_wine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace test
