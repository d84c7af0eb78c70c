#include "os/thread.hpp"

#include <future>
#include <limits>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

namespace murv::os {
namespace {

TEST(StartDetachedThread, RunsTheBodyOnAThreadOfItsOwn) {
    std::promise<std::thread::id> ran_on;
    auto id = ran_on.get_future();
    auto body = [ran_on = std::move(ran_on)]() mutable {
        ran_on.set_value(std::this_thread::get_id());
    };
    ASSERT_TRUE(start_detached_thread(std::move(body), 256 << 10));
    ASSERT_EQ(id.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(id.get(), std::this_thread::get_id());
}

TEST(StartDetachedThread, AThreadThatCannotStartIsAnErrorAndItsBodyIsReleasedUnrun) {
    auto held = std::make_shared<int>(0);
    const auto started =
        start_detached_thread([held] { ++*held; }, std::numeric_limits<std::size_t>::max() / 2);
    ASSERT_FALSE(started);
    EXPECT_TRUE(started.error().describe().ends_with(")")) << started.error().describe();
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(*held, 0);
}

}  // namespace
}  // namespace murv::os
