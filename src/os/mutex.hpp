// The blocking mutex of the session layer's threads.
#pragma once

#if defined(_WIN32)
#include "os/mutex_windows.hpp"
#else
#include <mutex>

namespace murv::os {

// glibc's mutex: it neither allocates nor fails.
using Mutex = std::mutex;

}  // namespace murv::os
#endif
