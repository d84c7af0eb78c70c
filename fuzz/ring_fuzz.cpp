// The output ring against the plainest model of it: append everything, keep the last 65,536.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

#include "session/output_ring.hpp"

// The ring's one stop, a lock whose holder failed, as a crash: libFuzzer keeps the input.
[[noreturn]] void murv::fatal(std::string_view, std::source_location) {
    std::abort();
}

namespace murv::session {

struct OutputRingProbe {
    static bool holds(OutputRing& ring, const std::deque<std::byte>& model) {
        const std::lock_guard lock(ring.mutex_);
        return ring.bytes_.capacity() == RING_CAPACITY && ring.bytes_.size() == model.size() &&
               std::equal(ring.bytes_.begin(), ring.bytes_.end(), model.begin());
    }
};

}  // namespace murv::session

// The input is a list of chunks, each three bytes: a length of 1 to 70,000 (most of them up to
// the 4,096 of one read, some longer than the whole ring) and a seed for its bytes, which
// continue a running count so that a byte out of place shows.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using murv::session::RING_CAPACITY;
    murv::session::OutputRing ring;
    std::deque<std::byte> model;
    std::uint32_t count = 0;
    for (std::size_t at = 0; at + 3 <= size; at += 3) {
        const std::uint32_t word = data[at] | data[at + 1] << 8 | (data[at + 2] & 0x7f) << 16;
        const std::size_t length = 1 + (data[at + 2] & 0x80 ? word % 70000 : word % 4096);
        std::vector<std::byte> chunk(length);
        for (auto& b : chunk)
            b = static_cast<std::byte>((count++ * 31 + data[at]) % 251);

        ring.append(chunk);
        model.insert(model.end(), chunk.begin(), chunk.end());
        while (model.size() > RING_CAPACITY)
            model.pop_front();
        if (!murv::session::OutputRingProbe::holds(ring, model)) std::abort();
    }
    return 0;
}
