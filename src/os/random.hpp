// The operating system's cryptographic random source.
#pragma once

#include <cstddef>
#include <span>

#include "base/error.hpp"

namespace murv::os {

Result<void> random_bytes(std::span<std::byte> bytes);

}  // namespace murv::os
