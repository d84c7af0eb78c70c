#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include <windows.h>

#include "os/process.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

Error last_error() {
    return system_error(last_error_code());
}

// This process's standard handles as a program it starts is handed them. Each that names a
// handle of this process is made inheritable for the life of the object (and gets its own flag
// back afterwards); a console's pseudo handle (Windows 7) is handed on as it is; where this
// process has none, a value that names nothing (its handle was closed: a service, a scheduler
// or a GUI parent may leave it so) or one that cannot be made inheritable, the program is
// handed none.
class StandardHandles {
  public:
    StandardHandles() {
        const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (std::size_t i = 0; i < 3; ++i) {
            const HANDLE handle = ::GetStdHandle(which[i]);
            if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
            DWORD flags;
            DWORD mode;
            if (!::GetHandleInformation(handle, &flags)) {
                if (::GetConsoleMode(handle, &mode)) handed_[i] = handle;
                continue;
            }
            if (std::find(inheritable_.begin(), inheritable_.end(), handle) == inheritable_.end()) {
                if ((flags & HANDLE_FLAG_INHERIT) == 0) {
                    if (!::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
                        continue;
                    }
                    restore_.push_back(handle);
                }
                inheritable_.push_back(handle);
            }
            handed_[i] = handle;
        }
    }
    ~StandardHandles() {
        for (const HANDLE handle : restore_)
            ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
    StandardHandles(const StandardHandles&) = delete;
    StandardHandles& operator=(const StandardHandles&) = delete;

    HANDLE input() const { return handed_[0]; }
    HANDLE output() const { return handed_[1]; }
    HANDLE error() const { return handed_[2]; }
    // The distinct handles to inherit.
    std::span<HANDLE> inheritable() { return inheritable_; }

  private:
    HANDLE handed_[3] = {nullptr, nullptr, nullptr};
    std::vector<HANDLE> inheritable_;
    std::vector<HANDLE> restore_;
};

// Starts the program with the standard handles and nothing else; the handles are inheritable
// only while it starts. Launches run one at a time: two at once could each give a handle its
// flag back while the other is still starting its program.
Result<win32::UniqueHandle> start(const std::wstring& program, std::wstring command_line) {
    StandardHandles standard;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = standard.input();
    startup.StartupInfo.hStdOutput = standard.output();
    startup.StartupInfo.hStdError = standard.error();
    DWORD flags = 0;

    // The handles to inherit are listed, so that no other inheritable handle of this process
    // goes with them. An empty list is not allowed: with none to inherit, nothing is.
    win32::AttributeList attributes;
    const bool inherit = !standard.inheritable().empty();
    if (inherit) {
        const auto handles = standard.inheritable();
        if (auto ready = attributes.init(1); !ready) return std::unexpected(ready.error());
        if (auto added = attributes.add(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                        handles.size_bytes());
            !added) {
            return std::unexpected(added.error());
        }
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = attributes.get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    // Without a console of its own (started by a service, a scheduler or a GUI program), each
    // launch would open a console window: the application gets a console without a window.
    if (::GetConsoleCP() == 0) flags |= CREATE_NO_WINDOW;

    // The program is named as given: the application name keeps CreateProcessW from looking
    // for it anywhere else or adding ".exe".
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                          inherit ? TRUE : FALSE, flags, nullptr, nullptr, &startup.StartupInfo,
                          &started)) {
        return std::unexpected(last_error());
    }
    win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    return process;
}

}  // namespace

Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument) {
    const auto wide_program = win32::to_wide(program);
    const auto wide_argument = win32::to_wide(argument);
    if (!wide_program || !wide_argument) {
        return std::unexpected(system_error(ERROR_NO_UNICODE_TRANSLATION));
    }
    std::wstring command_line;
    win32::append_program(command_line, *wide_program);
    win32::append_argument(command_line, *wide_argument);

    const auto process = start(*wide_program, std::move(command_line));
    if (!process) return std::unexpected(process.error());
    return win32::wait_for_exit(process->get());
}

}  // namespace murv::os
