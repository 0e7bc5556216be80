// The search route's grammar and statements against a real store with its
// full-text index: what a query becomes, which rows a request finds, and
// that no query text escapes its filters.
#include <gtest/gtest.h>

#include <algorithm>

#include <set>
#include <string>
#include <vector>

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/utf8.h"
#include "mail/search/email_search.h"
#include "mail/search/tests/search_support.h"
#include "mail/store/tests/store_fixture.h"

namespace {

std::string Parse(const std::string& query) {
    LString expression;
    if (!LEmailSearchParseQuery(LFromUtf8(query).c_str(), expression)) return "<none>";
    return LToUtf8(expression.c_str());
}

TEST(SearchGrammar, QueriesBecomeQuotedTerms) {
    struct Case {
        const char* query;
        const char* expression;
    };
    const Case cases[] = {
        {"cat OR dog -fish \"red fox\"", "\"cat\"* OR \"dog\"* NOT \"fish\"* AND \"red fox\""},
        {"-spam ham", "\"ham\"*"},
        {"-spam -eggs", "<none>"},
        {"or AND", "\"or\"* AND \"AND\"*"},
        {"OR cat", "\"cat\"*"},
        {"x OR OR y", "\"x\"* OR \"y\"*"},
        {"cat - dog", "\"cat\"* AND \"dog\"*"},
        {"cat dog -", "\"cat\"* AND \"dog\"*"},
        {"cat -\"red fox\"", "\"cat\"* NOT \"red fox\""},
        {"!!! ... ,,,", "<none>"},
        {"\"\"", "<none>"},
        {"", "<none>"},
        {"\tcaf\xc3\xa9\n", "\"caf\xc3\xa9\"*"},
        // FTS5 syntax stays inside a quoted string.
        {"a\"b", "\"a\"\"b\"*"},
        {"x \"a\"\"b", "\"x\"* AND \"a\" AND \"b\""},
        {"\"unbalanced phrase", "\"unbalanced phrase\""},
        {"NEAR(a b)", "\"NEAR(a\"* AND \"b)\"*"},
        {"^start", "\"^start\"*"},
        {"{SUBJECT}:x", "\"{SUBJECT}:x\"*"},
        {"SUBJECT:x", "\"SUBJECT:x\"*"},
        {"* ^ : ( )", "<none>"},
        {"it's", "\"it's\"*"},
    };
    for (const Case& c : cases) EXPECT_EQ(Parse(c.query), c.expression) << c.query;

    std::string twenty, sixteen;
    for (int i = 0; i < 20; ++i) {
        std::string w = "w" + std::to_string(i);
        twenty += w + " ";
        if (i < 16) sixteen += (i ? " AND \"" : "\"") + w + "\"*";
    }
    EXPECT_EQ(Parse(twenty), sixteen);

    // Whole words only (the estimate of how common a query is).
    LString words;
    ASSERT_TRUE(LEmailSearchParseQuery(u"cat OR \"red fox\" -dog a\"*", words, false));
    EXPECT_EQ(LToUtf8(words.c_str()), "\"cat\" OR \"red fox\" NOT \"dog\" AND \"a\"\"*\"");
}

class SearchTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        Exec(Db(), "INSERT INTO main.EMAILACCOUNTS (ID, EMAIL) VALUES ('acc1', 'me@example.org'), ('acc2', "
                   "'other@example.org');");
        Exec(Db(), "INSERT INTO main.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME) VALUES ('mbx1', 'acc1', "
                   "'INBOX'), ('mbx2', 'acc2', 'Archive');");
    }

    void Add(const std::string& id, const std::string& account, const std::string& subject, const std::string& from,
             const std::string& body, int64_t received, const std::string& preview = "") {
        TestMessage m;
        m.id = id;
        m.account = account;
        m.mailbox = account == "acc1" ? "mbx1" : "mbx2";
        m.subject = subject;
        m.from = from;
        m.body = body;
        m.preview = preview;
        InsertMessage(Db(), m);
        Exec(Db(), "UPDATE main.EMAIL_MESSAGES SET RECEIVED_UTC=" + std::to_string(received) + " WHERE ID='" + id +
                       "';");
    }

    std::string Search(const std::string& request, LJsonValue& answer) {
        return LTestEmailSearch(Db(), request, answer);
    }

    static std::vector<std::string> Ids(const LJsonValue& answer, const char* array = "emails") {
        std::vector<std::string> ids;
        const LJsonValue& a = answer.Member(array);
        for (size_t i = 0; i < a.count; ++i) ids.push_back(a.elements[i].Member("id").text.Str());
        return ids;
    }
};

