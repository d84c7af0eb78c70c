// The output side of a session: its channel and the thread that reads the terminal.
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
// A new thread's default where the system's stack limit does not decide it (glibc takes 8 MiB).
inline constexpr std::size_t READER_STACK_SIZE = 2 << 20;

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

// The receiving end: dropping it closes the channel and discards what is queued.
class OutputReceiver {
  public:
    explicit OutputReceiver(std::shared_ptr<ChannelState> state) : state_(std::move(state)) {}
    OutputReceiver(OutputReceiver&&) = default;
    ~OutputReceiver();

  private:
    friend struct OutputReceiverProbe;  // nothing in the program receives; its tests look
    std::shared_ptr<ChannelState> state_;
};

std::pair<OutputSender, OutputReceiver> make_output_channel();

// Reads into the ring and the channel until the output ends or a read or send fails.
void start_output_reader(std::unique_ptr<pty::Reader> reader, std::shared_ptr<OutputRing> ring,
                         OutputSender output_tx, std::unique_ptr<pty::Child> child);

}  // namespace murv::session
