// The writing tools over a store filled directly: rules stored and listed
// with their conditions, the permission and quota checks of drafts, sending
// and mail actions. The fixture's accounts have no server settings, so the
// queue and the action executor refuse them: a failed action gives its
// quota slot back.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/utf8.h"
#include "mail/workers.h"
#include "mcp/tools/tests/tool_fixture.h"

namespace {

using json = nlohmann::json;

class WritingTools : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LRulesCreateSchema(store.db), 0);
        message = store.AddMessage(store.account_a, store.inbox_a, "Hello", "body", "", 1700000000);
    }
    void Setting(const char* item, const char* value) {
        store.db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', '%Q', '%Q', '');",
                       LFromUtf8(item).c_str(), LFromUtf8(value).c_str());
    }
    int64_t Count(const char16_t* sql) {
        LAppDatabaseCursor c;
        c.Query(store.db, sql);
        return c.HasRow() ? c.GetColumnInt64(0) : -1;
    }
    // The stored count of the day's slots; -1 before any slot was taken.
    int UsedToday() {
        LAppDatabaseCursor c;
        c.Query(store.db, u"SELECT VALUE FROM main.APPSETTINGS WHERE SECTION='MCP' AND ITEM='SendQuotaCount';");
        return c.HasRow() ? c.GetColumnInt(0) : -1;
    }
    void Expect(const std::string& tool, const std::string& args, const std::string& text) {
        LTestToolAnswer a = store.Call(tool, args);
        EXPECT_TRUE(a.is_error) << tool << " " << args;
        EXPECT_EQ(a.text, text) << tool << " " << args;
    }
    LTestToolStore store;
    std::string message;
};

TEST_F(WritingTools, AddRuleChecksInOrder) {
    const std::string ok = "\"conditions\":[{\"part\":\"subject\",\"test\":\"is\",\"value\":\"x\"}]";
    Expect("add_rule", "{\"account_id\":\"acctgone00\"}", "add_rule account_id was not found.");
    Expect("add_rule", "{\"action\":\"archive\"}", "add_rule action must be TRASH, MOVE, FORWARD, REDIRECT, or REPLY.");
    Expect("add_rule", "{\"action\":\"trash\"}",
           "add_rule is disabled. Enable MCP move actions on the MCP page first.");
    Expect("add_rule", "{\"action\":\"forward\"}",
           "add_rule is disabled. Enable MCP send actions on the MCP page first.");
    Setting("SendEnabled", "1");
    Expect("add_rule", "{\"action\":\"reply\",\"mailbox_name\":\"Archive\"}",
           "add_rule is disabled. Enable MCP move actions on the MCP page first.");
    Setting("MoveEnabled", "1");
    Expect("add_rule", "{\"action\":\"move\",\"account_id\":\"acctaaaaaa\",\"mailbox_name\":\"Nope\"}",
           "add_rule mailbox_id/mailbox_name was not found for account_id.");
    // The address is checked before the action's own arguments.
    Expect("add_rule", "{\"action\":\"FORWARD\",\"to\":\"a@b.example\\r\\nBcc: x@y.example\"}",
           "add_rule to must be a valid email address for FORWARD and REDIRECT.");
    Expect("add_rule", "{\"action\":\"trash\",\"name\":\"" + std::string(256, 'n') + "\"}",
           "add_rule name must be 255 characters or fewer.");
    Expect("add_rule", "{\"action\":\"trash\",\"conditions\":[]}", "add_rule requires a non-empty conditions array.");
    Expect("add_rule", "{\"action\":\"reply\"," + ok + "}", "add_rule action-specific arguments were invalid.");
    Expect("add_rule", "{\"action\":\"move\",\"mailbox_id\":\"" + std::string(256, 'm') + "\"," + ok + "}",
           "add_rule action detail was too long to store.");
    struct {
        const char* conditions;
        const char* text;
    } cases[] = {
        {"[1]", "add_rule conditions must contain only objects."},
        {"[{\"part\":\"FROM\",\"test\":\"CONTAINS\"}]", "add_rule each condition requires string part, test, and value fields."},
        {"[{\"part\":\"FROM\",\"test\":\"CONTAINS\",\"value\":\" \\n\"}]", "add_rule condition values must be non-empty strings."},
        {"[{\"part\":\"BCC\",\"test\":\"CONTAINS\",\"value\":\"x\"}]",
         "add_rule condition part must be FROM, TO, CC, TOORCC, SUBJECT, or BODY."},
        {"[{\"part\":\"FROM\",\"test\":\"ENDS\",\"value\":\"x\"}]", "add_rule condition test must be IS, STARTS, or CONTAINS."},
        {"[{\"part\":\"FROM\",\"test\":\"IS\",\"value\":\"x\"}]", "add_rule address conditions must use test CONTAINS."},
        {"[{\"part\":\"BODY\",\"test\":\"CONTAINS\",\"value\":\"x\"}]", "add_rule requires at least one non-BODY condition."},
    };
    for (const auto& c : cases)
        Expect("add_rule", std::string("{\"action\":\"trash\",\"conditions\":") + c.conditions + "}", c.text);
    std::string long_value = "[{\"part\":\"TO\",\"test\":\"CONTAINS\",\"value\":\"" + std::string(256, 'v') + "\"}]";
    Expect("add_rule", "{\"action\":\"trash\",\"conditions\":" + long_value + "}",
           "add_rule condition values must be 255 characters or fewer.");
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM main.RULES;"), 0);
}

