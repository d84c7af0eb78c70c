#include <mach/mach.h>

#include "support/resident_memory.hpp"

namespace murv {

Result<std::uint64_t> own_resident_bytes() {
    mach_task_basic_info_data_t info{};
    mach_msg_type_number_t count = MACH_TASK_BASIC_INFO_COUNT;
    const kern_return_t result = ::task_info(mach_task_self(), MACH_TASK_BASIC_INFO,
                                             reinterpret_cast<task_info_t>(&info), &count);
    if (result != KERN_SUCCESS) return std::unexpected(Error(::mach_error_string(result)));
    return static_cast<std::uint64_t>(info.resident_size);
}

}  // namespace murv
