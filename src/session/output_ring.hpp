// The output ring of a session: the newest bytes of its output, kept for whoever looks.
#pragma once

#include <cstddef>
#include <mutex>
#include <span>

#include <boost/circular_buffer.hpp>

#include "base/fatal.hpp"
#include "os/mutex.hpp"

namespace murv::session {

inline constexpr std::size_t RING_CAPACITY = 65536;

// The newest RING_CAPACITY bytes of a session's output, oldest first, behind a blocking
// mutex. Its storage is allocated in full at creation.
class OutputRing {
  public:
    OutputRing() : bytes_(RING_CAPACITY) {}

    // Appends `chunk`, then drops bytes from the front until no more than RING_CAPACITY
    // remain. A lock that a holder left by failing is a fatal stop, "ring buffer 锁中毒".
    void append(std::span<const std::byte> chunk);

  private:
    // Nothing in the program reads the ring back; its tests do.
    friend struct OutputRingProbe;

    // Runs `f` on the bytes under the lock; the lock stays marked failed if `f` does not
    // return. The mark is set before and cleared after, with no exception machinery: a reader
    // thread's first use of that allocates, and a refusal there ends the process by abort.
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
