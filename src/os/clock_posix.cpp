#include <ctime>

#include "os/clock.hpp"

namespace murv::os {

MonotonicClock::time_point MonotonicClock::now() {
    timespec time;
    if (::clock_gettime(CLOCK_MONOTONIC, &time) < 0) stop_unread();
    return time_point(std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

}  // namespace murv::os
