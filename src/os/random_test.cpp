#include "os/random.hpp"

#include <vector>

#include <gtest/gtest.h>

namespace murv::os {
namespace {

// More than one call of the system's gives (32 MiB on Linux): the end is filled too, and anew.
TEST(RandomBytes, FillsTheWholeBufferAfreshEachTime) {
    std::vector<std::byte> bytes((32 << 20) + 16);
    ASSERT_TRUE(random_bytes(bytes));
    const std::vector<std::byte> end(bytes.end() - 16, bytes.end());
    EXPECT_NE(end, std::vector<std::byte>(16));
    ASSERT_TRUE(random_bytes(std::span(bytes).last(16)));
    EXPECT_NE(std::vector<std::byte>(bytes.end() - 16, bytes.end()), end);
}

}  // namespace
}  // namespace murv::os
