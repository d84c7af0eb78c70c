#pragma once

#include <cstddef>
#include <functional>

#include "base/error.hpp"

namespace murv::os {

// Reserves `stack_size` bytes for its stack; nothing joins it. On failure `body` is dropped.
Result<void> start_detached_thread(std::move_only_function<void()> body, std::size_t stack_size);

}  // namespace murv::os
