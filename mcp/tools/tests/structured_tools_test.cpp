// The read-only tools over a store filled directly: structured and address
// search, the listings with their keyset cursor, threads, recent threads
// and statistics.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "foundation/utf8.h"
#include "mcp/tools/tests/tool_fixture.h"

namespace {

using json = nlohmann::json;

std::string Ids(const json& rows) {
    std::string ids;
    for (const json& e : rows) ids += e["id"].get<std::string>() + " ";
    return ids;
}

// Sets columns of one message row (assignments are the test's constants).
void Set(LTestToolStore& s, const std::string& id, const char* assignments) {
    ASSERT_TRUE(s.db.ExecF(u"UPDATE main.EMAIL_MESSAGES SET %s WHERE ID='%Q';", LFromUtf8(assignments).c_str(),
                           LFromUtf8(id).c_str()));
}

struct ErrorCase {
    const char* tool;
    std::string args;
    const char* text;
};

void ExpectErrors(LTestToolStore& store, std::initializer_list<ErrorCase> cases) {
    for (const ErrorCase& c : cases) {
        LTestToolAnswer a = store.Call(c.tool, c.args);
        EXPECT_TRUE(a.is_error) << c.tool << " " << c.args;
        EXPECT_EQ(a.text, c.text) << c.tool << " " << c.args;
    }
}

class StructuredSearch : public ::testing::Test {
protected:
    void SetUp() override {
        report = store.AddMessage(store.account_a, store.inbox_a, "Quarterly report", "see the numbers", "", 1700000100);
        Set(store, report, "FROM_TEXT='Carol <carol@example.org>', FLAGS='\\Seen \\Flagged', HAS_ATTACHMENTS=1");
        store.AddAttachment(report, "report-q3.pdf", nullptr);
        html = store.AddMessage(store.account_a, store.archive_a, "Rich", "", "<p>zebra crossing</p>", 1700000200);
        Set(store, html, "FLAGS='\\Seen'");
        later = store.AddMessage(store.account_a, store.inbox_a, "Later", "zebra!", "", 1700000300);
        Set(store, later, "FROM_TEXT='carol@example.org', CC_TEXT='dave@example.org', FLAGS='\\Flagged'");
        bob = store.AddMessage(store.account_b, store.inbox_b, "For Bob", "hello", "", 1700000400);
    }
    LTestToolStore store;
    std::string report, html, later, bob;
};

TEST_F(StructuredSearch, AdvancedArgumentErrors) {
    ExpectErrors(store, {
        {"advanced_search_mail", "{\"account_id\":\"acctaaaaaa\"}",
         "advanced_search_mail requires at least one structured filter."},
        {"advanced_search_mail", "{\"mailboxes\":\" \",\"flags\":[],\"from\":\"  \"}",
         "advanced_search_mail requires at least one structured filter."},
        {"advanced_search_mail", "{\"mailboxes\":[\"INBOX\",\" \"]}",
         "advanced_search_mail mailboxes must contain non-empty strings."},
        {"advanced_search_mail", "{\"mailboxes\":[\"INBOX\",3]}",
         "advanced_search_mail mailboxes must contain only strings."},
        {"advanced_search_mail", "{\"flags\":[null]}", "advanced_search_mail flags must contain only strings."},
        {"advanced_search_mail", "{\"from\":\"x\",\"sort\":\"newest\"}",
         "advanced_search_mail sort must be received_utc_desc, received_utc_asc, sent_utc_desc, sent_utc_asc, "
         "subject_asc, or subject_desc."},
        {"advanced_search_mail", "{\"after_utc\":10,\"before_utc\":9}",
         "advanced_search_mail after_utc must be less than or equal to before_utc."},
    });
}

TEST_F(StructuredSearch, AdvancedFilters) {
    struct {
        std::string args;
        std::string ids;
    } cases[] = {
        {"{\"from\":\"CAROL\"}", later + " " + report + " "},
        {"{\"from\":\"carol\",\"after_utc\":1700000150,\"before_utc\":1700000300}", later + " "},
        {"{\"from\":\"carol\",\"sort\":\"received_utc_asc\",\"limit\":1,\"offset\":1}", later + " "},
        {"{\"flags\":[\"\\\\Seen\",\"\\\\flagged\"]}", report + " "},  // every flag must be present
        {"{\"flags\":\"\\\\Flagged\",\"account_id\":\"acctaaaaaa\"}", later + " " + report + " "},
        {"{\"mailboxes\":[\"archive\",\"" + std::string("mboxinboxb") + "\"]}", bob + " " + html + " "},
        {"{\"filename\":\"q3.PDF\"}", report + " "},
        {"{\"has_attachments\":false,\"cc\":\"dave\"}", later + " "},
        {"{\"has_attachments\":true}", report + " "},
        {"{\"subject\":\"%\"}", ""},  // LIKE wildcards are literal
    };
    for (const auto& c : cases) {
        LTestToolAnswer a = store.Call("advanced_search_mail", c.args);
        ASSERT_FALSE(a.is_error) << c.args << a.text;
        EXPECT_EQ(Ids(a.structured["emails"]), c.ids) << c.args;
    }
    LTestToolAnswer a = store.Call("advanced_search_mail", "{\"mailboxes\":\" Archive \",\"flags\":\"\\\\Seen\"}");
    EXPECT_EQ(a.summary, "Found 1 email(s) matching advanced mail filters.");
    const json& row = a.structured["emails"][0];
    EXPECT_EQ(row["mailbox_name"], "Archive");
    EXPECT_EQ(row["preview"], "");  // previews come from the text body only
    EXPECT_EQ(row["has_attachments"], false);
    EXPECT_EQ(row["received_utc"], "1700000200");
    EXPECT_EQ(a.structured["mailboxes"], json::parse("[\"Archive\"]"));
    EXPECT_EQ(a.structured["flags"], json::parse("[\"\\\\Seen\"]"));
    EXPECT_EQ(a.structured["limit"], 25);
    EXPECT_EQ(a.structured["sort"], "received_utc_desc");
}

TEST_F(StructuredSearch, AdvancedBodyModes) {
    struct {
        const char* body;
        std::string ids;
        const char* mode;
    } cases[] = {
        {"numbers", report + " ", "fts"},
        {"zebra", later + " ", "fts"},
        {"crossing", html + " ", "like"},  // the index has no HTML body: the LIKE retry finds it
        {"!", later + " ", "like"},                     // no MATCH term at all
        {"nothing-here", "", "like"},
    };
    for (const auto& c : cases) {
        LTestToolAnswer a =
            store.Call("advanced_search_mail", std::string("{\"body\":\"") + c.body + "\",\"account_id\":\"acctaaaaaa\"}");
        EXPECT_EQ(Ids(a.structured["emails"]), c.ids) << c.body;
        EXPECT_EQ(a.structured["body_search_mode"], c.mode) << c.body;
    }
}

TEST_F(StructuredSearch, AddressPasses) {
    for (const std::string& id : {report, html, later, bob})
        store.db.ExecF(u"INSERT INTO main.EMAIL_MESSAGE_ADDRESSES (MESSAGE_ID, KIND, EMAIL) VALUES ('%Q', 'to', "
                       u"'zed@example.com');",
                       LFromUtf8(id).c_str());
    // Exact pass only: the limit is reached before the text pass.
    LTestToolAnswer a = store.Call("search_mail_address", "{\"address\":\" ZED@example.com \",\"limit\":3,\"after_utc\":0}");
    EXPECT_EQ(a.summary, "Found 3 email(s) for address \"ZED@example.com\" in the requested timeframe.");
    EXPECT_EQ(Ids(a.structured["emails"]), bob + " " + later + " " + html + " ");
    // The text pass adds what the address table lacks, each message once.
    LTestToolAnswer b = store.Call(
        "search_mail_address", "{\"address\":\"carol@example.org\",\"account_email\":\"alice@example.com\",\"before_utc\":1800000000}");
    EXPECT_EQ(Ids(b.structured["emails"]), later + " " + report + " ");
    EXPECT_EQ(b.structured["account_id"], store.account_a);
    store.db.ExecF(u"INSERT INTO main.EMAIL_MESSAGE_ADDRESSES (MESSAGE_ID, KIND, EMAIL) VALUES ('%Q', 'from', "
                   u"'carol@example.org');",
                   LFromUtf8(later).c_str());
    b = store.Call("search_mail_address", "{\"address\":\"carol@example.org\",\"after_utc\":1700000000}");
    EXPECT_EQ(Ids(b.structured["emails"]), later + " " + report + " ");
    ExpectErrors(store, {
        {"search_mail_address", "{\"address\":\"  \"}", "search_mail_address requires address."},
        {"search_mail_address", "{\"address\":\"a@b\",\"mailbox_name\":\"Nope\"}",
         "search_mail_address could not resolve mailbox_id/mailbox_name."},
        {"search_mail_address", "{\"address\":\"a@b\"}", "search_mail_address requires after_utc or before_utc."},
        {"search_mail_address", "{\"address\":\"a@b\",\"after_utc\":5,\"before_utc\":4}",
         "search_mail_address after_utc must be less than or equal to before_utc."},
    });
}

// Pages a listing to its end; every ID seen, in order.
std::vector<std::string> PageAll(LTestToolStore& store, const std::string& tool, const std::string& base, int limit,
                                 const std::function<void(int)>& between = nullptr) {
    std::vector<std::string> seen;
    json cursor;
    for (int page = 0; page < 1000; ++page) {
        json args = json::parse(base);
        args["limit"] = limit;
        if (!cursor.is_null()) args["cursor"] = cursor;
        LTestToolAnswer a = store.Call(tool, args.dump());
        EXPECT_FALSE(a.is_error) << a.text;
        for (const json& e : a.structured["emails"]) seen.push_back(e["id"]);
        if (!a.structured["has_more"].get<bool>()) {
            EXPECT_FALSE(a.structured.contains("next_cursor"));
            break;
        }
        EXPECT_EQ(a.structured["emails"].size(), static_cast<size_t>(limit));
        cursor = a.structured["next_cursor"];
        if (between) between(page);
    }
    return seen;
}

TEST(McpListings, KeysetPagingSurvivesTiesAndArrivals) {
    LTestToolStore store;
    std::set<std::string> old;
    for (int i = 0; i < 120; ++i) {
        // 50 messages share one time and straddle many page boundaries.
        int64_t t = i < 50 ? 1700005000 : 1700000000 + i * 100;
        old.insert(store.AddMessage(store.account_a, store.inbox_a, "m" + std::to_string(i), "b", "", t));
    }
    int added = 0;
    auto arrive = [&](int) {
        store.AddMessage(store.account_a, store.inbox_a, "new", "b", "", 1700009000 + added);
        store.AddMessage(store.account_a, store.inbox_a, "tie", "b", "", 1700005000);  // a tie arriving mid-way
        ++added;
    };
    for (const char* tool : {"list_recent_mail", "list_mailbox_mail"}) {
        std::vector<std::string> seen =
            PageAll(store, tool, "{\"mailbox_name\":\"inbox\",\"after_utc\":0}", 7, arrive);
        std::multiset<std::string> counted;
        for (const std::string& id : seen)
            if (old.count(id)) counted.insert(id);
        EXPECT_EQ(counted.size(), old.size()) << tool;
        EXPECT_EQ(std::set<std::string>(counted.begin(), counted.end()).size(), old.size()) << tool;
    }
}

TEST(McpListings, PagesRowsAndArguments) {
    LTestToolStore store;
    std::string a1 = store.AddMessage(store.account_a, store.inbox_a, "one", "first body", "", 1700000100);
    std::string a2 = store.AddMessage(store.account_a, store.archive_a, "two", "", "<b>second</b>", 1700000200);
    std::string b1 = store.AddMessage(store.account_b, store.inbox_b, "three", "third", "", 1700000300);
    store.AddMessage(store.account_a, store.inbox_a, "gone", "x", "", 1700000400, 1);
    // Exactly limit rows: no next page.
    LTestToolAnswer all = store.Call("list_recent_mail", "{\"limit\":3}");
    EXPECT_EQ(all.summary, "Found 3 recent email(s).");
    EXPECT_EQ(Ids(all.structured["emails"]), b1 + " " + a2 + " " + a1 + " ");
    EXPECT_EQ(all.structured["has_more"], false);
    EXPECT_EQ(all.structured["emails"][1]["mailbox_name"], "Archive");
    EXPECT_EQ(all.structured["body_format"], "none");
    EXPECT_FALSE(all.structured["emails"][0].contains("body_text"));
    // limit + 1 rows: the cursor leads to the last one; limit 0 becomes 1.
    LTestToolAnswer first = store.Call("list_recent_mail", "{\"limit\":0,\"account_id\":\"acctaaaaaa\",\"body_format\":\"text\"}");
    EXPECT_EQ(Ids(first.structured["emails"]), a2 + " ");
    EXPECT_EQ(first.structured["emails"][0]["body_text"], "second");
    EXPECT_EQ(first.structured["next_cursor"], json::parse("{\"received_utc\":\"1700000200\",\"email_id\":\"" + a2 + "\"}"));
    json next = {{"account_id", "acctaaaaaa"}, {"cursor", first.structured["next_cursor"]}};
    EXPECT_EQ(Ids(store.Call("list_recent_mail", next.dump()).structured["emails"]), a1 + " ");
    LTestToolAnswer box = store.Call("list_mailbox_mail", "{\"mailbox_id\":\"mboxinboxa\",\"before_utc\":1800000000,\"limit\":500}");
    EXPECT_EQ(box.summary, "Found 1 email(s) in mailbox \"INBOX\" for the requested timeframe.");
    EXPECT_EQ(box.structured["emails"][0]["mailbox_name"], "INBOX");
    EXPECT_EQ(box.structured["include_body"], false);
    ExpectErrors(store, {
        {"list_mailbox_mail", "{}", "list_mailbox_mail requires mailbox_id or mailbox_name."},
        {"list_mailbox_mail", "{\"mailbox_name\":\"Nope\"}", "list_mailbox_mail could not resolve mailbox_id/mailbox_name."},
        {"list_mailbox_mail", "{\"mailbox_name\":\"INBOX\",\"body_format\":\"rtf\"}",
         "list_mailbox_mail requires body_format text, html, or both and max_body_chars between 1 and 16777216."},
        {"list_mailbox_mail", "{\"mailbox_name\":\"INBOX\",\"cursor\":{\"received_utc\":1.5,\"email_id\":\"x\"}}",
         "list_mailbox_mail cursor requires received_utc and email_id."},
        {"list_mailbox_mail", "{\"mailbox_name\":\"INBOX\",\"cursor\":{\"received_utc\":5,\"email_id\":\"x\"}}",
         "list_mailbox_mail requires after_utc or before_utc."},
        {"list_recent_mail", "{\"after_utc\":2,\"before_utc\":1}",
         "list_recent_mail after_utc must be less than or equal to before_utc."},
        {"list_recent_mail", "{\"cursor\":{\"received_utc\":\"-5\",\"email_id\":\"x\"}}",
         "list_recent_mail cursor requires received_utc and email_id."},
    });
}

class Threads : public ::testing::Test {
protected:
    void SetUp() override {
        anchor = store.AddMessage(store.account_a, store.inbox_a, "Budget", "Our budget.", "", 1700000100);
        reply = store.AddMessage(store.account_a, store.inbox_a, "Other words", "Agreed.\n\nOn Monday A wrote:\n> Our budget.", "", 1700000200);
        same_subject = store.AddMessage(store.account_a, store.archive_a, "RE: budget", "Unrelated", "", 1700000300);
        unrelated = store.AddMessage(store.account_a, store.inbox_a, "Lunch", "Pizza", "", 1700000400);
        other_account = store.AddMessage(store.account_b, store.inbox_b, "Re: Budget", "elsewhere", "", 1700000150);
        Set(store, anchor, "MESSAGE_ID='<anchor@x>'");
        Set(store, reply, "MESSAGE_ID='<reply@x>', REFERENCES_TEXT='<root@x> <anchor@x>'");
    }
    LTestToolStore store;
    std::string anchor, reply, same_subject, unrelated, other_account;
};

TEST_F(Threads, MembersByLinksAndSubjects) {
    struct {
        std::string args;
        std::string ids;
    } cases[] = {
        // No window: only header links decide.
        {"{\"email_id\":\"" + anchor + "\"}", anchor + " " + reply + " "},
        // A window: links and equal subjects, within the anchor's account.
        {"{\"email_id\":\"" + anchor + "\",\"after_utc\":0}", anchor + " " + reply + " " + same_subject + " "},
        // A subject alone needs a window; without an account every account counts.
        {"{\"subject\":\"Fwd: BUDGET\",\"before_utc\":1800000000}", anchor + " " + other_account + " " + same_subject + " "},
        {"{\"subject\":\"budget\",\"before_utc\":1800000000,\"limit\":1}", anchor + " "},
        {"{\"subject\":\"budget\",\"after_utc\":0,\"mailbox_name\":\"archive\",\"account_id\":\"acctaaaaaa\"}",
         same_subject + " "},
    };
    for (const auto& c : cases) {
        LTestToolAnswer a = store.Call("get_thread", c.args);
        ASSERT_FALSE(a.is_error) << c.args << a.text;
        EXPECT_EQ(Ids(a.structured["emails"]), c.ids) << c.args;
    }
    LTestToolAnswer a = store.Call("get_thread", "{\"email_id\":\"" + anchor + "\",\"body_format\":\"both\"}");
    EXPECT_EQ(a.summary, "Found 2 email(s) in thread \"Budget\".");
    const json& member = a.structured["emails"][1];
    EXPECT_EQ(member["references"], "<root@x> <anchor@x>");
    EXPECT_EQ(member["normalized_subject"], "Other words");
    EXPECT_EQ(member["body_html"].get<std::string>().find("Agreed."), 0u);
    EXPECT_EQ(a.structured["body_format"], "both");
    EXPECT_FALSE(a.structured.contains("truncated"));

    LTestToolAnswer compact =
        store.Call("get_thread_compact", "{\"email_id\":\"" + anchor + "\",\"order\":\"LATEST_FIRST\"}");
    EXPECT_EQ(compact.summary, "Found 2 compact thread message(s) in \"Budget\".");
    EXPECT_EQ(compact.structured["messages"][0]["text"], "Agreed.\nOn Monday A wrote:");
    EXPECT_EQ(compact.structured["order"], "latest_first");
}

TEST_F(Threads, ArgumentErrors) {
    Set(store, unrelated, "SUBJECT='Re:'");
    ExpectErrors(store, {
        {"get_thread", "{}", "get_thread requires email_id or subject."},
        {"get_thread_compact", "{\"subject\":\"x\"}",
         "get_thread_compact requires after_utc or before_utc when email_id is not supplied."},
        {"get_thread", "{\"subject\":\"x\",\"after_utc\":3,\"before_utc\":2}",
         "get_thread after_utc must be less than or equal to before_utc."},
        {"get_thread", "{\"email_id\":\"nosuchid\"}", "get_thread email_id was not found."},
        {"get_thread", "{\"email_id\":\"" + unrelated + "\"}", "get_thread could not determine a usable subject anchor."},
        {"get_thread", "{\"subject\":\"Re: \",\"after_utc\":0}", "get_thread could not determine a usable subject anchor."},
        {"get_thread", "{\"subject\":\"x\",\"after_utc\":0,\"mailbox_name\":\"Nope\"}",
         "get_thread could not resolve mailbox_id/mailbox_name."},
        {"get_thread", "{\"subject\":\"x\",\"after_utc\":0,\"max_body_chars\":0}",
         "get_thread requires body_format text, html, or both and max_body_chars between 1 and 16777216."},
        {"get_thread_compact", "{\"subject\":\"x\",\"after_utc\":0,\"order\":\"newest\"}",
         "get_thread_compact order must be oldest_first or latest_first."},
    });
}

// A wide window is scanned only up to the bound, and the answer says so.
TEST_F(Threads, WideWindowScanIsBounded) {
    ASSERT_TRUE(store.db.Exec(
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<20050) INSERT INTO main.EMAIL_MESSAGES "
        u"(ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, SUBJECT, RECEIVED_UTC) SELECT 'bulk' || i, 'acctaaaaaa', "
        u"'mboxinboxa', 100000 + i, 1, 'Filler ' || i, 1600000000 + i FROM n;"));
    LTestToolAnswer a = store.Call("get_thread", "{\"subject\":\"Budget\",\"after_utc\":0}");
    EXPECT_EQ(a.structured["truncated"], true);
    EXPECT_EQ(a.structured["emails"].size(), 0u);  // the budget mail lies after the first 20,000 candidates
    a = store.Call("get_thread", "{\"subject\":\"Budget\",\"after_utc\":1700000000}");
    EXPECT_FALSE(a.structured.contains("truncated"));
    EXPECT_EQ(a.structured["emails"].size(), 3u);
}