TEST_F(SearchTest, FullTextFiltersFallbackAndPaging) {
    Add("a1", "acc1", "Quarterly invoice", "Anna <anna@example.org>", "numbers 100% final", 1000);
    Add("a2", "acc1", "Lunch", "Bob <bob@example.org>", "see the invoices attached", 2000);
    Add("b1", "acc2", "Invoice copy", "Carl <carl@example.org>", "plain", 3000, "stored preview");
    Add("gone", "acc1", "invoice deleted", "x", "", 4000);
    Exec(Db(), "UPDATE main.EMAIL_MESSAGES SET IS_DELETED=1 WHERE ID='gone';");

    LJsonValue r;
    Search(R"({"query":"invoice"})", r);
    EXPECT_EQ(r.Member("search_mode").text.Str(), "fts");
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"b1", "a2", "a1"}));
    EXPECT_EQ(r.Member("match_query").text.Str(), "\"invoice\"*");
    EXPECT_EQ(r.Member("count").AsInt64(), 3);
    const LJsonValue& first = r.Member("emails").elements[0];
    EXPECT_EQ(first.Member("account_email").text.Str(), "other@example.org");
    EXPECT_EQ(first.Member("mailbox_name").text.Str(), "Archive");
    EXPECT_EQ(first.Member("preview").text.Str(), "stored preview");
    EXPECT_EQ(first.Member("received_utc").text.Str(), "3000");
    EXPECT_EQ(r.Member("emails").elements[1].Member("preview").text.Str(), "see the invoices attached");
    EXPECT_TRUE(r.Member("index_status").Member("complete").payload.b);

    // Scopes, filters and sorts narrow the same query.
    Search(R"({"query":"invoice","scope":"Headers","sort":"oldest"})", r);
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"a1", "b1"}));
    EXPECT_EQ(r.Member("scope").text.Str(), "Headers");
    Search(R"({"query":"invoice","scope":"subject","sort":"size"})", r);
    EXPECT_EQ(r.Member("scope").text.Str(), "all");
    EXPECT_EQ(r.Member("sort").text.Str(), "newest");
    Search(R"({"query":"invoice","mailbox_name":"inbox","after_utc":"1500","before_utc":2500.9})", r);
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"a2"}));
    Search(R"({"from":"bob@"})", r);
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"a2"}));
    EXPECT_EQ(r.Member("search_mode").text.Str(), "like");

    // A percent sign is a literal percent sign.
    Search(R"({"body":"0%"})", r);
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"a1"}));
    Search(R"({"from":"%"})", r);
    EXPECT_TRUE(Ids(r).empty());

    // No whole-word hit, but a substring: the rows come as the fallback.
    Search(R"({"query":"umber"})", r);
    EXPECT_EQ(r.Member("search_mode").text.Str(), "like_fallback");
    EXPECT_TRUE(Ids(r).empty());
    EXPECT_EQ(Ids(r, "fallback_emails"), (std::vector<std::string>{"a1"}));
    EXPECT_EQ(r.Member("count").AsInt64(), 1);

    // Punctuation only: searched by substring, escaped.
    Search(R"({"query":"%"})", r);
    EXPECT_EQ(r.Member("search_mode").text.Str(), "like");
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"a1"}));

    struct Paging {
        const char* request;
        int64_t limit, offset;
    };
    const Paging paging[] = {{R"({"query":"invoice","limit":0})", 1, 0},
                             {R"({"query":"invoice","limit":500,"offset":-3})", 100, 0},
                             {R"({"query":"invoice","offset":20000})", 25, 10000},
                             {R"({"query":"invoice","limit":2.7,"offset":1})", 2, 1}};
    for (const Paging& p : paging) {
        Search(p.request, r);
        EXPECT_EQ(r.Member("limit").AsInt64(), p.limit) << p.request;
        EXPECT_EQ(r.Member("offset").AsInt64(), p.offset) << p.request;
    }
    Search(R"({"query":"invoice","limit":1,"offset":1})", r);
    EXPECT_EQ(Ids(r), (std::vector<std::string>{"a2"}));

    for (const char* empty : {R"({})", R"({"query":"","scope":"body","limit":5})", R"({"account_id":7})"}) {
        Search(empty, r);
        EXPECT_EQ(r.Member("errorcode").AsInt64(), 400) << empty;
        EXPECT_EQ(r.Member("error_key").text.Str(), "EMAILSEARCH_FILTER_REQUIRED");
        EXPECT_EQ(r.FindMember("emails"), nullptr);
    }
}

