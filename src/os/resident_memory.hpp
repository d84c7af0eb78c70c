// The resident memory of the calling process, read from the operating system.
#pragma once

#include <cstdint>

#include "base/error.hpp"

namespace murv::os {

// Bytes of this process's memory that are resident (its working set on Windows). Reads the
// figure once, in the calling thread; scans no other process.
Result<std::uint64_t> own_resident_bytes();

}  // namespace murv::os
