// The output ring of a session.
#pragma once

#include <cstddef>
#include <mutex>
#include <span>

#include <boost/circular_buffer.hpp>

#include "base/fatal.hpp"
#include "os/mutex.hpp"

namespace murv::session {

inline constexpr std::size_t RING_CAPACITY = 65536;

// The newest RING_CAPACITY bytes of a session's output, oldest first; allocated in full at once.
class OutputRing {
  public:
    OutputRing() : bytes_(RING_CAPACITY) {}

    // Appends `chunk`, then trims the front; a lock whose holder failed is a fatal stop.
    void append(std::span<const std::byte> chunk);

  private:
    // Nothing in the program reads the ring back; its tests do.
    friend struct OutputRingProbe;

    // A mark, not exceptions: their first use on a thread allocates, and a refusal aborts.
    template <class F>
    void with_lock(F&& f) {
        const std::lock_guard lock(mutex_);
        if (holder_failed_) {
            fatal("ring buffer 锁中毒: poisoned lock: another thread failed while holding it");
        }
        holder_failed_ = true;
        f(bytes_);
        holder_failed_ = false;
    }

    os::Mutex mutex_;
    bool holder_failed_ = false;
    boost::circular_buffer<std::byte> bytes_;
};

}  // namespace murv::session
