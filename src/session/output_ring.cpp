#include "session/output_ring.hpp"

#include <algorithm>

namespace murv::session {

void OutputRing::append(std::span<const std::byte> chunk) {
    with_lock([chunk](boost::circular_buffer<std::byte>& bytes) {
        // As append-then-trim, without growing: room first, then what can stay.
        const std::size_t kept = std::min(chunk.size(), RING_CAPACITY);
        const std::size_t total = bytes.size() + kept;
        if (total > RING_CAPACITY) bytes.erase_begin(total - RING_CAPACITY);
        const auto tail = chunk.last(kept);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
    });
}

}  // namespace murv::session
