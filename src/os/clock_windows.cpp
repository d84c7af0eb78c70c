#include <windows.h>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/clock.hpp"
#include "os/system_error.hpp"

namespace murv::os {
namespace {

[[noreturn]] void stop_unread(std::source_location where = std::source_location::current()) {
    fatal(fmt::format("failed to read the monotonic clock: {}", error_text(last_error_code())),
          where);
}

}  // namespace

MonotonicClock::time_point MonotonicClock::now() {
    // The counter's frequency is fixed at boot; both calls succeed on every system since XP,
    // and are checked all the same.
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value;
        if (!::QueryPerformanceFrequency(&value) || value.QuadPart <= 0) stop_unread();
        return value.QuadPart;
    }();
    LARGE_INTEGER counter;
    if (!::QueryPerformanceCounter(&counter)) stop_unread();
    // Whole seconds, then the rest: the product of the count and 10^9 would overflow.
    const LONGLONG seconds = counter.QuadPart / frequency;
    const LONGLONG rest = counter.QuadPart % frequency;
    return time_point(std::chrono::seconds(seconds) +
                      std::chrono::nanoseconds(rest * 1'000'000'000 / frequency));
}

}  // namespace murv::os
