// Pseudo terminals on Windows: a pseudo console and its two pipes, none of them inheritable.
#include <algorithm>
#include <climits>
#include <memory>
#include <string>

#include "base/fatal.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"
#include "pty/child_windows.hpp"
#include "pty/conpty_windows.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

namespace {

using os::failure;
using os::last_failure;
namespace win32 = os::win32;
using win32::UniqueHandle;

// Most failures carry a Win32 error code, whose text reads better than the HRESULT's own.
Error hresult_failure(std::string what, HRESULT result) {
    const int code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                                : static_cast<int>(result);
    return failure(std::move(what), code);
}

const ConptyFunctions& conpty() {
    static const ConptyFunctions functions = load_conpty(L"kernel32.dll");
    return functions;
}

COORD console_size(PtySize size) {
    const auto clamp = [](std::uint16_t value) {
        return static_cast<SHORT>(std::min<int>(value, SHRT_MAX));
    };
    return COORD{clamp(size.cols), clamp(size.rows)};
}

// Before Windows 11 24H2 its close waits for the host's output to be read: never on the reader.
struct ConsoleTraits : FreedBy<HPCON, nullptr> {
    static void free(HPCON console) { conpty().close(console); }
};
using PseudoConsole = Owned<ConsoleTraits>;

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
            return std::unexpected(
                failure("ReadFile (read from the terminal)", static_cast<int>(error)));
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
            return std::unexpected(last_failure("WriteFile (write to the terminal)"));
        }
        return static_cast<std::size_t>(written);
    }

  private:
    UniqueHandle pipe_;
};

class ConsoleSlave final : public SlavePty {
  public:
    explicit ConsoleSlave(std::weak_ptr<PseudoConsole> console) : console_(std::move(console)) {}

    Result<std::unique_ptr<Child>> spawn_command(ShellCommand command) override {
        const auto console = console_.lock();
        if (!console) return std::unexpected(Error("the terminal is closed"));
        return spawn_on_console(console->get(), command);
    }

  private:
    std::weak_ptr<PseudoConsole> console_;  // the master's; spawning needs it open
};

class ConsoleMaster final : public MasterPty {
  public:
    ConsoleMaster(std::shared_ptr<PseudoConsole> console, UniqueHandle input, UniqueHandle output,
                  PtySize size)
        : console_(std::move(console)),
          output_(std::move(output)),
          input_(std::move(input)),
          size_(size) {}

    Result<std::unique_ptr<Writer>> take_writer() override {
        if (!input_) return std::unexpected(Error("the writer was already taken"));
        return std::make_unique<PipeWriter>(std::move(input_));
    }

    Result<std::unique_ptr<Reader>> try_clone_reader() override {
        HANDLE duplicate = nullptr;
        const HANDLE self = ::GetCurrentProcess();
        if (!::DuplicateHandle(self, output_.get(), self, &duplicate, 0, FALSE,
                               DUPLICATE_SAME_ACCESS)) {
            return std::unexpected(
                last_failure("DuplicateHandle (a reader of the terminal's output)"));
        }
        return std::make_unique<PipeReader>(UniqueHandle(duplicate));
    }

    Result<void> resize(PtySize size) override {
        const HRESULT result = conpty().resize(console_->get(), console_size(size));
        if (FAILED(result))
            return std::unexpected(
                hresult_failure("ResizePseudoConsole (set the terminal size)", result));
        size_ = size;
        return {};
    }

    // The console keeps no size that can be asked for: this is the last one set.
    Result<PtySize> get_size() const override { return size_; }

  private:
    // Gone in the reverse order, the pipes before the console: a full pipe would hang its close.
    std::shared_ptr<PseudoConsole> console_;
    UniqueHandle output_;  // the read end of the console's output
    UniqueHandle input_;   // the write end of the console's input, until the writer is taken
    PtySize size_;
};

class ConsolePtySystem final : public PtySystem {
  public:
    Result<PtyPair> openpty(PtySize size) override {
        const ConptyFunctions& functions = conpty();
        HANDLE ends[2];
        if (!::CreatePipe(&ends[0], &ends[1], nullptr, 0)) {
            return std::unexpected(last_failure("CreatePipe (the terminal's input)"));
        }
        UniqueHandle input_read(ends[0]);
        UniqueHandle input_write(ends[1]);
        if (!::CreatePipe(&ends[0], &ends[1], nullptr, 0)) {
            return std::unexpected(last_failure("CreatePipe (the terminal's output)"));
        }
        UniqueHandle output_read(ends[0]);
        UniqueHandle output_write(ends[1]);

        // No flags: the cursor is not inherited, so the host answers no position query.
        HPCON handle = nullptr;
        const HRESULT result =
            functions.create(console_size(size), input_read.get(), output_write.get(), 0, &handle);
        if (FAILED(result)) {
            return std::unexpected(
                hresult_failure("CreatePseudoConsole (open the terminal)", result));
        }
        auto console = std::make_shared<PseudoConsole>(handle);
        // The host holds its own copies: with these gone, the pipe breaks when the host goes.
        input_read.reset();
        output_write.reset();

        std::weak_ptr<PseudoConsole> for_slave = console;
        return PtyPair{std::make_unique<ConsoleSlave>(std::move(for_slave)),
                       std::make_unique<ConsoleMaster>(std::move(console), std::move(input_write),
                                                       std::move(output_read), size)};
    }
};

}  // namespace

ConptyFunctions load_conpty(const wchar_t* library) {
    const ConptyFunctions functions{
        win32::system_function<decltype(&::CreatePseudoConsole)>(library, "CreatePseudoConsole"),
        win32::system_function<decltype(&::ResizePseudoConsole)>(library, "ResizePseudoConsole"),
        win32::system_function<decltype(&::ClosePseudoConsole)>(library, "ClosePseudoConsole"),
    };
    if (functions.create == nullptr || functions.resize == nullptr || functions.close == nullptr) {
        fatal("this system does not support conpty.  Windows 10 October 2018 or newer is required");
    }
    return functions;
}

PtySystem& native_pty_system() {
    static ConsolePtySystem system;
    return system;
}

}  // namespace murv::pty
