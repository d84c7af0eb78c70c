#pragma once

#include <cstdint>

#include "base/error.hpp"

namespace murv::os {

// This process's resident bytes (its working set on Windows), read once.
Result<std::uint64_t> own_resident_bytes();

}  // namespace murv::os
