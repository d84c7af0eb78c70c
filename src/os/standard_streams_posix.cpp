#include <cerrno>

#include <unistd.h>

#include "base/fatal.hpp"
#include "os/posix.hpp"
#include "os/standard_streams.hpp"
#include "os/system_error.hpp"

namespace murv::os {
namespace {

// Returns 0 or the error number; allocates nothing.
int write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written =
            retry_interrupted([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (written < 0) return errno;
        if (written == 0) return EIO;  // no progress: it would go on for ever
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

Result<void> write_standard(StandardStream stream, std::string_view bytes) {
    if (const int error =
            write_all(stream == StandardStream::output ? STDOUT_FILENO : STDERR_FILENO, bytes)) {
        return std::unexpected(system_error(error));
    }
    return {};
}

void install_fatal_platform() {
    set_fatal_platform({
        // Nothing is left to tell a failure to.
        [](std::string_view bytes) noexcept { (void)write_all(STDERR_FILENO, bytes); },
        []() noexcept { return static_cast<unsigned long long>(::gettid()); },
    });
}

}  // namespace murv::os
