// The desktop's answers to the service's requests, as the reply sender
// receives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/desktop_requests.h"
#include "tests/support/test_root.h"

namespace {

struct Reply {
    uint32_t id;
    bool ok;
    std::string message, detail;
};

std::vector<Reply> g_replies;

void Capture(uint32_t id, bool ok, const std::string& message, const std::string& detail) {
    g_replies.push_back({id, ok, message, detail});
}

TEST(DesktopRequests, EachKnownCodeRepliesOnceWithItsId) {
    LTestRoot root;
    LDesktopRequestSetReplySender(Capture);
    g_replies.clear();
    // Code 6 and unknown codes are ordinary service events: no reply.
    EXPECT_FALSE(LDesktopRequestHandle(6, 1));
    EXPECT_FALSE(LDesktopRequestHandle(0x1000013, 2));
    EXPECT_TRUE(g_replies.empty());

    ASSERT_TRUE(LDesktopRequestHandle(5, 3));
    ASSERT_TRUE(LDesktopRequestHandle(3, 4));
    ASSERT_TRUE(LDesktopRequestHandle(1, 5));
    ASSERT_TRUE(LDesktopRequestHandle(8, 6));
    ASSERT_EQ(g_replies.size(), 4u);
    EXPECT_EQ(g_replies[0].id, 3u);
    EXPECT_FALSE(g_replies[0].ok);
    EXPECT_EQ(g_replies[0].message, "No supported cloud folder was found.");
    EXPECT_EQ(g_replies[1].id, 4u);
    EXPECT_TRUE(g_replies[1].ok);
    EXPECT_EQ(g_replies[1].detail, "{\"configPath\":\"" + root.Path() +
                                       "/home/.config/Claude/claude_desktop_config.json\",\"configExists\":false,"
                                       "\"configValid\":true,\"installed\":false,\"installMatches\":false}");
    EXPECT_TRUE(g_replies[2].ok) << g_replies[2].message;
    EXPECT_EQ(g_replies[2].message, "");
    EXPECT_TRUE(g_replies[3].ok);
    EXPECT_NE(g_replies[3].detail.find("\"installed\":false"), std::string::npos);
    LDesktopRequestSetReplySender(nullptr);
}

}  // namespace
