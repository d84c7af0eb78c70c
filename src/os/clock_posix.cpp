#include <cerrno>
#include <ctime>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/clock.hpp"
#include "os/system_error.hpp"

namespace murv::os {

MonotonicClock::time_point MonotonicClock::now() {
    timespec time;
    if (::clock_gettime(CLOCK_MONOTONIC, &time) < 0) {
        fatal(fmt::format("failed to read the monotonic clock: {}", error_text(errno)));
    }
    return time_point(std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

}  // namespace murv::os
