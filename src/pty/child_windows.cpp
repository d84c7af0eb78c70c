// The start of a program on a pseudo console (the README's "Finding the shell").
#include "pty/child_windows.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::pty {
namespace {

using os::failure;
namespace win32 = os::win32;

// "NAME=value" entries, each ended by a NUL, in the system's order of names, then one more NUL.
std::optional<std::wstring> environment_block(const Environment& environment) {
    std::wstring block;
    for (const auto& [name, value] : environment) {
        const auto wide_name = win32::to_wide(name);
        const auto wide_value = win32::to_wide(value);
        if (!wide_name || !wide_value) return std::nullopt;
        block.append(*wide_name).append(1, L'=').append(*wide_value).push_back(L'\0');
    }
    if (block.empty()) block += L'\0';  // an empty block still has its two NULs
    block += L'\0';
    return block;
}

bool is_file(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether `directory` names the same place whatever the current directory: "C:\x" or "\\server\x".
bool is_absolute(std::wstring_view directory) {
    if (directory.starts_with(L"\\\\") || directory.starts_with(L"//")) return true;
    return directory.size() >= 3 && directory[1] == L':' &&
           (directory[2] == L'\\' || directory[2] == L'/');
}

// The system directory, then Path's absolute directories: never the current directory or this
// program's, where Windows would look first and a planted program would run in every session.
std::optional<std::wstring> find_program(const std::wstring& name, const Environment& environment) {
    const std::wstring file = name.find(L'.') != std::wstring::npos ? name : name + L".exe";
    std::vector<std::wstring> directories;
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) directories.emplace_back(system, length);
    if (const auto path = environment.find("Path"); path != environment.end()) {
        const std::wstring entries = win32::to_wide_lossy(path->second);
        for (std::size_t at = 0; at <= entries.size();) {
            const std::size_t end = std::min(entries.find(L';', at), entries.size());
            const auto directory = win32::unquoted(std::wstring_view(entries).substr(at, end - at));
            if (is_absolute(directory)) directories.emplace_back(directory);
            at = end + 1;
        }
    }
    for (std::wstring& directory : directories) {
        if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';
        if (is_file(directory + file)) return directory + file;
    }
    return std::nullopt;
}

}  // namespace

Result<std::unique_ptr<Child>> spawn_on_console(HPCON handle, const ShellCommand& command) {
    const auto cannot_run = [&](int code) {
        return std::unexpected(failure(fmt::format("cannot run \"{}\"", command.program()), code));
    };
    const auto text = win32::to_wide(command.program());
    auto environment = environment_block(command.environment());
    std::optional<std::wstring> cwd;
    if (command.cwd()) cwd = win32::to_wide(*command.cwd());
    if (!text || !environment || (command.cwd() && !cwd)) {
        return cannot_run(ERROR_NO_UNICODE_TRANSLATION);
    }
    const std::wstring program(win32::unquoted(*text));
    if (program.empty()) return cannot_run(ERROR_FILE_NOT_FOUND);
    std::wstring command_line;
    win32::append_program(command_line, program);
    std::optional<std::wstring> found;
    if (program.find_first_of(L"\\/:") == std::wstring::npos) {
        found = find_program(program, command.environment());
        if (!found) return cannot_run(ERROR_FILE_NOT_FOUND);
    }

    STARTUPINFOEXW startup{};
    win32::AttributeList attributes;
    if (auto attached =
            attributes.attach(startup, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, handle, sizeof handle);
        !attached) {
        return std::unexpected(Error("cannot give the terminal to the child", attached.error()));
    }
    // None given: the program's are the console's, not this process's (which may be redirected).
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;

    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(found ? found->c_str() : nullptr, command_line.data(), nullptr, nullptr,
                          FALSE, EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT,
                          environment->data(), cwd ? cwd->c_str() : nullptr, &startup.StartupInfo,
                          &started)) {
        const int error = os::last_error_code();
        if (cwd && error == ERROR_DIRECTORY) {
            return std::unexpected(
                failure(fmt::format("cannot change directory to \"{}\"", *command.cwd()), error));
        }
        return cannot_run(error);
    }
    const win32::UniqueHandle thread(started.hThread);
    return std::make_unique<ProcessChild>(os::Process(started.dwProcessId, started.hProcess));
}

}  // namespace murv::pty
