// A conversation stored the way the mirror stores mail (raw bytes through
// the store writer) is one thread for get_thread, from any of its members.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "foundation/utf8.h"
#include "mail/store/message_store.h"
#include "mail/workers.h"
#include "mcp/tools/tests/tool_fixture.h"

namespace {

TEST(ThreadOfStoredMail, FoundFromAnyMember) {
    LTestToolStore store;
    ASSERT_EQ(LAutorespondersCreateSchema(store.db), 0);
    // The replies change the subject, so only the thread links join them.
    const std::string raw[] = {
        "From: a@x\r\nSubject: Plan\r\nMessage-ID: <p1@x>\r\nDate: Tue, 15 Nov 2022 08:00:00 +0000\r\n\r\nfirst\r\n",
        "From: b@x\r\nSubject: Re: Plan for Monday\r\nMessage-ID: <p2@x>\r\nIn-Reply-To: <p1@x>\r\nReferences: "
        "<p1@x>\r\nDate: Tue, 15 Nov 2022 09:00:00 +0000\r\n\r\nsecond\r\n",
        "From: a@x\r\nSubject: Monday it is\r\nMessage-ID: <p3@x>\r\nIn-Reply-To: <p2@x>\r\nReferences: <p1@x>\r\n "
        "<p2@x>\r\nDate: Tue, 15 Nov 2022 10:00:00 +0000\r\n\r\nthird\r\n",
    };
    std::set<std::string> ids;
    {
        LEmailStoreBatch batch(store.db);
        ASSERT_TRUE(batch.Began());
        uint32_t uid = 100;
        for (const std::string& m : raw) {
            LString row;
            bool is_new = false;
            ASSERT_EQ(batch.StoreBytes(row, is_new, LFromUtf8(store.account_a).c_str(),
                                       LFromUtf8(store.inbox_a).c_str(), uid++, 1, m),
                      0);
            ids.insert(LToUtf8(row));
        }
        ASSERT_TRUE(batch.Commit());
    }
    for (const std::string& id : ids) {
        LTestToolAnswer a = store.Call("get_thread", "{\"email_id\":\"" + id + "\"}");
        ASSERT_FALSE(a.is_error) << a.text;
        std::set<std::string> found;
        for (const auto& e : a.structured["emails"]) found.insert(e["id"].get<std::string>());
        EXPECT_EQ(found, ids) << "from " << id << ": " << a.text;
    }
}

}  // namespace