TEST(McpRecentThreads, GroupsNewestConversations) {
    LTestToolStore store;
    std::string newest;
    for (int i = 0; i < 20; ++i) {
        newest = store.AddMessage(store.account_a, store.inbox_a, "Re: Plan", "r", "", 1700000100 + i);
        Set(store, newest, i % 2 ? "TO_TEXT='\"Doe, Jane\" <jane@x>'" : "TO_TEXT='bob@x'");
    }
    store.AddMessage(store.account_b, store.inbox_b, "Plan", "copy", "", 1700000050);
    for (int i = 0; i < 12; ++i)
        store.AddMessage(store.account_a, store.archive_a, "Topic " + std::to_string(i), "t", "", 1700000000 - i);
    LTestToolAnswer a = store.Call("list_recent_threads", "{}");
    EXPECT_EQ(a.summary, "Found 14 recent thread(s).");
    const json& plan = a.structured["threads"][0];
    EXPECT_EQ(plan["id"], newest);
    EXPECT_EQ(plan["message_count"], 20);
    EXPECT_EQ(plan["thread_key"], "Plan");
    EXPECT_EQ(plan["participants"], json::parse("[\"Alice <alice@example.com>\",\"\\\"Doe\",\"Jane\\\" <jane@x>\",\"bob@x\"]"));
    EXPECT_EQ(a.structured["threads"][1]["account_id"], store.account_b);  // the other account's copy stands alone
    EXPECT_EQ(store.Call("list_recent_threads", "{\"limit\":5}").structured["threads"].size(), 5u);
    // limit 1 scans 20 rows: the oldest reply and the rest stay out.
    LTestToolAnswer one = store.Call("list_recent_threads", "{\"limit\":1,\"mailbox_name\":\"INBOX\",\"account_id\":\"acctaaaaaa\"}");
    EXPECT_EQ(one.summary, "Found 1 recent thread(s) in mailbox \"INBOX\".");
    EXPECT_EQ(one.structured["threads"][0]["message_count"], 20);
    ExpectErrors(store, {
        {"list_recent_threads", "{\"mailbox_id\":\"nope\"}", "list_recent_threads could not resolve mailbox_id/mailbox_name."},
        {"list_recent_threads", "{\"after_utc\":2,\"before_utc\":1}",
         "list_recent_threads after_utc must be less than or equal to before_utc."},
    });
}

