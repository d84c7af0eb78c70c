#include <windows.h>
#include <psapi.h>

#include "os/resident_memory.hpp"
#include "os/system_error.hpp"

namespace murv::os {

Result<std::uint64_t> own_resident_bytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
        return std::unexpected(
            last_failure("GetProcessMemoryInfo (read this process's working set)"));
    }
    return static_cast<std::uint64_t>(counters.WorkingSetSize);
}

}  // namespace murv::os
