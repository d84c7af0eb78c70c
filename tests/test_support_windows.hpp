// Helpers shared by the tests, Windows side (included by test_support.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>
#include <tlhelp32.h>

#include "support/win32.hpp"

namespace test {

// This process's own value of a variable, UTF-16 as the system keeps it.
inline std::optional<std::wstring> wide_env(const std::wstring& name) {
    std::wstring value(64, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length =
            ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

// Sets (or, with nullopt, removes) an environment variable for the life of the object. The
// value is UTF-8, or UTF-16 as it is when text that is not valid UTF-16 has to be set.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value)
        : name_(*murv::win32::to_wide(name)), old_(wide_env(name_)) {
        set(value ? murv::win32::to_wide(*value) : std::nullopt);
    }
    ScopedEnv(const char* name, const std::wstring& value)
        : name_(*murv::win32::to_wide(name)), old_(wide_env(name_)) {
        set(value);
    }
    ~ScopedEnv() { ::SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void set(const std::optional<std::wstring>& value) {
        ::SetEnvironmentVariableW(name_.c_str(), value ? value->c_str() : nullptr);
    }

    std::wstring name_;
    std::optional<std::wstring> old_;
};

// Threads of this process.
inline std::size_t thread_count() {
    const murv::win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    }
    return count;
}

// The programs (file names, lower case) of the live processes that `parent` started.
inline std::vector<std::string> children_of(DWORD parent) {
    const murv::win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::vector<std::string> names;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID != parent || entry.th32ProcessID == parent) continue;
        std::string name = murv::win32::to_utf8(entry.szExeFile);
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        names.push_back(std::move(name));
    }
    return names;
}

// Whether the process with this id has ended (or never was).
inline bool process_gone(DWORD id) {
    const murv::win32::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    return !process || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

// The lines that a console host's output shows: escape sequences dropped (a cursor move
// counts as a line break), lines split at carriage returns and line feeds, trailing blanks
// cut, empty lines left out.
inline std::vector<std::string> screen_lines(std::string_view output) {
    std::vector<std::string> lines(1);
    const auto at_end = [&](std::size_t i) { return i >= output.size(); };
    for (std::size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\x1b' && !at_end(i + 1) && output[i + 1] == '[') {
            std::size_t end = i + 2;  // parameters, then a final byte from '@' to '~'
            while (!at_end(end) && (output[end] < '@' || output[end] > '~'))
                ++end;
            if (!at_end(end) && (output[end] == 'H' || output[end] == 'f')) lines.emplace_back();
            i = end;
        } else if (c == '\x1b' && !at_end(i + 1) && output[i + 1] == ']') {
            std::size_t end = i + 2;  // up to BEL, or ESC and a backslash
            while (!at_end(end) && output[end] != '\a' && output[end] != '\x1b')
                ++end;
            i = !at_end(end) && output[end] == '\x1b' ? end + 1 : end;
        } else if (c == '\x1b') {
            ++i;
        } else if (c == '\r' || c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    std::vector<std::string> shown;
    for (auto& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
        if (!line.empty()) shown.push_back(std::move(line));
    }
    return shown;
}

inline bool shows_line(std::string_view output, const std::string& line) {
    const auto lines = screen_lines(output);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Wine, whose pseudo console and file system differ from Windows' in places the tests know.
inline bool under_wine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace test
