// Detached threads with a stack size of the caller's choosing.
#pragma once

#include <cstddef>
#include <functional>

#include "base/error.hpp"

namespace murv::os {

// Starts a thread that runs `body` and ends with it; nothing joins it. `stack_size` bytes of
// address space are reserved for its stack. When the thread cannot be started, the error is
// the system's and `body` is released unrun.
Result<void> start_detached_thread(std::move_only_function<void()> body, std::size_t stack_size);

}  // namespace murv::os
