#pragma once

#include <cstddef>
#include <functional>

#include "base/error.hpp"

namespace murv::os {

// Reserves `stack_size` bytes for its stack; nothing joins it. On failure `body` is dropped.
Result<void> start_detached_thread(std::move_only_function<void()> body, std::size_t stack_size);

// POSIX: a stack that runs out, on the calling (main) thread or one started above, is a fatal
// stop instead of a signal. Windows needs none: its stacks are fixed reserves.
Result<void> guard_stacks();

}  // namespace murv::os
