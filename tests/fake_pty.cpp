#include "fake_pty.hpp"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

namespace test {
namespace {

using murv::Error;
using murv::Result;
namespace pty = murv::pty;

// Holds the log, and says in it that `what` was released when it goes.
class Logged {
  public:
    Logged(std::shared_ptr<FakeLog> log, const char* what) : log_(std::move(log)), what_(what) {}
    ~Logged() { log_->add(std::string(what_) + " released"); }

  protected:
    std::shared_ptr<FakeLog> log_;

  private:
    const char* what_;
};

class FakeReader final : public pty::Reader, Logged {
  public:
    explicit FakeReader(std::shared_ptr<FakeLog> log) : Logged(std::move(log), "reader") {}

    Result<std::size_t> read(std::span<std::byte> buffer) override {
        std::unique_lock lock(log_->mutex);
        log_->changed.wait(lock, [&] { return !log_->output.empty() || log_->output_ended; });
        if (log_->output.empty()) return 0;
        auto chunk = std::move(log_->output.front());
        log_->output.pop_front();
        if (!chunk) return std::unexpected(Error("fake read error"));
        const std::size_t n = std::min(chunk->size(), buffer.size());
        std::memcpy(buffer.data(), chunk->data(), n);
        return n;
    }
};

class FakeWriter final : public pty::Writer, Logged {
  public:
    explicit FakeWriter(std::shared_ptr<FakeLog> log) : Logged(std::move(log), "writer") {}
    Result<std::size_t> write(std::span<const std::byte> bytes) override { return bytes.size(); }
};

class FakeChild final : public pty::Child, Logged {
  public:
    explicit FakeChild(std::shared_ptr<FakeLog> log) : Logged(std::move(log), "child") {}
    std::optional<std::uint32_t> process_id() const override { return 4242; }
    Result<murv::os::ExitStatus> wait() override {
        log_->add("child waited for");
        return murv::os::ExitStatus::exited(0);
    }
};

class FakeSlave final : public pty::SlavePty, Logged {
  public:
    FakeSlave(std::shared_ptr<FakeLog> log, FailAt fail_at)
        : Logged(std::move(log), "slave"), fail_at_(fail_at) {}

    Result<std::unique_ptr<pty::Child>> spawn_command(pty::ShellCommand command) override {
        {
            const std::lock_guard lock(log_->mutex);
            log_->programs.push_back(command.program());
            log_->command = std::move(command);
        }
        log_->on_spawn();
        if (fail_at_ == FailAt::spawn) return std::unexpected(Error("fake spawn error"));
        return std::make_unique<FakeChild>(log_);
    }

  private:
    FailAt fail_at_;
};

class FakeMaster final : public pty::MasterPty, Logged {
  public:
    FakeMaster(std::shared_ptr<FakeLog> log, FailAt fail_at, pty::PtySize size, int number)
        : Logged(std::move(log), "master"), fail_at_(fail_at), size_(size), number_(number) {}
    ~FakeMaster() override {
        const std::lock_guard lock(log_->mutex);
        log_->masters_released.push_back(number_);
    }

    Result<std::unique_ptr<pty::Writer>> take_writer() override {
        if (fail_at_ == FailAt::writer) return std::unexpected(Error("fake writer error"));
        return std::make_unique<FakeWriter>(log_);
    }
    Result<std::unique_ptr<pty::Reader>> try_clone_reader() override {
        if (fail_at_ == FailAt::reader) return std::unexpected(Error("fake reader error"));
        return std::make_unique<FakeReader>(log_);
    }
    Result<void> resize(pty::PtySize size) override {
        size_ = size;
        return {};
    }
    Result<pty::PtySize> get_size() const override { return size_; }

  private:
    FailAt fail_at_;
    pty::PtySize size_;
    int number_;
};

}  // namespace

Result<pty::PtyPair> FakePtySystem::openpty(pty::PtySize size) {
    log_->add(fmt::format("openpty {}x{}", size.cols, size.rows));
    if (fail_at_ == FailAt::openpty) return std::unexpected(Error("fake openpty error"));
    return pty::PtyPair{std::make_unique<FakeSlave>(log_, fail_at_),
                        std::make_unique<FakeMaster>(log_, fail_at_, size, opens_++)};
}

}  // namespace test