// Messages that arrived in the same second (a batch, an import) must not
// repeat or vanish between pages, in every sort order.
TEST_F(SearchTest, PagesOfEqualTimesHoldEveryMessageOnce) {
    for (int i = 0; i < 23; ++i)
        Add("m" + std::to_string(i), i % 2 ? "acc1" : "acc2", "Same subject", "a@example.org", "common word",
            5000 + i / 10);
    for (const char* sort : {"newest", "oldest", "subject"}) {
        std::vector<std::string> seen;
        for (int offset = 0; offset < 30; offset += 4) {
            LJsonValue r;
            Search(std::string(R"({"query":"common","limit":4,"sort":")") + sort + R"(","offset":)" +
                       std::to_string(offset) + "}",
                   r);
            for (const std::string& id : Ids(r)) seen.push_back(id);
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen.size(), 23u) << sort;
        EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << sort;
    }
}

// From a thousand matches on, a page in time order is found by walking the
// messages in that order and probing the index's list. It must still be
// exactly the page of live matches within the filters, ties in rowid order,
// whatever order the rows were stored in.
TEST_F(SearchTest, TimeOrderWalkOfACommonWordGivesTheSamePages) {
    struct Row {
        std::string id, account;
        int64_t received;
        bool listed;
    };
    std::vector<Row> rows;
    Exec(Db(), "BEGIN;");
    for (int i = 0; i < 1300; ++i) {
        Row row{"w" + std::to_string(i), i % 5 ? "acc1" : "acc2", (i * 7919) % 600, i % 13 && i % 17};
        Add(row.id, row.account, i % 13 ? "common ground" : "other", "a@example.org", "text", row.received);
        if (i % 13 && !(i % 17)) Exec(Db(), "UPDATE main.EMAIL_MESSAGES SET IS_DELETED=1 WHERE ID='" + row.id + "';");
        rows.push_back(row);
    }
    Exec(Db(), "COMMIT;");
    struct Case {
        const char *sort, *account;
        int offset;
    };
    const Case cases[] = {{"newest", "", 0},   {"newest", "", 25},    {"newest", "", 1060},  {"oldest", "", 0},
                          {"oldest", "", 990}, {"newest", "acc1", 0}, {"oldest", "acc1", 40}};
    for (const Case& c : cases) {
        std::vector<size_t> order;
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].listed && (!c.account[0] || rows[i].account == c.account)) order.push_back(i);
        bool newest = std::string(c.sort) == "newest";
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            if (rows[a].received != rows[b].received)
                return newest ? rows[a].received > rows[b].received : rows[a].received < rows[b].received;
            return newest ? a > b : a < b;
        });
        std::vector<std::string> expected;
        for (size_t k = static_cast<size_t>(c.offset); k < order.size() && expected.size() < 25; ++k)
            expected.push_back(rows[order[k]].id);
        LJsonValue r;
        std::string request = std::string(R"({"query":"common","sort":")") + c.sort + R"(","offset":)" +
                              std::to_string(c.offset);
        if (c.account[0]) request += std::string(R"(,"account_id":")") + c.account + R"(")";
        request += "}";
        Search(request, r);
        EXPECT_EQ(r.Member("search_mode").text.Str(), "fts") << request;
        EXPECT_EQ(Ids(r), expected) << request;
    }
}

// Queries full of FTS5 syntax and SQL quoting give rows or none, never rows
// outside the account filter and never an error answer.
TEST_F(SearchTest, HostileQueriesStayInsideTheirFilters) {
    Add("in1", "acc2", "NEAR the ^ star {SUBJECT}", "o'brien@example.org", "it's * - \"quoted\"", 10);
    for (int i = 0; i < 5; ++i)
        Add("out" + std::to_string(i), "acc1", "NEAR the ^ star {SUBJECT}", "o'brien@example.org",
            "it's * - \"quoted\"", 20 + i);
    const char* queries[] = {"NEAR(the star)", "^the", "{SUBJECT}: star", "SUBJECT:star", "star*", "\"the",
                             "-",  "the -", "' OR 1=1 --", "x') OR ('1'='1", "\") OR MATCH '*", "NOT the",
                             "it's", "\"\"\"", "the OR", "AND OR NOT", "-\"", "o'brien"};
    for (const char* q : queries) {
        LJsonValue body;
        LStringA request;
        LJsonWriter w(request);
        w.BeginObject();
        w.StringUTF8("query", q);
        w.StringUTF8("account_id", "acc2");
        w.EndObject();
        LJsonValue r;
        std::string text = Search(request.Str(), r);
        EXPECT_EQ(r.Member("errorcode").AsInt64(), 0) << q << " " << text;
        for (const char* array : {"emails", "fallback_emails"})
            for (const std::string& id : Ids(r, array)) EXPECT_EQ(id, "in1") << q << " " << text;
    }
}

}  // namespace
