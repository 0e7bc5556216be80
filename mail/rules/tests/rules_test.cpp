#include <gtest/gtest.h>

#include <array>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/mail_services.h"
#include "mail/rules/rules.h"
#include "mail/rules/tests/services_fixture.h"
#include "mail/workers.h"

namespace {

TEST(RulesTests, AddressAndTextTests) {
    struct Case {
        bool address;
        std::u16string text, test, detail;
        bool holds;
    };
    std::u16string long_list(600, u'x');
    long_list += u", Boss <BOSS@Example.com>";
    const Case cases[] = {
        {true, u"Ann <ann@example.net>", u"IS", u"ANN@EXAMPLE.NET", true},  // TEST ignored, case too
        {true, u"ann@example.net", u"", u"", true},
        {true, u"ann@example.net", u"", u"bob", false},
        {true, long_list, u"", u"boss@example.com", true},  // the whole header, not its start
        {false, u"Invoice 7", u"IS", u"invoice 7", false},
        {false, u"Invoice 7", u"IS", u"Invoice 7", true},
        {false, u"Invoice 7", u"STARTS", u"Invoice", true},
        {false, u"My Invoice", u"STARTS", u"Invoice", false},
        {false, u"My Invoice", u"WHATEVER", u"Invoice", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.address ? LRulesTestAddress(c.text, c.detail) : LRulesTestText(c.text, c.test, c.detail), c.holds)
            << LToUtf8(c.text.c_str()) << " / " << LToUtf8(c.detail.c_str());
    EXPECT_EQ(LRulesReplySubject(u"rE: x"), u"rE: x");
    EXPECT_EQ(LRulesReplySubject(u"Fwd: x"), u"Re: Fwd: x");
    EXPECT_EQ(LEmailExtractAddress(u"Ann <ann@x.org>, bob@y.org"), u"ann@x.org");
    EXPECT_EQ(LEmailExtractAddress(u"ann@x.org, bob@y.org"), u"ann@x.org");
}

class RulesTest : public ServicesTest {
protected:
    void Rule(const std::string& id, const std::string& function, const std::string& detail,
              const std::vector<std::array<std::string, 3>>& conditions, const std::string& last_seen = "") {
        LStringA q;
        q.Format("INSERT INTO RULES (ID, NAME, FUNCTION, FUNCTION_DETAIL, CREATED, LAST_SEEN) VALUES ('%Q', 'r', '%Q', "
                 "'%Q', '2026-12-01 00:00:00', %s);",
                 id.c_str(), function.c_str(), detail.c_str(), last_seen.empty() ? "NULL" : ("'" + last_seen + "'").c_str());
        Exec(Db(), q.Str());
        for (const auto& c : conditions) {
            q.Format("INSERT INTO RULES_CONDITIONS (RULE_ID, PART, TEST, TEST_DETAIL) VALUES ('%Q', '%Q', '%Q', '%Q');",
                     id.c_str(), c[0].c_str(), c[1].c_str(), c[2].c_str());
            Exec(Db(), q.Str());
        }
    }
    // What the cache would pick for the message, by rule ID ("" for none).
    std::string Match(const std::string& message) {
        EXPECT_EQ(LRulesLoad(Db()), 0);
        LRulesMessage m;
        EXPECT_TRUE(LRulesLoadMessage(Db(), LFromUtf8(message).c_str(), m));
        const LRule* rule = LRulesFindMatch(Db(), *LRulesSnapshot(), m);
        return rule ? LToUtf8(rule->id.c_str()) : "";
    }
    bool Apply(const std::string& message) { return LRulesApply(Db(), LFromUtf8(message).c_str()); }
};

TEST_F(RulesTest, OrderAndConditions) {
    Arrival a;
    a.id = "m1";
    a.subject = "Invoice 7";
    a.body = "pay now";
    Arrive(a);
    Rule("zzz", "TRASH", "", {{"FROM", "", "ANN@"}}, "2026-12-05 00:00:00");
    Rule("aaa", "TRASH", "", {{"SUBJECT", "STARTS", "Invoice"}}, "2026-12-06 00:00:00");
    EXPECT_EQ(Match("m1"), "aaa");  // matched most recently
    Exec(Db(), "UPDATE RULES SET LAST_SEEN=NULL");
    EXPECT_EQ(Match("m1"), "aaa");  // never matched: smaller ID
    Exec(Db(), "DELETE FROM RULES; DELETE FROM RULES_CONDITIONS;");
    Rule("r1", "TRASH", "", {});                                        // no conditions
    Rule("r2", "TRASH", "", {{"HEADER", "", "x"}});                     // unknown part
    Rule("r3", "TRASH", "", {{"BODY", "", "pay"}, {"SUBJECT", "IS", "invoice 7"}});
    EXPECT_EQ(Match("m1"), "");
    Rule("r4", "TRASH", "", {{"BODY", "", "pay"}, {"TOORCC", "", "me@"}});
    EXPECT_EQ(Match("m1"), "r4");
    Exec(Db(), "UPDATE RULES SET EMAILACCOUNT_ID='other' WHERE ID='r4'");
    EXPECT_EQ(Match("m1"), "");
}

TEST_F(RulesTest, ForwardIsMarkedAndNeverActsOnItsOwnCopy) {
    Rule("fwd", "FORWARD", "email=boss%40example.com", {{"SUBJECT", "", "Invoice"}});
    ASSERT_EQ(LRulesLoad(Db()), 0);
    Arrival a;
    a.id = "m1";
    a.subject = "Invoice 7";
    Arrive(a);
    ASSERT_TRUE(Apply("m1"));
    EXPECT_EQ(LastQueued("m.TO_TEXT"), "boss@example.com");
    EXPECT_EQ(LastQueued("m.SUBJECT"), "Fwd: Invoice 7");
    EXPECT_EQ(LastQueued("q.AUTO_SUBMITTED"), "auto-generated");
    EXPECT_FALSE(QueryText(Db(), "SELECT LAST_SEEN FROM RULES WHERE ID='fwd'").empty());
    // The forward's copy in Sent, and the forward coming back into INBOX.
    Arrival copy;
    copy.id = "m2";
    copy.subject = "Fwd: Invoice 7";
    copy.mailbox = "sent";
    Arrive(copy);
    Arrival back = copy;
    back.id = "m3";
    back.mailbox = "inbox";
    back.message_id = LastQueued("m.MESSAGE_ID");
    Arrive(back);
    // A list message matches but is not passed on.
    Arrival list = a;
    list.id = "m4";
    list.list_id = "<list.example.net>";
    Arrive(list);
    for (const char* id : {"m2", "m3", "m4"}) EXPECT_FALSE(Apply(id)) << id;
    EXPECT_EQ(Queued(), 1);
}

TEST_F(RulesTest, ReplyAnswersASenderOnceADay) {
    time_t now = 1800000000;
    static time_t s_now;
    s_now = now;
    LSetNowFuncForTests([] { return s_now; });
    struct Restore {
        ~Restore() { LSetNowFuncForTests(nullptr); }
    } restore;
    Rule("rep", "REPLY", "message=Thanks", {{"FROM", "", "ann@"}});
    ASSERT_EQ(LRulesLoad(Db()), 0);
    struct Step {
        int64_t after;
        Arrival a;
        bool answered;
    };
    auto arrival = [](const char* id, const char* auto_submitted) {
        Arrival a;
        a.id = id;
        a.auto_submitted = auto_submitted;
        return a;
    };
    const Step steps[] = {
        {0, arrival("m1", "auto-replied"), false},  // another responder
        {0, arrival("m2", ""), true},
        {3600, arrival("m3", ""), false},
        {86401, arrival("m4", ""), true},
    };
    for (const Step& s : steps) {
        s_now = now + s.after;
        Arrive(s.a);
        int64_t before = Queued();
        Apply(s.a.id);
        EXPECT_EQ(Queued() - before, s.answered ? 1 : 0) << s.a.id;
    }
    EXPECT_EQ(LastQueued("q.AUTO_SUBMITTED"), "auto-replied");
    EXPECT_EQ(LastQueued("m.IN_REPLY_TO"), "<m4@example.net>");
}

// A rule deleted after the last reload does not run; rules written while
// the program was not running apply from its start on.
TEST_F(RulesTest, DeletedRuleStopsAndStartLoadsTheRules) {
    Rule("fwd", "FORWARD", "to=boss%40example.com", {{"FROM", "", "ann@"}});
    ASSERT_EQ(LRulesCreateSchema(Db()), 0);  // the start step
    Arrival a;
    a.id = "m1";
    Arrive(a);
    EXPECT_TRUE(Apply("m1"));
    Exec(Db(), "UPDATE RULES SET DELETED='2026-12-10 00:00:00'");
    Arrival b;
    b.id = "m2";
    Arrive(b);
    EXPECT_FALSE(Apply("m2"));
    EXPECT_EQ(Queued(), 1);
}

TEST_F(RulesTest, MoveToAMissingMailboxFails) {
    Arrival a;
    a.id = "m1";
    Arrive(a);
    EXPECT_FALSE(LRulesRunAction(u"m1", u"MCP", u"MOVE", u""));
    EXPECT_FALSE(LRulesRunAction(u"m1", u"MCP", u"MOVE", u"No Such Box"));
    EXPECT_FALSE(LRulesRunAction(u"m1", u"MCP", u"EXPLODE", u""));
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='m1'"), "inbox");
}

// The MCP tools act for the user: their reply is queued (and committed),
// unmarked, without the once-a-day rule of the REPLY rules.
TEST_F(RulesTest, ActionsRunForTheUser) {
    Arrival a;
    a.id = "m1";
    a.auto_submitted = "auto-generated";
    Arrive(a);
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(LRulesRunAction(u"m1", u"MCP", u"REPLY", u"message=Thanks"));
    ASSERT_TRUE(LRulesRunAction(u"m1", u"MCP", u"REDIRECT", u"to=boss%40example.com"));
    EXPECT_FALSE(LRulesRunAction(u"m1", u"MCP", u"FORWARD", u"to=not%20an%20address"));
    EXPECT_EQ(Queued(), 3);
    EXPECT_EQ(LastQueued("m.REPLY_TO_TEXT"), "ann@example.net");
    EXPECT_EQ(LastQueued("q.AUTO_SUBMITTED"), "");
}

// Once the mail is queued it goes out: a move afterwards that fails (here
// into a mailbox that does not exist) must not make the caller believe the
// send failed. The note travels as stored UTF-8 escapes.
TEST_F(RulesTest, SendingActionsReportTheQueuedMailWhateverTheMove) {
    Arrival a;
    a.id = "m1";
    Arrive(a);
    struct Case {
        const char16_t *function, *detail;
        const char* to;
    };
    const Case cases[] = {
        {u"FORWARD", u"to=boss%40example.com&box=No%20Such%20Box&message=F%C3%BCr+J%C3%BCrgen", "boss@example.com"},
        {u"REDIRECT", u"to=boss%40example.com&box=No%20Such%20Box", "boss@example.com"},
        {u"REPLY", u"message=Gr%C3%BC%C3%9Fe&box=No%20Such%20Box", "ann@example.net"},
    };
    for (const Case& c : cases) {
        const std::string function = LToUtf8(c.function);
        int64_t before = Queued();
        EXPECT_TRUE(LRulesRunAction(u"m1", u"MCP", c.function, c.detail)) << function;
        EXPECT_EQ(Queued() - before, 1) << function;
        EXPECT_EQ(LastQueued("m.TO_TEXT"), c.to) << function;
    }
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='m1'"), "inbox");
    const std::string forward = QueryText(Db(), "SELECT m.BODY_HTML FROM EMAIL_SEND_QUEUE q JOIN EMAIL_MESSAGES m ON "
                                                "m.ID=q.ROW_ID ORDER BY q.rowid LIMIT 1");
    EXPECT_NE(forward.find("F\xc3\xbcr J\xc3\xbcrgen"), std::string::npos) << forward;
    EXPECT_NE(LastQueued("m.BODY_HTML").find("Gr\xc3\xbc\xc3\x9f" "e"), std::string::npos);
}

}  // namespace
