// Linux's procfs: the one POSIX system this tool is built for.
#include <algorithm>
#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <unistd.h>

#include "os/posix.hpp"
#include "os/resident_memory.hpp"
#include "os/system_error.hpp"

namespace murv::os {

// /proc/self/statm holds sizes in pages: total, resident, shared, ...
Result<std::uint64_t> own_resident_bytes() {
    const UniqueFd file(::open("/proc/self/statm", O_RDONLY | O_CLOEXEC));
    if (!file) return std::unexpected(failure("open /proc/self/statm", errno));

    char text[256];
    const ssize_t length = retry_interrupted([&] { return ::read(file.get(), text, sizeof text); });
    if (length < 0) return std::unexpected(failure("read /proc/self/statm", errno));

    const char* const end = text + length;
    const char* at = std::find(static_cast<const char*>(text), end, ' ');  // skip the total size
    std::uint64_t pages = 0;
    const auto parsed = std::from_chars(at == end ? end : at + 1, end, pages);
    if (at == end || parsed.ec != std::errc{}) {
        return std::unexpected(Error("find the resident size in /proc/self/statm"));
    }
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace murv::os
