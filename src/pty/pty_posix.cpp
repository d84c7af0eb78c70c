// Pseudo terminals on POSIX. Every descriptor is close-on-exec from birth, so that no program
// inherits another terminal's ends.
#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <fmt/format.h>

#include "os/posix.hpp"
#include "os/system_error.hpp"
#include "pty/child_posix.hpp"
#include "pty/hangup_posix.hpp"
#include "pty/pty.hpp"

namespace murv::pty {
namespace {

using os::failure;
using os::retry_interrupted;
using os::UniqueFd;

class FdWriter final : public Writer {
  public:
    explicit FdWriter(UniqueFd fd) : fd_(std::move(fd)) {}

    Result<std::size_t> write(std::span<const std::byte> bytes) override {
        const ssize_t n =
            retry_interrupted([&] { return ::write(fd_.get(), bytes.data(), bytes.size()); });
        if (n < 0) return std::unexpected(failure("write to the terminal", errno));
        return static_cast<std::size_t>(n);
    }

  private:
    UniqueFd fd_;
};

class PosixSlave final : public SlavePty {
  public:
    explicit PosixSlave(UniqueFd fd) : fd_(std::move(fd)) {}

    Result<std::unique_ptr<Child>> spawn_command(ShellCommand command) override {
        return spawn_on_terminal(fd_.get(), command);
    }

  private:
    UniqueFd fd_;
};

class PosixMaster final : public MasterPty {
  public:
    PosixMaster(UniqueFd fd, HangUp hang_up) : fd_(std::move(fd)), hang_up_(std::move(hang_up)) {}

    ~PosixMaster() override { hang_up_.hang_up(fd_.get()); }

    Result<std::unique_ptr<Writer>> take_writer() override {
        if (writer_taken_) return std::unexpected(Error("the writer was already taken"));
        auto fd = duplicate();
        if (!fd) return std::unexpected(std::move(fd.error()));
        writer_taken_ = true;
        return std::make_unique<FdWriter>(std::move(*fd));
    }

    Result<std::unique_ptr<Reader>> try_clone_reader() override {
        auto fd = duplicate();
        if (!fd) return std::unexpected(std::move(fd.error()));
        return hang_up_.reader_of(std::move(*fd));
    }

    Result<void> resize(PtySize size) override {
        const winsize ws{size.rows, size.cols, size.pixel_width, size.pixel_height};
        if (::ioctl(fd_.get(), TIOCSWINSZ, &ws) < 0) {
            return std::unexpected(failure("set the terminal size", errno));
        }
        return {};
    }

    Result<PtySize> get_size() const override {
        winsize ws{};
        if (::ioctl(fd_.get(), TIOCGWINSZ, &ws) < 0) {
            return std::unexpected(failure("get the terminal size", errno));
        }
        return PtySize{ws.ws_row, ws.ws_col, ws.ws_xpixel, ws.ws_ypixel};
    }

  private:
    // Each writer and reader has its own, so that it outlives the master.
    Result<UniqueFd> duplicate() const {
        UniqueFd fd(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
        if (!fd) return std::unexpected(failure("duplicate the terminal's master", errno));
        return fd;
    }

    UniqueFd fd_;
    HangUp hang_up_;
    bool writer_taken_ = false;
};

class PosixPtySystem final : public PtySystem {
  public:
    Result<PtyPair> openpty(PtySize size) override {
        UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!master) return std::unexpected(failure("open a pseudo-terminal", errno));
        if (::grantpt(master.get()) < 0)
            return std::unexpected(failure("grant the slave side", errno));
        if (::unlockpt(master.get()) < 0)
            return std::unexpected(failure("unlock the slave side", errno));
        char name[128];
        if (int error = ::ptsname_r(master.get(), name, sizeof name)) {
            return std::unexpected(failure("name the slave side", error));
        }
        UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!slave)
            return std::unexpected(failure(fmt::format("open the slave side {}", name), errno));

        auto hang_up = HangUp::make();
        if (!hang_up) return std::unexpected(std::move(hang_up.error()));
        auto pair = PtyPair{std::make_unique<PosixSlave>(std::move(slave)),
                            std::make_unique<PosixMaster>(std::move(master), std::move(*hang_up))};
        if (auto sized = pair.master->resize(size); !sized) {
            return std::unexpected(std::move(sized.error()));
        }
        return pair;
    }
};

}  // namespace

PtySystem& native_pty_system() {
    static PosixPtySystem system;
    return system;
}

}  // namespace murv::pty
