#include "session/output.hpp"

#include <gtest/gtest.h>

#include "fake_pty.hpp"
#include "output_probe.hpp"
#include "test_support.hpp"

namespace murv::session {

namespace {

std::string pattern(std::size_t length, char first = 'a') {
    std::string text(length, ' ');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(first + i % 23);
    return text;
}

void append(OutputRing& ring, const std::string& text) {
    for (std::size_t at = 0; at < text.size(); at += READ_CHUNK_SIZE) {
        ring.append(test::bytes_of(std::string_view(text).substr(at, READ_CHUNK_SIZE)));
    }
}

TEST(OutputRing, AllocatesItsCapacityUpFrontAndStartsEmpty) {
    OutputRing ring;
    EXPECT_EQ(OutputRingProbe::capacity(ring), RING_CAPACITY);
    EXPECT_EQ(OutputRingProbe::contents(ring), "");
}

TEST(OutputRing, KeepsTheNewestBytesAfterEachAppend) {
    const std::string full = pattern(RING_CAPACITY);
    {
        OutputRing exact;  // exactly the capacity: nothing is dropped
        append(exact, full);
        EXPECT_EQ(OutputRingProbe::contents(exact), full);
        exact.append(test::bytes_of("!"));  // one more drops the first byte
        EXPECT_EQ(OutputRingProbe::contents(exact), full.substr(1) + "!");
    }
    {
        OutputRing ring;  // full, then a whole chunk: the oldest chunk's worth goes
        append(ring, full);
        const std::string chunk = pattern(READ_CHUNK_SIZE, 'A');
        append(ring, chunk);
        EXPECT_EQ(OutputRingProbe::contents(ring), full.substr(READ_CHUNK_SIZE) + chunk);
    }
    {
        OutputRing ring;  // 65,000 bytes, then 4,096: the oldest 3,560 go
        const std::string start = pattern(65000);
        append(ring, start);
        const std::string chunk = pattern(READ_CHUNK_SIZE, 'A');
        append(ring, chunk);
        EXPECT_EQ(OutputRingProbe::contents(ring), start.substr(3560) + chunk);
    }
}

TEST(OutputRingDeathTest, ALockWhoseHolderFailedIsAFatalStop) {
    OutputRing ring;
    OutputRingProbe::fail_while_holding(ring);
    EXPECT_EXIT(ring.append(test::bytes_of("x")), testing::ExitedWithCode(2),
                "\nthread '<unnamed>' stopped at src/session/output_ring.hpp:[0-9]+:[0-9]+:\n"
                "ring buffer 锁中毒");
}

TEST(OutputChannel, QueuesUntilTheReceiverGoesThenRefuses) {
    auto [sender, receiver] = make_output_channel();
    EXPECT_TRUE(sender.send(test::bytes_of("one")));
    EXPECT_TRUE(sender.send(test::bytes_of("two")));
    EXPECT_EQ(OutputReceiverProbe::queued(receiver), (std::vector<std::string>{"one", "two"}));

    const auto state = OutputReceiverProbe::state(receiver);
    { OutputReceiver gone = std::move(receiver); }
    EXPECT_TRUE(state->queue.empty());  // what was queued is discarded with the receiver
    EXPECT_FALSE(sender.send(test::bytes_of("three")));
    EXPECT_TRUE(state->queue.empty());
}

// The reader thread on a fake terminal, fed by the test.
struct ReaderRun {
    test::FakePtySystem layer;
    std::shared_ptr<OutputRing> ring = std::make_shared<OutputRing>();
    std::optional<OutputReceiver> receiver;

    ReaderRun() {
        auto pair = layer.openpty({});
        auto child = pair->slave->spawn_command(pty::ShellCommand("fake"));
        auto [tx, rx] = make_output_channel();
        receiver.emplace(std::move(rx));
        start_output_reader(std::move(*pair->master->try_clone_reader()), ring, std::move(tx),
                            std::move(*child));
    }
    bool finished() {
        return test::eventually([&] { return layer.log().saw("child released"); });
    }
};

TEST(OutputReader, PutsEachChunkInTheRingThenOnTheChannelInOrder) {
    ReaderRun run;
    for (const char* chunk : {"first ", "second ", "third"})
        run.layer.log().feed(chunk);
    run.layer.log().end_output();
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(OutputRingProbe::contents(*run.ring), "first second third");
    EXPECT_EQ(OutputReceiverProbe::queued(*run.receiver),
              (std::vector<std::string>{"first ", "second ", "third"}));
    // After the output ended: the reader goes, the child is waited for, then released.
    const auto events = run.layer.log().snapshot();
    const auto reader_released = std::find(events.begin(), events.end(), "reader released");
    ASSERT_NE(reader_released, events.end());
    EXPECT_EQ(std::vector(reader_released, events.end()),
              (std::vector<std::string>{"reader released", "child waited for", "child released"}));
}

TEST(OutputReader, AnEndAtTheFirstReadSendsNothing) {
    ReaderRun run;
    run.layer.log().end_output();
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(OutputRingProbe::contents(*run.ring), "");
    EXPECT_TRUE(OutputReceiverProbe::queued(*run.receiver).empty());
    EXPECT_TRUE(run.layer.log().saw("child waited for"));
}

TEST(OutputReader, AReadErrorEndsTheLoopLikeTheEnd) {
    ReaderRun run;
    run.layer.log().feed("before");
    run.layer.log().feed(std::nullopt);
    run.layer.log().feed("after the error");
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(OutputRingProbe::contents(*run.ring), "before");
}

TEST(OutputReader, AClosedChannelEndsTheThreadAtTheNextChunkWhichStillReachesTheRing) {
    ReaderRun run;
    run.layer.log().feed("kept");
    // Sent, not only in the ring: the ring takes a chunk before the channel does.
    ASSERT_TRUE(test::eventually([&] {
        return OutputReceiverProbe::queued(*run.receiver) == std::vector<std::string>{"kept"};
    }));
    run.receiver.reset();
    EXPECT_FALSE(run.layer.log().saw("child waited for"));  // still blocked in its read

    run.layer.log().feed(" and the last");
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(OutputRingProbe::contents(*run.ring), "kept and the last");
    EXPECT_TRUE(run.layer.log().saw("child waited for"));
    EXPECT_EQ(run.ring.use_count(), 1);  // the thread let its reference go
}

}  // namespace
}  // namespace murv::session