TEST_F(WritingTools, RulesStoredListedAndDeleted) {
    Setting("SendEnabled", "1");
    Setting("MoveEnabled", "1");
    LTestToolStore& s = store;
    EXPECT_EQ(s.Call("list_rules").summary, "Found 0 stored rule(s).");
    LTestToolAnswer move = s.Call("add_rule", "{\"account_id\":\"acctaaaaaa\",\"action\":\" move \",\"mailbox_name\":"
                                              "\"Archive\",\"conditions\":[{\"part\":\"subject\",\"test\":\"starts\","
                                              "\"value\":\" Invoice \"},{\"part\":\"body\",\"test\":\"contains\",\"value\":\"paid\"}]}");
    ASSERT_FALSE(move.is_error) << move.text;
    std::string move_id = move.structured["rule"]["rule_id"];
    EXPECT_EQ(move.summary, "Added move rule " + move_id + ".");
    EXPECT_EQ(move_id.size(), 10u);
    EXPECT_EQ(move_id.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"), std::string::npos);
    EXPECT_EQ(move.structured["rule"], json::parse(R"({"rule_id":")" + move_id + R"(","account_id":"acctaaaaaa",
        "name":"MCP MOVE rule","action":"MOVE","mailbox_id":"mboxarchva","mailbox_name":"Archive",
        "conditions":[{"part":"SUBJECT","test":"STARTS","value":"Invoice"},{"part":"BODY","test":"CONTAINS","value":"paid"}]})"));
    // A note beyond ASCII and a mailbox no account has come back as given.
    LTestToolAnswer fwd = s.Call("add_rule", "{\"action\":\"forward\",\"name\":\" Boss \",\"to\":\"a@b.example, c@d.example\","
                                             "\"message\":\"Für dich & mich\",\"mailbox_id\":\"Elsewhere\",\"conditions\":"
                                             "[{\"part\":\"from\",\"test\":\"contains\",\"value\":\"boss\"}]}");
    ASSERT_FALSE(fwd.is_error) << fwd.text;
    std::string fwd_id = fwd.structured["rule"]["rule_id"];
    LAppDatabaseCursor c;
    c.QueryF(store.db, u"SELECT FUNCTION_DETAIL, EMAILACCOUNT_ID, NAME, LAST_SEEN FROM main.RULES WHERE ID='%Q';",
             LFromUtf8(fwd_id).c_str());
    LString detail;
    c.GetColumnString(0, detail);
    EXPECT_EQ(LToUtf8(detail.c_str()), "box=Elsewhere&message=F%C3%BCr%20dich%20%26%20mich&to=a%40b.example%2C%20c%40d.example");
    LTestToolAnswer list = s.Call("list_rules", "{\"limit\":0}");
    EXPECT_EQ(list.summary, "Found 1 stored rule(s).");
    list = s.Call("list_rules");
    ASSERT_EQ(list.structured["rules"].size(), 2u);
    json listed = list.structured["rules"][move_id < fwd_id ? 1 : 0];
    EXPECT_EQ(listed["name"], "Boss");
    EXPECT_EQ(listed["to"], "a@b.example, c@d.example");
    EXPECT_EQ(listed["message"], "Für dich & mich");
    EXPECT_EQ(listed["mailbox_id"], "Elsewhere");
    EXPECT_EQ(listed["conditions"][0]["part"], "FROM");
    EXPECT_FALSE(listed["created_utc"].get<std::string>().empty());
    EXPECT_EQ(listed["last_seen_utc"], "");
    // Conditions are listed with BODY last.
    json by_id = s.Call("list_rules", "{\"rule_id\":\"" + move_id + "\"}").structured;
    EXPECT_EQ(by_id["rules"][0]["conditions"][1]["part"], "BODY");
    EXPECT_EQ(by_id["rule_id"], move_id);

    LTestToolAnswer del = s.Call("delete_rule", "{\"rule_id\":\" " + move_id + " \"}");
    EXPECT_EQ(del.summary, "Deleted stored rule " + move_id + ".");
    EXPECT_EQ(del.structured["rule"], json::parse("{\"rule_id\":\"" + move_id + "\",\"deleted\":true}"));
    Expect("delete_rule", "{\"rule_id\":\"" + move_id + "\"}", "delete_rule rule_id was not found.");
    Expect("delete_rule", "{}", "delete_rule requires rule_id.");
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM main.RULES_CONDITIONS WHERE DELETED IS NULL;"), 1);
    EXPECT_EQ(s.Call("list_rules", "{\"account_id\":\"acctaaaaaa\"}").summary, "Found 0 stored rule(s).");
}

// Sixteen writers at once: sixteen distinct IDs, each rule whole; an
// injected failure of a condition insert leaves nothing and no transaction.
TEST_F(WritingTools, AddRuleIsAtomic) {
    Setting("MoveEnabled", "1");
    const std::string args = "{\"action\":\"trash\",\"conditions\":[{\"part\":\"subject\",\"test\":\"is\",\"value\":"
                             "\"a\"},{\"part\":\"to\",\"test\":\"contains\",\"value\":\"b\"}]}";
    std::vector<std::string> ids(16);
    std::vector<std::thread> threads;
    for (int i = 0; i < 16; ++i) {
        threads.emplace_back([&, i] {
            LAppDatabaseAccount own(false);
            LTestToolAnswer a = store.Call("add_rule", args, &own);
            if (!a.is_error) ids[i] = a.structured["rule"]["rule_id"];
            EXPECT_FALSE(a.is_error) << a.text;
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 16u);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM main.RULES;"), 16);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM main.RULES r WHERE (SELECT COUNT(*) FROM main.RULES_CONDITIONS c WHERE "
                    u"c.RULE_ID=r.ID)<>2;"),
              0);

    ASSERT_TRUE(store.db.Exec(u"CREATE TRIGGER main.REFUSE_CONDITION BEFORE INSERT ON RULES_CONDITIONS WHEN "
                              u"NEW.TEST_DETAIL='refused' BEGIN SELECT RAISE(ABORT, 'refused'); END;"));
    Expect("add_rule",
           "{\"action\":\"trash\",\"conditions\":[{\"part\":\"subject\",\"test\":\"is\",\"value\":\"fine\"},{\"part\":"
           "\"to\",\"test\":\"contains\",\"value\":\"refused\"}]}",
           "add_rule could not save all rule conditions.");
    EXPECT_EQ(sqlite3_get_autocommit(store.db.handle), 1);  // no transaction left open
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM main.RULES;"), 16);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM main.RULES_CONDITIONS;"), 32);
}

