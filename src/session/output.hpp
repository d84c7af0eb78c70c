// The output side of a session: a ring of the newest output bytes, a channel that carries
// every chunk, and the detached thread that reads the terminal into both.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "os/mutex.hpp"
#include "pty/pty.hpp"
#include "session/output_ring.hpp"

namespace murv::session {

inline constexpr std::size_t READ_CHUNK_SIZE = 4096;
// The address space reserved for a reader thread's stack: what a new thread gets by default
// where the system does not decide it from its own stack limit (glibc takes 8 MiB there).
inline constexpr std::size_t READER_STACK_SIZE = 2 << 20;

// The bytes of one read.
using Chunk = std::vector<std::byte>;

struct ChannelState {
    os::Mutex mutex;
    bool receiver_open = true;
    std::deque<Chunk> queue;
};

// The sending end of an unbounded channel of chunks.
class OutputSender {
  public:
    explicit OutputSender(std::shared_ptr<ChannelState> state) : state_(std::move(state)) {}

    // Queues `chunk`; false, and the chunk dropped, when the receiving end is gone.
    bool send(Chunk chunk);

  private:
    std::shared_ptr<ChannelState> state_;
};

// The receiving end. Nothing here receives: dropping it closes the channel and discards what
// is queued.
class OutputReceiver {
  public:
    explicit OutputReceiver(std::shared_ptr<ChannelState> state) : state_(std::move(state)) {}
    OutputReceiver(OutputReceiver&&) = default;
    OutputReceiver& operator=(OutputReceiver&& other) noexcept;
    ~OutputReceiver();

  private:
    friend struct OutputReceiverProbe;  // nothing in the program receives; its tests look
    void close();
    std::shared_ptr<ChannelState> state_;
};

std::pair<OutputSender, OutputReceiver> make_output_channel();

// Starts the detached thread that reads the terminal until its output ends, a read fails or
// a chunk can no longer be sent, then waits for the child to exit. Each chunk goes into the
// ring, then onto the channel. A thread that cannot be started is a fatal stop.
void start_output_reader(std::unique_ptr<pty::Reader> reader, std::shared_ptr<OutputRing> ring,
                         OutputSender output_tx, std::unique_ptr<pty::Child> child);

}  // namespace murv::session
