#include "os/resident_memory.hpp"

#include <cstring>
#include <memory>

#include <gtest/gtest.h>

namespace murv::os {
namespace {

// A block of known size counts once its pages are touched, not while it is only mapped: the
// figure is what is resident, not what is reserved.
TEST(OwnResidentBytes, CountsABlockOnceItsPagesAreTouched) {
    constexpr std::size_t size = 64u << 20;
    const auto before = own_resident_bytes();
    ASSERT_TRUE(before) << before.error().describe();
    const std::unique_ptr<char[]> block(new char[size]);  // mapped, left untouched
    const auto mapped = own_resident_bytes();
    ASSERT_TRUE(mapped);
    EXPECT_LT(*mapped, *before + (16u << 20)) << *before << " then " << *mapped;
    std::memset(block.get(), 1, size);
    const auto touched = own_resident_bytes();
    ASSERT_TRUE(touched);
    EXPECT_GE(*touched, *mapped + (60u << 20)) << *mapped << " then " << *touched;
    EXPECT_EQ(static_cast<volatile char*>(block.get())[size / 2], 1);
}

}  // namespace
}  // namespace murv::os
