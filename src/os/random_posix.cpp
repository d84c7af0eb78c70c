#include <sys/random.h>

#include "os/posix.hpp"
#include "os/random.hpp"
#include "os/system_error.hpp"

namespace murv::os {

Result<void> random_bytes(std::span<std::byte> bytes) {
    // One call gives at most 32 MiB, and a signal may cut a long one short.
    while (!bytes.empty()) {
        const ssize_t n =
            retry_interrupted([&] { return ::getrandom(bytes.data(), bytes.size(), 0); });
        if (n < 0) return std::unexpected(system_error(errno));
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
}

}  // namespace murv::os
