#include <windows.h>
#include <psapi.h>

#include "support/platform.hpp"
#include "support/resident_memory.hpp"

namespace murv {

Result<std::uint64_t> own_resident_bytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
        return std::unexpected(Error("GetProcessMemoryInfo", os_error(last_os_error())));
    }
    return static_cast<std::uint64_t>(counters.WorkingSetSize);
}

}  // namespace murv
