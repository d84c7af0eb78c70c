#include "session/session_id.hpp"

#include <regex>
#include <set>
#include <unordered_set>

#include <gtest/gtest.h>

namespace murv::session {
namespace {

// The high nibble of byte 6 becomes 4 and the top two bits of byte 8 become 10; the rest stays.
TEST(SessionId, Version4SetsTheVersionAndVariantAndKeepsTheOtherBits) {
    boost::uuids::uuid counting, ones;
    for (std::uint8_t i = 0; i < 16; ++i) {
        counting.data[i] = i;
        ones.data[i] = 0xff;
    }
    EXPECT_EQ(SessionId::version_4(counting).to_string(), "00010203-0405-4607-8809-0a0b0c0d0e0f");
    EXPECT_EQ(SessionId::version_4(ones).to_string(), "ffffffff-ffff-4fff-bfff-ffffffffffff");
}

TEST(SessionId, IsADistinctVersion4UuidEachTimeInLowerCaseText) {
    std::set<std::string> texts;
    std::unordered_set<SessionId> ids;
    for (int i = 0; i < 5; ++i) {
        const SessionId id = SessionId::generate();
        texts.insert(id.to_string());
        ids.insert(id);
    }
    EXPECT_EQ(texts.size(), 5u);
    EXPECT_EQ(ids.size(), 5u);
    const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    for (const auto& text : texts)
        EXPECT_TRUE(std::regex_match(text, form)) << text;
}

}  // namespace
}  // namespace murv::session
