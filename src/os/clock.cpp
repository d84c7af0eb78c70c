#include "os/clock.hpp"

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/system_error.hpp"

namespace murv::os {

void MonotonicClock::stop_unread(std::source_location where) {
    fatal(fmt::format("failed to read the monotonic clock: {}", error_text(last_error_code())),
          where);
}

}  // namespace murv::os
