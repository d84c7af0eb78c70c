#include "session/output.hpp"

#include <gtest/gtest.h>

#include "fake_pty.hpp"
#include "output_probe.hpp"
#include "test_support.hpp"

namespace murv::session {

namespace {

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
