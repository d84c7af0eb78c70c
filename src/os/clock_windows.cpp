#include <windows.h>

#include "os/clock.hpp"

namespace murv::os {

MonotonicClock::time_point MonotonicClock::now() {
    // Fixed at boot; both calls succeed on every system since XP, and are checked all the same.
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value;
        if (!::QueryPerformanceFrequency(&value) || value.QuadPart <= 0) stop_unread();
        return value.QuadPart;
    }();
    LARGE_INTEGER counter;
    if (!::QueryPerformanceCounter(&counter)) stop_unread();
    // Whole seconds, then the rest: the product of the count and 10^9 would overflow.
    return time_point(
        std::chrono::seconds(counter.QuadPart / frequency) +
        std::chrono::nanoseconds(counter.QuadPart % frequency * 1'000'000'000 / frequency));
}

}  // namespace murv::os
