#include <algorithm>
#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <unistd.h>

#include "support/platform.hpp"
#include "support/resident_memory.hpp"
#include "support/unique_fd.hpp"

namespace murv {

// /proc/self/statm holds sizes in pages: total, resident, shared, ...
Result<std::uint64_t> own_resident_bytes() {
    const UniqueFd file(::open("/proc/self/statm", O_RDONLY | O_CLOEXEC));
    if (!file) return std::unexpected(Error("/proc/self/statm", os_error(errno)));

    char text[256];
    ssize_t length;
    do {
        length = ::read(file.get(), text, sizeof text);
    } while (length < 0 && errno == EINTR);
    if (length < 0) return std::unexpected(Error("/proc/self/statm", os_error(errno)));

    const char* const end = text + length;
    const char* at = std::find(static_cast<const char*>(text), end, ' ');  // skip the total size
    std::uint64_t pages = 0;
    const auto parsed = std::from_chars(at == end ? end : at + 1, end, pages);
    if (at == end || parsed.ec != std::errc{}) {
        return std::unexpected(Error("/proc/self/statm: no resident size in it"));
    }
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace murv
