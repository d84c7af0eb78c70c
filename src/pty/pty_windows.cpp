// Pseudo terminals on Windows: a pseudo console fed and read through two pipes, and the program
// started attached to it.
//
// No handle made here is inheritable, and the program is started inheriting none: it reaches
// the terminal through the console alone.
#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/platform.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"
#include "pty/conpty_windows.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

namespace {

using os::failure;
using os::last_failure;
namespace win32 = os::win32;
using win32::UniqueHandle;

constexpr std::string_view CONPTY_MISSING =
    "this system does not support conpty.  Windows 10 October 2018 or newer is required";

// Most failures carry a Win32 error code, whose text reads better than the HRESULT's own.
Error hresult_failure(std::string what, HRESULT result) {
    const int code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                                : static_cast<int>(result);
    return failure(std::move(what), code);
}

template <class Function>
Function function_of(HMODULE module, const char* name) {
    // Through void(*)(), which converts to any function pointer type without a warning: the
    // exported function has the type it is converted to.
    const auto found = reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
    return reinterpret_cast<Function>(found);
}

const ConptyFunctions& conpty() {
    static const ConptyFunctions functions = load_conpty(::GetModuleHandleW(L"kernel32.dll"));
    return functions;
}

COORD console_size(PtySize size) {
    const auto clamp = [](std::uint16_t value) {
        return static_cast<SHORT>(std::min<int>(value, SHRT_MAX));
    };
    return COORD{clamp(size.cols), clamp(size.rows)};
}

// Owns the pseudo console. Closing it makes the console host end the programs attached to it
// and close its end of the output pipe. Before Windows 11 24H2 the close also waits until the
// host has written all its output, so it must never run on the thread that drains that pipe.
class PseudoConsole {
  public:
    PseudoConsole(const ConptyFunctions& functions, HPCON handle)
        : functions_(functions), handle_(handle) {}
    ~PseudoConsole() { functions_.close(handle_); }
    PseudoConsole(const PseudoConsole&) = delete;
    PseudoConsole& operator=(const PseudoConsole&) = delete;

    HPCON get() const { return handle_; }
    const ConptyFunctions& functions() const { return functions_; }

  private:
    ConptyFunctions functions_;
    HPCON handle_;
};

class PipeReader final : public Reader {
  public:
    explicit PipeReader(UniqueHandle pipe) : pipe_(std::move(pipe)) {}

    Result<std::size_t> read(std::span<std::byte> buffer) override {
        DWORD read = 0;
        const auto length = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
        if (!::ReadFile(pipe_.get(), buffer.data(), length, &read, nullptr)) {
            // The console host has closed its end: the terminal is gone.
            const DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
            return std::unexpected(failure("read from the terminal", static_cast<int>(error)));
        }
        return static_cast<std::size_t>(read);
    }

  private:
    UniqueHandle pipe_;
};

class PipeWriter final : public Writer {
  public:
    explicit PipeWriter(UniqueHandle pipe) : pipe_(std::move(pipe)) {}

    Result<std::size_t> write(std::span<const std::byte> bytes) override {
        DWORD written = 0;
        const auto length = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
        if (!::WriteFile(pipe_.get(), bytes.data(), length, &written, nullptr)) {
            return std::unexpected(last_failure("write to the terminal"));
        }
        return static_cast<std::size_t>(written);
    }

  private:
    UniqueHandle pipe_;
};

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
            std::wstring directory = entries.substr(at, end - at);
            if (directory.size() >= 2 && directory.front() == L'"' && directory.back() == L'"') {
                directory = directory.substr(1, directory.size() - 2);
            }
            if (is_absolute(directory)) directories.push_back(std::move(directory));
            at = end + 1;
        }
    }
    for (std::wstring& directory : directories) {
        if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';
        if (is_file(directory + file)) return directory + file;
    }
    return std::nullopt;
}

class ConsoleSlave final : public SlavePty {
  public:
    explicit ConsoleSlave(std::weak_ptr<PseudoConsole> console) : console_(std::move(console)) {}

    Result<std::unique_ptr<Child>> spawn_command(ShellCommand command) override {
        const auto cannot_run = [&](int code) {
            return std::unexpected(
                failure(fmt::format("cannot run \"{}\"", command.program()), code));
        };
        const auto console = console_.lock();
        if (!console) return std::unexpected(Error("the terminal is closed"));

        const auto text = win32::to_wide(command.program());
        auto environment = environment_block(command.environment());
        std::optional<std::wstring> cwd;
        if (command.cwd()) cwd = win32::to_wide(*command.cwd());
        if (!text || !environment || (command.cwd() && !cwd)) {
            return cannot_run(ERROR_NO_UNICODE_TRANSLATION);
        }
        const std::wstring program(win32::unquoted_program(*text));
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

        HPCON handle = console->get();
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
        if (!::CreateProcessW(
                found ? found->c_str() : nullptr, command_line.data(), nullptr, nullptr, FALSE,
                EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, environment->data(),
                cwd ? cwd->c_str() : nullptr, &startup.StartupInfo, &started)) {
            const int error = os::last_error_code();
            if (cwd && error == ERROR_DIRECTORY) {
                return std::unexpected(failure(
                    fmt::format("cannot change directory to \"{}\"", *command.cwd()), error));
            }
            return cannot_run(error);
        }
        UniqueHandle process(started.hProcess);
        const UniqueHandle thread(started.hThread);
        return std::make_unique<ProcessChild>(std::move(process), started.dwProcessId);
    }

