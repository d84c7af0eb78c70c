// The start of a program on a pseudo console: which program a name means, its command line, its
// environment block, and CreateProcessW with the console as its only attribute.
//
// A shell named without a directory is looked for in the system directory, then in the
// absolute directories of the session's Path, never in the current directory or this
// program's own: Windows searches those first for a command line's first word, and a program
// of that name planted there would run in every session. One pair of quotes around the whole
// name (as a path with blanks is often written) is quoting, not part of the name.
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
using win32::UniqueHandle;

class ProcessChild final : public Child {
  public:
    ProcessChild(UniqueHandle process, DWORD id) : process_(std::move(process)), id_(id) {}

    std::optional<std::uint32_t> process_id() const override { return id_; }

    Result<os::ExitStatus> wait() override {
        auto status = win32::wait_for_exit(process_.get());
        if (!status) return std::unexpected(Error("wait for the child", std::move(status.error())));
        return status;
    }

  private:
    UniqueHandle process_;
    DWORD id_;
};

// The block CreateProcessW takes: "NAME=value" entries, each ended by a NUL, in the order of
// names that the system keeps, and one more NUL at the end.
std::optional<std::wstring> environment_block(const Environment& environment) {
    std::wstring block;
    for (const auto& [name, value] : environment) {
        const auto wide_name = win32::to_wide(name);
        const auto wide_value = win32::to_wide(value);
        if (!wide_name || !wide_value) return std::nullopt;
        block += *wide_name;
        block += L'=';
        block += *wide_value;
        block += L'\0';
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

// Where a program named without a directory is: the system directory, then each absolute
// directory of `environment`'s Path, with ".exe" added to a name without an extension, as
// Windows does. The current directory is not searched, in no form: Windows looks there (and in
// this program's own directory) first for a command line's first word, and a program of that
// name planted there would run in every session. Nothing when it is found nowhere.
std::optional<std::wstring> find_program(const std::wstring& name, const Environment& environment) {
    const bool has_extension = name.find(L'.') != std::wstring::npos;
    const std::wstring file = has_extension ? name : name + L".exe";
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
    // Found nowhere, as an empty name is on POSIX.
    if (program.empty()) return cannot_run(ERROR_FILE_NOT_FOUND);
    std::wstring command_line;
    win32::append_program(command_line, program);
    // A name with a directory is used as it stands; a bare name is looked for safely.
    std::optional<std::wstring> found;
    if (program.find_first_of(L"\\/:") == std::wstring::npos) {
        found = find_program(program, command.environment());
        if (!found) return cannot_run(ERROR_FILE_NOT_FOUND);
    }

    win32::AttributeList attributes;
    if (auto ready = attributes.init(1); !ready) {
        return std::unexpected(Error("cannot give the terminal to the child", ready.error()));
    }
    if (auto added = attributes.add(PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, handle, sizeof handle);
        !added) {
        return std::unexpected(Error("cannot give the terminal to the child", added.error()));
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = attributes.get();
    // Standard handles named, and none given: the program's are then the console's.
    // Without the flag it would get this process's own, which may be redirected, and its
    // output would go around the terminal.
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
    UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    return std::make_unique<ProcessChild>(std::move(process), started.dwProcessId);
}

}  // namespace murv::pty
