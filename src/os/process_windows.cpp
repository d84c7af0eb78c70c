#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "os/process.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

Error last_error() {
    return system_error(last_error_code());
}

// This process's standard handles, inheritable while it lives; none for one that names nothing.
class StandardHandles {
  public:
    StandardHandles() {
        const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (std::size_t i = 0; i < 3; ++i) {
            const HANDLE handle = ::GetStdHandle(which[i]);
            DWORD flags;
            if (win32::HandleTraits::none(handle)) continue;
            if (!::GetHandleInformation(handle, &flags)) {
                if (DWORD mode = 0; ::GetConsoleMode(handle, &mode)) handed_[i] = handle;
                continue;
            }
            if (std::ranges::find(inheritable_, handle) == inheritable_.end()) {
                const bool set = (flags & HANDLE_FLAG_INHERIT) == 0;
                if (set &&
                    !::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
                    continue;
                if (set) restore_.push_back(handle);
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

    HANDLE handed(std::size_t i) const { return handed_[i]; }  // input, output, error
    std::span<HANDLE> inheritable() { return inheritable_; }

  private:
    HANDLE handed_[3] = {nullptr, nullptr, nullptr};
    std::vector<HANDLE> inheritable_;
    std::vector<HANDLE> restore_;
};

// One launch at a time: two at once could each give a handle its flag back while the other starts.
Result<Process> start(const std::wstring& program, std::wstring command_line) {
    StandardHandles standard;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = standard.handed(0);
    startup.StartupInfo.hStdOutput = standard.handed(1);
    startup.StartupInfo.hStdError = standard.handed(2);
    DWORD flags = 0;

    // Listed, so that no other inheritable handle goes with them; an empty list is refused.
    win32::AttributeList attributes;
    const auto handles = standard.inheritable();
    if (!handles.empty()) {
        if (auto attached = attributes.attach(startup, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                              handles.data(), handles.size_bytes());
            !attached)
            return std::unexpected(attached.error());
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    // Without a console of its own, each launch would open a console window.
    if (::GetConsoleCP() == 0) flags |= CREATE_NO_WINDOW;

    // Named as the application: CreateProcessW neither looks elsewhere nor adds ".exe".
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, !handles.empty(),
                          flags, nullptr, nullptr, &startup.StartupInfo, &started)) {
        return std::unexpected(last_error());
    }
    const win32::UniqueHandle thread(started.hThread);
    return Process(started.dwProcessId, started.hProcess);
}

}  // namespace

void Process::close_handle(void* handle) {
    ::CloseHandle(handle);
}

Result<ExitStatus> Process::wait() {
    if (::WaitForSingleObject(handle_.get(), INFINITE) == WAIT_FAILED)
        return std::unexpected(last_error());
    DWORD code = 0;
    if (!::GetExitCodeProcess(handle_.get(), &code)) return std::unexpected(last_error());
    return ExitStatus::exited(static_cast<int>(code));
}

Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument) {
    const auto wide_program = win32::to_wide(program);
    const auto wide_argument = win32::to_wide(argument);
    if (!wide_program || !wide_argument) {
        return std::unexpected(system_error(ERROR_NO_UNICODE_TRANSLATION));
    }
    std::wstring command_line;
    win32::append_program(command_line, *wide_program);
    win32::append_argument(command_line, *wide_argument);

    auto process = start(*wide_program, std::move(command_line));
    if (!process) return std::unexpected(process.error());
    return process->wait();
}

}  // namespace murv::os
