// The output ring of a session: the newest bytes of its output, kept for whoever looks.
#pragma once

#include <cstddef>
#include <exception>
#include <mutex>
#include <span>

#include <boost/circular_buffer.hpp>

#include "base/fatal.hpp"

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
    friend struct OutputRingProbe;  // tests look inside; nothing else reads the ring

    // Runs `f` on the bytes under the lock; marks the lock failed if `f` throws.
    template <class F>
    void with_lock(F&& f) {
        const std::lock_guard lock(mutex_);
        if (holder_failed_) {
            fatal("ring buffer 锁中毒: poisoned lock: another thread failed while holding it");
        }
        struct FailureMark {
            bool& failed;
            int exceptions = std::uncaught_exceptions();
            ~FailureMark() {
                if (std::uncaught_exceptions() > exceptions) failed = true;
            }
        } mark{holder_failed_};
        f(bytes_);
    }

    std::mutex mutex_;
    bool holder_failed_ = false;
    boost::circular_buffer<std::byte> bytes_;
};

}  // namespace murv::session
