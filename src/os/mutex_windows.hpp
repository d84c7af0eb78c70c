// The blocking mutex of the session layer's threads, on Windows: a slim reader/writer lock.
// std::mutex is mingw-w64's POSIX emulation, which allocates at a mutex's first lock and, on a
// thread it has not seen, sets that thread up (a handle duplicated, a thread-local slot set):
// a refusal of either throws, or ends the process by abort. This lock needs neither, and cannot
// fail. Windows only; included through os/mutex.hpp.
#pragma once

#include <windows.h>

namespace murv::os {

class Mutex {
  public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() noexcept { ::AcquireSRWLockExclusive(&lock_); }
    void unlock() noexcept { ::ReleaseSRWLockExclusive(&lock_); }

  private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace murv::os
