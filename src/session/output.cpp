#include "session/output.hpp"

#include <array>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/thread.hpp"

namespace murv::session {

bool OutputSender::send(Chunk chunk) {
    const std::lock_guard lock(state_->mutex);
    if (!state_->receiver_open) return false;  // the chunk is freed on return
    state_->queue.push_back(std::move(chunk));
    return true;
}

OutputReceiver::~OutputReceiver() {
    if (state_ == nullptr) return;  // moved from
    std::deque<Chunk> discarded;    // freed outside the lock
    const std::lock_guard lock(state_->mutex);
    state_->receiver_open = false;
    discarded.swap(state_->queue);
}

std::pair<OutputSender, OutputReceiver> make_output_channel() {
    auto state = std::make_shared<ChannelState>();
    return {OutputSender(state), OutputReceiver(state)};
}

namespace {

void read_output(pty::Reader& reader, OutputRing& ring, OutputSender& output_tx) {
    std::array<std::byte, READ_CHUNK_SIZE> buffer{};  // zero-filled once, reused for each read
    for (;;) {
        // A failed read of any kind, an interrupted one included, ends it.
        const auto read = reader.read(buffer);
        if (!read || *read == 0) return;
        const auto chunk = std::span(buffer).first(*read);
        ring.append(chunk);
        if (!output_tx.send(Chunk(chunk.begin(), chunk.end()))) return;
    }
}

}  // namespace

void start_output_reader(std::unique_ptr<pty::Reader> reader, std::shared_ptr<OutputRing> ring,
                         OutputSender output_tx, std::unique_ptr<pty::Child> child) {
    auto body = [reader = std::move(reader), ring = std::move(ring),
                 output_tx = std::move(output_tx), child = std::move(child)]() mutable {
        read_output(*reader, *ring, output_tx);
        // Before the wait: it holds the terminal open (or the console's close waits on it).
        reader.reset();
        (void)child->wait();  // reaps the child; how it ended does not matter here
        ring.reset();
        { [[maybe_unused]] const auto closing = std::move(output_tx); }
        child.reset();
    };
    if (auto started = os::start_detached_thread(std::move(body), READER_STACK_SIZE); !started) {
        fatal(fmt::format("failed to spawn thread: {}", started.error().describe()));
    }
}

}  // namespace murv::session
