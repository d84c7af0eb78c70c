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

// Makes the standard handles inheritable for the life of the object, where they are not so
// already, and gives each back its own flag afterwards.
class InheritableStandardHandles {
  public:
    InheritableStandardHandles() {
        for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
            standard_.push_back(::GetStdHandle(which));
        }
        for (const HANDLE handle : standard_) {
            if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
            if (std::find(handles_.begin(), handles_.end(), handle) != handles_.end()) continue;
            // Not a handle of this process (an old console's pseudo handle, say): leave it out.
            DWORD flags;
            if (!::GetHandleInformation(handle, &flags)) continue;
            if ((flags & HANDLE_FLAG_INHERIT) == 0) {
                if (!::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
                    continue;
                }
                restore_.push_back(handle);
            }
            handles_.push_back(handle);
        }
    }
    ~InheritableStandardHandles() {
        for (const HANDLE handle : restore_)
            ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
    InheritableStandardHandles(const InheritableStandardHandles&) = delete;
    InheritableStandardHandles& operator=(const InheritableStandardHandles&) = delete;

    HANDLE input() const { return standard_[0]; }
    HANDLE output() const { return standard_[1]; }
    HANDLE error() const { return standard_[2]; }
    // The distinct, usable ones.
    std::span<HANDLE> inheritable() { return handles_; }

  private:
    std::vector<HANDLE> standard_;
    std::vector<HANDLE> handles_;
    std::vector<HANDLE> restore_;
};

// Starts the program with the standard handles and nothing else; the handles are inheritable
// only while it starts.
Result<win32::UniqueHandle> start(const std::wstring& program, std::wstring command_line) {
    InheritableStandardHandles standard;
    win32::AttributeList attributes;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = standard.input();
    startup.StartupInfo.hStdOutput = standard.output();
    startup.StartupInfo.hStdError = standard.error();
    // An empty list is not allowed: with no usable standard handle, nothing is inherited.
    const bool inherit = !standard.inheritable().empty();
    if (inherit) {
        const auto handles = standard.inheritable();
        if (auto ready = attributes.init(1); !ready) return std::unexpected(ready.error());
        if (auto added = attributes.add(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                        handles.size_bytes());
            !added) {
            return std::unexpected(added.error());
        }
        startup.lpAttributeList = attributes.get();
    }

    // The program is named as given: the application name keeps CreateProcessW from looking
    // for it anywhere else or adding ".exe".
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                          inherit ? TRUE : FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &startup.StartupInfo, &started)) {
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
