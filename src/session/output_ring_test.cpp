#include "session/output_ring.hpp"

#include <gtest/gtest.h>

#include "base/exit_codes.hpp"
#include "output_probe.hpp"
#include "session/output.hpp"
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
    // Full, then a chunk: the oldest chunk's worth goes; 65,000, then 4,096: the oldest 3,560.
    const std::pair<std::size_t, std::size_t> cases[] = {{RING_CAPACITY, READ_CHUNK_SIZE},
                                                         {65000, 3560}};
    for (const auto& [length, dropped] : cases) {
        OutputRing ring;
        const std::string start = pattern(length), chunk = pattern(READ_CHUNK_SIZE, 'A');
        append(ring, start);
        append(ring, chunk);
        EXPECT_EQ(OutputRingProbe::contents(ring), start.substr(dropped) + chunk) << length;
    }
}

TEST(OutputRingDeathTest, ALockWhoseHolderFailedIsAFatalStop) {
    OutputRing ring;
    OutputRingProbe::fail_while_holding(ring);
    EXPECT_EXIT(ring.append(test::bytes_of("x")), testing::ExitedWithCode(EXIT_FATAL),
                "\nthread '<unnamed>' stopped at src/.+:.+:.+:\n"
                "ring buffer 锁中毒");
}

}  // namespace
}  // namespace murv::session
