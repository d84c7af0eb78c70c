// Test access to what the session layer keeps: nothing in the layer itself reads it back.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "session/output.hpp"
#include "test_support.hpp"

namespace murv::session {

struct OutputRingProbe {
    static std::string contents(OutputRing& ring) {
        const std::lock_guard lock(ring.mutex_);
        std::string text;
        for (const std::byte b : ring.bytes_)
            text += static_cast<char>(b);
        return text;
    }
    static std::size_t capacity(OutputRing& ring) { return ring.bytes_.capacity(); }
    static void fail_while_holding(OutputRing& ring) {
        try {
            ring.with_lock([](auto&) { throw std::runtime_error("holder failed"); });
        } catch (const std::runtime_error&) {
        }
    }
};

struct OutputReceiverProbe {
    static std::vector<std::string> queued(OutputReceiver& receiver) {
        const std::lock_guard lock(receiver.state_->mutex);
        std::vector<std::string> chunks;
        for (const auto& chunk : receiver.state_->queue)
            chunks.push_back(test::text_of(chunk));
        return chunks;
    }
    static std::shared_ptr<ChannelState> state(OutputReceiver& receiver) { return receiver.state_; }
};

}  // namespace murv::session
