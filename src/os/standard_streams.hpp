// This process's standard output and error.
#pragma once

#include <string_view>

#include "base/error.hpp"

namespace murv::os {

enum class StandardStream { output, error };

// Writes all of `bytes`, unchanged (no line-end translation), straight to the stream. To a
// console on Windows they go as text, UTF-8 decoded.
Result<void> write_standard(StandardStream stream, std::string_view bytes);

// Gives fatal stops what they need of this platform: standard error written as write_standard
// writes, and thread numbers, both without allocating.
void install_fatal_platform();

}  // namespace murv::os
