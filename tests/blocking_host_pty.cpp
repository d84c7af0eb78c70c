#include "blocking_host_pty.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace test {
namespace {

using murv::Error;
using murv::Result;
namespace pty = murv::pty;

constexpr std::size_t PIPE_CAPACITY = 64 << 10;
constexpr auto CLOSE_LIMIT = std::chrono::seconds(5);

// One pseudo console: its output pipe, the read ends open on it, and its shell.
struct Console {
    std::mutex mutex;
    std::condition_variable changed;
    std::string pipe;        // written by the host, not yet read
    int read_ends = 1;       // the master's own to begin with
    bool closing = false;    // the close has begun: the shell is ended
    bool host_gone = false;  // the close is done: the pipe is broken
    std::thread shell;

    // The shell: a line each millisecond until the close ends it, waiting while the pipe is
    // full.
    void run_shell() {
        const std::string line(1024, 'y');
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait_for(lock, std::chrono::milliseconds(1), [&] { return closing; });
            changed.wait(lock, [&] { return closing || pipe.size() < PIPE_CAPACITY; });
            if (closing) return;
            pipe += line;
            changed.notify_all();
        }
    }

    void release_read_end() {
        const std::lock_guard lock(mutex);
        --read_ends;
        changed.notify_all();
    }
};

class Reader final : public pty::Reader {
  public:
    explicit Reader(std::shared_ptr<Console> console) : console_(std::move(console)) {
        const std::lock_guard lock(console_->mutex);
        ++console_->read_ends;
    }
    ~Reader() override { console_->release_read_end(); }

    Result<std::size_t> read(std::span<std::byte> buffer) override {
        std::unique_lock lock(console_->mutex);
        console_->changed.wait(lock,
                               [&] { return !console_->pipe.empty() || console_->host_gone; });
        const std::size_t n = std::min(buffer.size(), console_->pipe.size());
        std::memcpy(buffer.data(), console_->pipe.data(), n);
        console_->pipe.erase(0, n);
        console_->changed.notify_all();
        return n;
    }

  private:
    std::shared_ptr<Console> console_;
};

class Writer final : public pty::Writer {
  public:
    Result<std::size_t> write(std::span<const std::byte> bytes) override { return bytes.size(); }
};

// The shell ends with the close of its console.
class Child final : public pty::Child {
  public:
    explicit Child(std::shared_ptr<Console> console) : console_(std::move(console)) {}
    std::optional<std::uint32_t> process_id() const override { return 1; }
    Result<murv::os::ExitStatus> wait() override {
        std::unique_lock lock(console_->mutex);
        console_->changed.wait(lock, [&] { return console_->host_gone; });
        return murv::os::ExitStatus::exited(0);
    }

  private:
    std::shared_ptr<Console> console_;
};

class Slave final : public pty::SlavePty {
  public:
    explicit Slave(std::shared_ptr<Console> console) : console_(std::move(console)) {}
    Result<std::unique_ptr<pty::Child>> spawn_command(pty::ShellCommand) override {
        const std::lock_guard lock(console_->mutex);
        if (console_->closing) return std::unexpected(Error("the terminal is closed"));
        if (console_->shell.joinable()) return std::unexpected(Error("a shell runs already"));
        console_->shell = std::thread([console = console_.get()] { console->run_shell(); });
        return std::make_unique<Child>(console_);
    }

  private:
    std::shared_ptr<Console> console_;
};

class Master final : public pty::MasterPty {
  public:
    Master(std::shared_ptr<Console> console, std::atomic<int>& closes, std::atomic<int>& hung)
        : console_(std::move(console)), closes_(closes), hung_(hung) {}

    // As ConsoleMaster: its own read end goes first, then the console is closed. The host ends
    // the shell, writes its last output in two parts (while anyone can read it) and waits.
    ~Master() override {
        console_->release_read_end();
        std::unique_lock lock(console_->mutex);
        console_->closing = true;
        for (int part = 0; part < 2 && console_->read_ends > 0; ++part) {
            console_->pipe += "\x1b[?25h";
            console_->changed.notify_all();
            console_->changed.wait_for(lock, std::chrono::milliseconds(20),
                                       [&] { return console_->read_ends == 0; });
        }
        const bool done = console_->changed.wait_for(
            lock, CLOSE_LIMIT, [&] { return console_->pipe.empty() || console_->read_ends == 0; });
        if (!done) ++hung_;
        console_->host_gone = true;
        console_->changed.notify_all();
        lock.unlock();
        if (console_->shell.joinable()) console_->shell.join();
        ++closes_;
    }

    Result<std::unique_ptr<pty::Writer>> take_writer() override {
        return std::make_unique<Writer>();
    }
    Result<std::unique_ptr<pty::Reader>> try_clone_reader() override {
        return std::make_unique<Reader>(console_);
    }
    Result<void> resize(pty::PtySize) override { return {}; }
    Result<pty::PtySize> get_size() const override { return pty::PtySize{}; }

  private:
    std::shared_ptr<Console> console_;
    std::atomic<int>& closes_;
    std::atomic<int>& hung_;
};

}  // namespace

Result<pty::PtyPair> BlockingHostPtySystem::openpty(pty::PtySize) {
    auto console = std::make_shared<Console>();
    return pty::PtyPair{std::make_unique<Slave>(console),
                        std::make_unique<Master>(console, closes_, hung_closes_)};
}

}  // namespace test