  private:
    std::weak_ptr<PseudoConsole> console_;  // the master's; spawning needs it open
};

class ConsoleMaster final : public MasterPty {
  public:
    ConsoleMaster(std::shared_ptr<PseudoConsole> console, UniqueHandle input, UniqueHandle output,
                  PtySize size)
        : console_(std::move(console)),
          input_(std::move(input)),
          output_(std::move(output)),
          size_(size) {}

    // Releasing the master closes the terminal. Its own end of the output pipe goes first:
    // a reader that has stopped reading must not leave the console host blocked on a full
    // pipe while the close waits for it. Readers still reading hold their own duplicates and
    // get the end of the output once the host has closed its end.
    ~ConsoleMaster() override {
        input_.reset();
        output_.reset();
        console_.reset();
    }

    Result<std::unique_ptr<Writer>> take_writer() override {
        if (!input_) return std::unexpected(Error("the writer was already taken"));
        return std::make_unique<PipeWriter>(std::move(input_));
    }

    Result<std::unique_ptr<Reader>> try_clone_reader() override {
        HANDLE duplicate = nullptr;
        const HANDLE self = ::GetCurrentProcess();
        if (!::DuplicateHandle(self, output_.get(), self, &duplicate, 0, FALSE,
                               DUPLICATE_SAME_ACCESS)) {
            return std::unexpected(last_failure("duplicate the terminal's output"));
        }
        return std::make_unique<PipeReader>(UniqueHandle(duplicate));
    }

    Result<void> resize(PtySize size) override {
        const HRESULT result = console_->functions().resize(console_->get(), console_size(size));
        if (FAILED(result))
            return std::unexpected(hresult_failure("set the terminal size", result));
        size_ = size;
        return {};
    }

    // The console keeps no size that can be asked for: this is the last one set.
    Result<PtySize> get_size() const override { return size_; }

  private:
    std::shared_ptr<PseudoConsole> console_;
    UniqueHandle input_;   // the write end of the console's input, until the writer is taken
    UniqueHandle output_;  // the read end of the console's output
    PtySize size_;
};

class ConsolePtySystem final : public PtySystem {
  public:
    Result<PtyPair> openpty(PtySize size) override {
        const ConptyFunctions& functions = conpty();

        HANDLE ends[2];
        if (!::CreatePipe(&ends[0], &ends[1], nullptr, 0)) {
            return std::unexpected(last_failure("create the terminal's input pipe"));
        }
        UniqueHandle input_read(ends[0]);
        UniqueHandle input_write(ends[1]);
        if (!::CreatePipe(&ends[0], &ends[1], nullptr, 0)) {
            return std::unexpected(last_failure("create the terminal's output pipe"));
        }
        UniqueHandle output_read(ends[0]);
        UniqueHandle output_write(ends[1]);

        // No flags: the cursor is not inherited, so the host answers no position query.
        HPCON handle = nullptr;
        const HRESULT result =
            functions.create(console_size(size), input_read.get(), output_write.get(), 0, &handle);
        if (FAILED(result)) {
            return std::unexpected(hresult_failure("create the pseudo console", result));
        }
        auto console = std::make_shared<PseudoConsole>(functions, handle);
        // The host holds its own copies of its two ends: with these gone, the output pipe
        // breaks when the host goes.
        input_read.reset();
        output_write.reset();

        std::weak_ptr<PseudoConsole> for_slave = console;
        return PtyPair{std::make_unique<ConsoleSlave>(std::move(for_slave)),
                       std::make_unique<ConsoleMaster>(std::move(console), std::move(input_write),
                                                       std::move(output_read), size)};
    }
};

}  // namespace

ConptyFunctions load_conpty(HMODULE module) {
    if (module == nullptr) fatal(CONPTY_MISSING);
    const ConptyFunctions functions{
        function_of<decltype(&::CreatePseudoConsole)>(module, "CreatePseudoConsole"),
        function_of<decltype(&::ResizePseudoConsole)>(module, "ResizePseudoConsole"),
        function_of<decltype(&::ClosePseudoConsole)>(module, "ClosePseudoConsole"),
    };
    if (functions.create == nullptr || functions.resize == nullptr || functions.close == nullptr) {
        fatal(CONPTY_MISSING);
    }
    return functions;
}

PtySystem& native_pty_system() {
    static ConsolePtySystem system;
    return system;
}

}  // namespace murv::pty