TEST_F(WritingTools, DraftAndSendChecks) {
    Expect("draft_mail", "{}", "draft_mail requires account_id or account_email.");
    Expect("draft_mail", "{\"account_id\":\"acctaaaaaa\"}",
           "draft_mail is disabled. Enable MCP draft actions on the MCP page first.");
    Expect("send_mail", "{}", "send_mail requires account_id or account_email.");
    Expect("send_mail", "{\"account_id\":\"acctaaaaaa\",\"to\":\" \\r\\n\"}", "send_mail requires to.");
    for (const char* to : {"a@b.example\\r\\nBcc: x@y.example", "not-an-address", "a@b.example c@d.example"})
        Expect("send_mail", std::string("{\"account_id\":\"acctaaaaaa\",\"to\":\"") + to + "\"}",
               "send_mail to must be a valid email address.");
    Expect("send_mail", "{\"account_id\":\"acctaaaaaa\",\"to\":\"a@b.example\",\"reply_to\":\"nope\"}",
           "send_mail reply_to must be a valid email address.");
    Expect("send_mail", "{\"account_id\":\"acctaaaaaa\",\"to\":\"a@b.example, c@d.example\"}",
           "send_mail is disabled. Enable MCP send actions on the MCP page first.");
}

TEST_F(WritingTools, ActionChecksAndSlotsGoBack) {
    const std::string id = "\"email_id\":\"" + message + "\"";
    Expect("move_mail_trash", "{}", "move_mail_trash requires email_id.");
    Expect("move_mail_mailbox", "{" + id + "}", "move_mail_mailbox arguments were invalid.");
    Expect("reply_mail", "{" + id + ",\"to\":\"a@b.example\"}", "reply_mail arguments were invalid.");
    Expect("forward_mail", "{" + id + ",\"to\":\"a@b.example\"}",
           "forward_mail is disabled. Enable MCP send actions on the MCP page first.");
    Expect("move_mail_trash", "{" + id + "}",
           "move_mail_trash is disabled. Enable MCP move actions on the MCP page first.");
    Setting("SendEnabled", "1");
    Setting("MoveEnabled", "1");
    Setting("SendDailyLimit", "5");
    // Refused recipients and mailboxes take no slot.
    for (const char* to : {"a@b.example\\r\\nBcc: x@y.example", "not-an-address", ""})
        Expect("forward_mail", "{" + id + ",\"to\":\"" + to + "\"}",
               to[0] ? "forward_mail to must be a valid email address." : "forward_mail arguments were invalid.");
    Expect("redirect_mail", "{" + id + ",\"to\":\"  \"}", "redirect_mail to must be a valid email address.");
    Expect("forward_mail", "{" + id + ",\"to\":\"a@b.example\",\"mailbox_id\":\"mboxinboxb\"}",
           "forward_mail mailbox_id/mailbox_name was not found.");
    Expect("reply_mail", "{\"email_id\":\"nosuchmail\",\"message\":\"hi\",\"mailbox_name\":\"INBOX\"}",
           "reply_mail mailbox_id/mailbox_name was not found.");
    EXPECT_EQ(UsedToday(), -1);
    // An action the executor cannot complete gives its slot back.
    Expect("forward_mail", "{" + id + ",\"to\":\"a@b.example\",\"mailbox_name\":\"archive\"}",
           "The requested mail action did not complete successfully.");
    Expect("move_mail_trash", "{" + id + "}", "The requested mail action did not complete successfully.");
    Expect("send_mail", "{\"account_id\":\"acctaaaaaa\",\"to\":\"a@b.example\"}",
           "The requested email could not be queued for delivery.");
    EXPECT_EQ(UsedToday(), 0);
}

}  // namespace
