// The pseudo-terminal layer. Abstract, so that tests can put in a layer that fails at a step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/error.hpp"
#include "os/process.hpp"
#include "pty/environment.hpp"

namespace murv::pty {

struct PtySize {
    std::uint16_t rows = 24;
    std::uint16_t cols = 80;
    std::uint16_t pixel_width = 0;
    std::uint16_t pixel_height = 0;

    friend bool operator==(const PtySize&, const PtySize&) = default;
};

// A program without arguments; its environment starts as os::default_environment().
class ShellCommand {
  public:
    explicit ShellCommand(std::string program);

    void set_env(const std::string& name, std::string value);
    void set_cwd(std::string directory) { cwd_ = std::move(directory); }

    const std::string& program() const { return program_; }
    const Environment& environment() const { return environment_; }
    const std::optional<std::string>& cwd() const { return cwd_; }

  private:
    std::string program_;
    Environment environment_;
    std::optional<std::string> cwd_;
};

// A blocking source of the terminal's output. read returns the bytes read, 0 at the end.
class Reader {
  public:
    virtual ~Reader() = default;
    virtual Result<std::size_t> read(std::span<std::byte> buffer) = 0;
};

// A blocking sink into the terminal's input.
class Writer {
  public:
    virtual ~Writer() = default;
    virtual Result<std::size_t> write(std::span<const std::byte> bytes) = 0;
};

// The spawned program. Releasing the handle neither ends nor waits for the program.
class Child {
  public:
    virtual ~Child() = default;
    virtual std::optional<std::uint32_t> process_id() const = 0;
    // Blocks until the program has exited and reaps it.
    virtual Result<os::ExitStatus> wait() = 0;
};

// The child of the native layers.
class ProcessChild final : public Child {
  public:
    explicit ProcessChild(os::Process process) : process_(std::move(process)) {}
    std::optional<std::uint32_t> process_id() const override { return process_.id(); }
    Result<os::ExitStatus> wait() override;

  private:
    os::Process process_;
};

class SlavePty {
  public:
    virtual ~SlavePty() = default;
    // Starts the command with this terminal as its console; consumes the command either way.
    virtual Result<std::unique_ptr<Child>> spawn_command(ShellCommand command) = 0;
};

// Releasing the master closes the terminal for the program on it (see the native layers).
class MasterPty {
  public:
    virtual ~MasterPty() = default;
    // The terminal's input; handed out once.
    virtual Result<std::unique_ptr<Writer>> take_writer() = 0;
    // A reader of the terminal's output that stays usable without the master.
    virtual Result<std::unique_ptr<Reader>> try_clone_reader() = 0;
    virtual Result<void> resize(PtySize size) = 0;
    virtual Result<PtySize> get_size() const = 0;
};

struct PtyPair {
    std::unique_ptr<SlavePty> slave;
    std::unique_ptr<MasterPty> master;
};

class PtySystem {
  public:
    virtual ~PtySystem() = default;
    virtual Result<PtyPair> openpty(PtySize size) = 0;
};

// The platform's own pseudo terminals.
PtySystem& native_pty_system();

}  // namespace murv::pty
