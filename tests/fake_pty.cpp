#include "fake_pty.hpp"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

namespace test {
namespace {

using murv::Error;
using murv::Result;
namespace pty = murv::pty;

class FakeReader final : public pty::Reader {
  public:
    explicit FakeReader(std::shared_ptr<FakeLog> log) : log_(std::move(log)) {}
    ~FakeReader() override { log_->add("reader released"); }

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

  private:
    std::shared_ptr<FakeLog> log_;
};

class FakeWriter final : public pty::Writer {
  public:
    explicit FakeWriter(std::shared_ptr<FakeLog> log) : log_(std::move(log)) {}
    ~FakeWriter() override { log_->add("writer released"); }
    Result<std::size_t> write(std::span<const std::byte> bytes) override { return bytes.size(); }

  private:
    std::shared_ptr<FakeLog> log_;
};

class FakeChild final : public pty::Child {
  public:
    explicit FakeChild(std::shared_ptr<FakeLog> log) : log_(std::move(log)) {}
    ~FakeChild() override { log_->add("child released"); }
    std::optional<std::uint32_t> process_id() const override { return 4242; }
    Result<murv::os::ExitStatus> wait() override {
        log_->add("child waited for");
        return murv::os::ExitStatus::exited(0);
    }

  private:
    std::shared_ptr<FakeLog> log_;
};

class FakeSlave final : public pty::SlavePty {
  public:
    FakeSlave(std::shared_ptr<FakeLog> log, FailAt fail_at)
        : log_(std::move(log)), fail_at_(fail_at) {}
    ~FakeSlave() override { log_->add("slave released"); }

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
    std::shared_ptr<FakeLog> log_;
    FailAt fail_at_;
};

class FakeMaster final : public pty::MasterPty {
  public:
    FakeMaster(std::shared_ptr<FakeLog> log, FailAt fail_at, pty::PtySize size, int number)
        : log_(std::move(log)), fail_at_(fail_at), size_(size), number_(number) {}
    ~FakeMaster() override {
        log_->add("master released");
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
    std::shared_ptr<FakeLog> log_;
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
