#include <gtest/gtest.h>

#include "foundation/json_value.h"
#include "mail/store/tests/store_fixture.h"
#include "web/http/db_table.h"

namespace {

// An account is saved through dbtable-write; an address that no server
// takes as a sender is refused there, under any command that writes it.
TEST_F(StoreTest, AccountAddressNoServerTakesIsRefusedWhenSaved) {
    struct Case {
        const char* body;
        int status;
    } cases[] = {
        {R"({"table":"EMAILACCOUNTS","cmd":"INSERT","key":"a1","data":{"EMAIL":"alice@localhost"}})", 400},
        {R"({"table":"EMAILACCOUNTS","cmd":"INSERT","key":"a2","data":{"EMAIL":"alice"}})", 400},
        {R"({"table":"EMAILACCOUNTS","cmd":"INSERT","key":"a4","data":{"EMAIL":" alice@example.org"}})", 400},
        {R"({"table":"EMAILACCOUNTS","cmd":"INSERT","key":"a3","data":{"EMAIL":"alice@example.org"}})", 200},
        {R"({"table":"EMAILACCOUNTS","cmd":"UPDATE","key":"a3","data":{"EMAIL":"alice@mail"}})", 400},
        {R"({"table":"EMAILACCOUNTS","cmd":"UPSERT","key":"a3","data":{"EMAIL":"bob@mail"}})", 400},
        {R"({"table":"EMAILMAILBOXES","cmd":"INSERT","key":"m1","data":{"EMAILACCOUNTS_ID":"a3","IMAP_NAME":"x"}})", 200},
    };
    for (const Case& c : cases) {
        LJsonValue body;
        ASSERT_EQ(body.Parse(c.body), 0u) << c.body;
        LWebDbTableResult result;
        std::string key;
        _LWebDbTableWrite(body, Db(), result, key);
        EXPECT_EQ(result.status, c.status) << c.body << " " << result.reason;
        if (c.status == 400) {
            EXPECT_EQ(result.reason, "Please enter a valid email address.");
        }
    }
    EXPECT_EQ(QueryText(Db(), "SELECT group_concat(ID || '=' || EMAIL) FROM EMAILACCOUNTS"), "a3=alice@example.org");
}

// The browser interface reads the queue through the table routes: the
// reason of each line, never the message's text, and nothing written back.
TEST_F(StoreTest, QueueStatusIsReadableNotWritable) {
    ASSERT_NE(LWebDbTableFind("EMAIL_SEND_QUEUE_STATUS"), nullptr);
    EXPECT_EQ(LWebDbTableFind("EMAIL_SEND_QUEUE"), nullptr);
    LWebDbTableColumns columns;
    ASSERT_TRUE(columns.Load(Db(), "EMAIL_SEND_QUEUE_STATUS"));
    for (const char* shown : {"ROW_ID", "STATE", "TRIES", "NEXT_TRY_UTC", "LAST_ERROR", "TO_TEXT", "SUBJECT"})
        EXPECT_NE(columns.Find(shown), nullptr) << shown;
    for (const char* hidden : {"MIME", "BODY_TEXT", "BODY_HTML", "SETTINGS_DIGEST"})
        EXPECT_EQ(columns.Find(hidden), nullptr) << hidden;
    Exec(Db(), "INSERT INTO EMAIL_SEND_QUEUE (ROW_ID, ACCOUNT_ID, STATE) VALUES ('r1', 'acc1', 'QUEUED')");
    for (const char* body : {R"({"table":"EMAIL_SEND_QUEUE_STATUS","cmd":"UPDATE","key":"r1","data":{"STATE":"FILED"}})",
                             R"({"table":"EMAIL_SEND_QUEUE_STATUS","cmd":"DELETE","key":"r1"})"}) {
        LJsonValue parsed;
        ASSERT_EQ(parsed.Parse(body), 0u);
        LWebDbTableResult result;
        std::string key;
        _LWebDbTableWrite(parsed, Db(), result, key);
        EXPECT_NE(result.status, 200) << body;
    }
    EXPECT_EQ(QueryText(Db(), "SELECT STATE FROM EMAIL_SEND_QUEUE WHERE ROW_ID='r1'"), "QUEUED");
}

}  // namespace
