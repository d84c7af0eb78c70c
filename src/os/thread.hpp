// Detached threads with a stack size of the caller's choosing, and what a stack that runs out
// does.
#pragma once

#include <cstddef>
#include <functional>

#include "base/error.hpp"

namespace murv::os {

// Starts a thread that runs `body` and ends with it; nothing joins it. `stack_size` bytes of
// address space are reserved for its stack. When the thread cannot be started, the error is
// the system's and `body` is released unrun.
Result<void> start_detached_thread(std::move_only_function<void()> body, std::size_t stack_size);

// Makes a stack that runs out a fatal stop, "thread 'main' has overflowed its stack" on the
// calling thread and "thread '<unnamed>' ..." on those start_detached_thread starts, instead of
// an end by a signal; other faults end the process as before. Called once, on the main thread,
// by the process's set-up. The error is the system's. (Windows: nothing to do, see its file.)
Result<void> guard_stacks();

}  // namespace murv::os
