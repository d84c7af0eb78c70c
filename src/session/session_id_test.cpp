#include "session/session_id.hpp"

#include <regex>
#include <set>
#include <unordered_set>

#include <gtest/gtest.h>

namespace murv::session {
namespace {

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