TEST(McpMailStats, CountsListsAndSyncAges) {
    LTestToolStore store;
    LTestToolAnswer empty = store.Call("mail_stats", "{\"account_id\":\"acctaaaaaa\"}");
    EXPECT_EQ(empty.summary, "Calculated mail stats across 0 stored message(s).");
    EXPECT_EQ(empty.structured["summary"]["total_messages"], 0);
    EXPECT_EQ(empty.structured["by_mailbox"].size(), 0u);
    EXPECT_EQ(empty.structured["mailbox_sync"].size(), 2u);

    std::string seen = store.AddMessage(store.account_a, store.inbox_a, "a", "x", "", 1700000000);  // Tue 2023-11-14
    Set(store, seen, "FLAGS='\\SEEN \\Answered', SIZE_BYTES=5000, HAS_ATTACHMENTS=1");
    std::string flagged = store.AddMessage(store.account_a, store.inbox_a, "b", "x", "", 1700086400);
    Set(store, flagged, "FLAGS='\\Flagged', FROM_TEXT='zed@x'");
    Set(store, store.AddMessage(store.account_a, store.archive_a, "c", "x", "", 1700172800), "FLAGS=NULL");
    store.AddMessage(store.account_a, store.archive_a, "gone", "x", "", 1700172800, 1);
    store.db.Exec(u"UPDATE main.EMAILMAILBOXES SET LAST_SYNC_UTC='1700000000' WHERE ID='mboxarchva';");
    store.db.Exec(u"UPDATE main.EMAILMAILBOXES SET LAST_SYNC_UTC='2023-11-14 22:13:20' WHERE ID='mboxinboxa';");
    LTestToolAnswer a = store.Call("mail_stats", "{\"account_email\":\"alice@example.com\",\"limit\":40}");
    const json& s = a.structured;
    EXPECT_EQ(s["summary"], json::parse("{\"total_messages\":3,\"read_messages\":1,\"unread_messages\":2,"
                                        "\"flagged_messages\":1,\"answered_messages\":1,\"attachment_messages\":1}"));
    EXPECT_EQ(s["by_mailbox"][0], json::parse("{\"mailbox_id\":\"mboxinboxa\",\"mailbox_name\":\"INBOX\","
                                              "\"message_count\":2,\"unread_count\":1}"));
    EXPECT_EQ(s["by_sender"][0], json::parse("{\"from\":\"Alice <alice@example.com>\",\"message_count\":2}"));
    EXPECT_EQ(s["by_day"][0], json::parse("{\"day_utc\":\"2023-11-16\",\"message_count\":1}"));
    EXPECT_EQ(s["by_week"][0], json::parse("{\"week_utc\":\"2023-W46\",\"message_count\":3}"));
    EXPECT_EQ(s["largest_messages"][0]["id"], seen);
    EXPECT_EQ(s["largest_messages"][0]["size_bytes"], "5000");
    ASSERT_EQ(s["mailbox_sync"].size(), 2u);
    for (const json& m : s["mailbox_sync"]) EXPECT_EQ(m["last_sync_epoch"], "1700000000");
    EXPECT_EQ(s["mailbox_sync"][0]["mailbox_name"], "INBOX");  // INBOX first at equal times
    EXPECT_EQ(s["limit"], 25);
    LTestToolAnswer one = store.Call("mail_stats", "{\"mailbox_name\":\"archive\",\"limit\":0}");
    EXPECT_EQ(one.summary, "Calculated mail stats across 1 stored message(s) in mailbox \"Archive\".");
    EXPECT_EQ(one.structured["largest_messages"].size(), 1u);
    EXPECT_EQ(one.structured["mailbox_sync"][0]["mailbox_id"], "mboxarchva");
    store.db.Exec(u"UPDATE main.EMAILMAILBOXES SET LAST_SYNC_UTC='' WHERE ID='mboxarchva';");
    one = store.Call("mail_stats", "{\"mailbox_name\":\"archive\"}");
    EXPECT_FALSE(one.structured["mailbox_sync"][0].contains("last_sync_epoch"));
    EXPECT_EQ(one.structured["mailbox_sync"][0]["sync_age_seconds"], "0");
    ExpectErrors(store, {
        {"mail_stats", "{\"mailbox_name\":\"Nope\"}", "mail_stats could not resolve mailbox_id/mailbox_name."},
        {"mail_stats", "{\"after_utc\":2,\"before_utc\":1}", "mail_stats after_utc must be less than or equal to before_utc."},
    });
}

}  // namespace
