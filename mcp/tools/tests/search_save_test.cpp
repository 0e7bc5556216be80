// search_mail through the index and the LIKE scan, and save_attachment on
// paths a client could use to reach elsewhere.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mcp/tools/tests/tool_fixture.h"
#include "platform/root.h"
#include "tests/support/test_root.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::json;

std::string Ids(const LTestToolAnswer& a) {
    std::string ids;
    for (const json& e : a.structured["emails"]) ids += e["id"].get<std::string>() + " ";
    return ids;
}

class SearchMail : public ::testing::Test {
protected:
    void SetUp() override {
        head = store.AddMessage(store.account_a, store.inbox_a, "Budget review", "numbers attached", "", 1700000300);
        body = store.AddMessage(store.account_a, store.archive_a, "Lunch", "the budget is tight", "", 1700000200);
        html = store.AddMessage(store.account_a, store.inbox_a, "Rich", "", "<p>zebra crossing</p>", 1700000100);
        percent = store.AddMessage(store.account_a, store.inbox_a, "Invoice 100%_done", "paid", "", 1700000050);
        bob = store.AddMessage(store.account_b, store.inbox_b, "Budget for Bob", "hello", "", 1700000400);
        store.AddMessage(store.account_a, store.inbox_a, "Budget gone", "budget", "", 1700000500, 1);
    }
    LTestToolStore store;
    std::string head, body, html, percent, bob;
};

TEST_F(SearchMail, IndexFirstWithSmartScope) {
    LTestToolAnswer a = store.Call("search_mail", "{\"query\":\"budget\"}");
    EXPECT_EQ(a.summary, "Found 3 email(s) for query \"budget\" using smart scope.");
    // Header hits newest first, then the body hit not listed yet.
    EXPECT_EQ(Ids(a), bob + " " + head + " " + body + " ");
    EXPECT_EQ(a.structured["search_mode"], "fts");
    EXPECT_EQ(a.structured["match_query"], "\"budget\"*");
    EXPECT_EQ(a.structured["sort"], "newest");
    json first = a.structured["emails"][0];
    EXPECT_NE(first["match_snippet"].get<std::string>().find("[Budget]"), std::string::npos);
    EXPECT_TRUE(first["relevance"].is_number());
    EXPECT_EQ(first["received_utc"], "1700000400");
    EXPECT_EQ(first["preview"], "hello");
    EXPECT_FALSE(a.structured.contains("index_status"));

    EXPECT_EQ(Ids(store.Call("search_mail", "{\"query\":\"budget\",\"limit\":1}")), bob + " ");
    EXPECT_EQ(Ids(store.Call("search_mail", "{\"query\":\"budget\",\"scope\":\" BODY \"}")), body + " ");
    EXPECT_EQ(Ids(store.Call("search_mail", "{\"query\":\"budget\",\"sort\":\"oldest\",\"account_id\":\"acctaaaaaa\"}")),
              head + " " + body + " ");
    LTestToolAnswer boxed =
        store.Call("search_mail", "{\"query\":\"budget\",\"account_id\":\"acctaaaaaa\",\"mailbox_name\":\"archive\"}");
    EXPECT_EQ(Ids(boxed), body + " ");
    EXPECT_EQ(boxed.structured["mailbox_id"], store.archive_a);
    EXPECT_EQ(boxed.structured["mailbox_name"], "Archive");
    EXPECT_EQ(store.Call("search_mail", "{\"query\":\"budget\",\"mailbox_name\":\"Nope\"}").text,
              "search_mail could not resolve mailbox_id/mailbox_name.");
    EXPECT_EQ(store.Call("search_mail", "{\"query\":\"budget\",\"scope\":\"subject\"}").text,
              "search_mail scope must be smart, headers, body, or all.");
    EXPECT_EQ(store.Call("search_mail", "{\"query\":\"budget\",\"sort\":\"best\"}").text,
              "search_mail sort must be newest, oldest, or relevance.");
    EXPECT_EQ(store.Call("search_mail", "{\"query\":\"\"}").text, "search_mail requires a non-empty query string.");
    EXPECT_EQ(Ids(store.Call("search_mail", "{\"query\":\"budget\",\"offset\":1,\"scope\":\"headers\"}")), head + " ");
}

TEST_F(SearchMail, LikeScanWhenTheIndexHasNothingOrNoTerm) {
    // Only the HTML holds the word, and the HTML is not indexed.
    LTestToolAnswer fallback = store.Call("search_mail", "{\"query\":\"zebra\"}");
    EXPECT_EQ(fallback.structured["search_mode"], "like_fallback");
    EXPECT_EQ(fallback.structured["match_query"], "\"zebra\"*");
    EXPECT_EQ(Ids(fallback), html + " ");
    EXPECT_FALSE(fallback.structured["emails"][0].contains("match_snippet"));
    // No term at all: LIKE with the text escaped, so "%_" is literal.
    LTestToolAnswer punct = store.Call("search_mail", "{\"query\":\"%_\",\"scope\":\"all\"}");
    EXPECT_EQ(punct.structured["search_mode"], "like");
    EXPECT_FALSE(punct.structured.contains("match_query"));
    EXPECT_EQ(Ids(punct), percent + " ");
    // A query the MATCH syntax rejects yields no row there, then LIKE.
    EXPECT_EQ(store.Call("search_mail", "{\"query\":\"budget\\\"\"}").structured["search_mode"], "fts");
    // The index still filling is reported.
    store.db.Exec(u"UPDATE main.EMAIL_MESSAGES_FTS_STATE SET BACKFILL_NEXT_ROWID=0, BACKFILL_MAX_ROWID=2;");
    LTestToolAnswer filling = store.Call("search_mail", "{\"query\":\"budget\"}");
    EXPECT_EQ(filling.structured["index_status"]["complete"], false);
    EXPECT_EQ(filling.structured["index_status"]["messages_total"], 6);
}

TEST(SearchMailWithoutIndex, RelevanceIsNewestOnTheScan) {
    LTestToolStore store(false);
    std::string older = store.AddMessage(store.account_a, store.inbox_a, "Budget one", "", "", 1700000000);
    std::string newer = store.AddMessage(store.account_a, store.inbox_a, "Budget two", "", "", 1700000100);
    LTestToolAnswer a = store.Call("search_mail", "{\"query\":\"budget\",\"sort\":\"RELEVANCE\"}");
    EXPECT_EQ(a.structured["search_mode"], "like");
    EXPECT_EQ(a.structured["sort"], "newest");
    EXPECT_EQ(Ids(a), newer + " " + older + " ");
}

// Pages of 50 through one query: header hits and body hits, many sharing a
// received time; every match comes exactly once, whatever the order, on the
// index and on the substring scan. Messages with the words only in their
// HTML (which the index does not hold) are matches of the scan alone: a page
// past the end of the index's result must stay empty, not fall back to the
// scan's other ranking.
TEST(SearchMailPaging, EveryMatchOnceAcrossPages) {
    for (bool with_index : {true, false}) {
        LTestToolStore store(with_index);
        std::set<std::string> indexed, html_only;
        store.db.Exec(u"BEGIN;");
        for (int i = 0; i < 200; ++i) {
            bool in_subject = i % 3 == 0;
            indexed.insert(store.AddMessage(store.account_a, store.inbox_a,
                                            in_subject ? "Quarterly budget review " + std::to_string(i) : "Note",
                                            in_subject ? "see subject" : "the quarterly budget review is due", "",
                                            1700000000 + i / 4));
            store.AddMessage(store.account_a, store.inbox_a, "Other", "budget quarterly", "", 1700000000 + i);
            if (i % 4 == 0)
                html_only.insert(store.AddMessage(store.account_a, store.inbox_a, "Rich", "",
                                                  "<p>quarterly budget review</p>", 1700000000 + i));
        }
        store.db.Exec(u"COMMIT;");
        std::set<std::string> all = indexed;
        if (!with_index) all.insert(html_only.begin(), html_only.end());
        for (const char* sort : {"newest", "oldest", "relevance"}) {
            SCOPED_TRACE(std::string(with_index ? "index " : "scan ") + sort);
            std::map<std::string, int> seen;
            for (size_t offset = 0; offset <= all.size() + 50; offset += 50) {
                json args = {{"query", "quarterly budget review"}, {"limit", 50}, {"offset", offset}, {"sort", sort}};
                LTestToolAnswer a = store.Call("search_mail", args.dump());
                size_t expected = offset < all.size() ? std::min<size_t>(50, all.size() - offset) : 0;
                ASSERT_EQ(a.structured["emails"].size(), expected) << offset << " " << a.text;
                EXPECT_EQ(a.structured["search_mode"], with_index ? "fts" : "like") << offset;
                for (const json& e : a.structured["emails"]) ++seen[e["id"].get<std::string>()];
            }
            EXPECT_EQ(seen.size(), all.size());
            for (const auto& [id, n] : seen) {
                EXPECT_EQ(n, 1) << id;
                EXPECT_TRUE(all.count(id)) << id;
            }
        }
    }
    // A phrase through the index pages the same way.
    LTestToolStore store;
    std::set<std::string> all;
    for (int i = 0; i < 120; ++i)
        all.insert(store.AddMessage(store.account_a, store.inbox_a, i % 2 ? "Quarterly budget review" : "Note",
                                    "the quarterly budget review", "", 1700000000 + i / 10));
    store.AddMessage(store.account_a, store.inbox_a, "Other", "review the quarterly budget", "", 1700000000);
    std::set<std::string> seen;
    for (int offset = 0; offset < 150; offset += 50) {
        json args = {{"query", "\"quarterly budget review\""}, {"limit", 50}, {"offset", offset}};
        LTestToolAnswer a = store.Call("search_mail", args.dump());
        EXPECT_EQ(a.structured["search_mode"], "fts") << a.text;
        for (const json& e : a.structured["emails"]) EXPECT_TRUE(seen.insert(e["id"].get<std::string>()).second) << e["id"];
    }
    EXPECT_EQ(seen, all);
}

// From a thousand matches on, a tier's page in time order is found by
// walking the messages in that order: pages must still be the header hits
// newest first (ties by ID), then the body-only hits, none deleted.
TEST(SearchMailPaging, TimeOrderWalkOfACommonWordGivesTheSamePages) {
    LTestToolStore store;
    struct Row {
        std::string id;
        int64_t received;
        int tier;
    };
    std::vector<Row> rows;
    store.db.Exec(u"BEGIN;");
    for (int i = 0; i < 1600; ++i) {
        int64_t received = 1700000000 + (i * 7919) % 500;
        bool head = i % 4 != 0, deleted = i % 11 == 0;
        std::string id = store.AddMessage(store.account_a, store.inbox_a, head ? "Common ground" : "Note",
                                          head ? "text" : "a common word", "", received, deleted ? 1 : 0);
        if (!deleted) rows.push_back({id, received, head ? 0 : 1});
    }
    store.db.Exec(u"COMMIT;");
    for (bool oldest : {false, true}) {
        std::vector<Row> order = rows;
        std::sort(order.begin(), order.end(), [&](const Row& a, const Row& b) {
            if (a.tier != b.tier) return a.tier < b.tier;
            if (a.received != b.received) return oldest ? a.received < b.received : a.received > b.received;
            return oldest ? a.id < b.id : a.id > b.id;
        });
        for (size_t offset : {0, 50, 1050, 1100, 1400}) {
            json args = {{"query", "common"}, {"limit", 50}, {"offset", offset}, {"sort", oldest ? "oldest" : "newest"}};
            LTestToolAnswer a = store.Call("search_mail", args.dump());
            std::string expected;
            for (size_t k = offset; k < order.size() && k < offset + 50; ++k) expected += order[k].id + " ";
            EXPECT_EQ(Ids(a), expected) << offset << (oldest ? " oldest" : " newest");
            EXPECT_EQ(a.structured["search_mode"], "fts");
        }
    }
}

// The substring scan looks at the newest 5000 messages only, and says so.
TEST(SearchMailWithoutIndex, ScanSaysWhenOlderMessagesWereNotSearched) {
    LTestToolStore store(false);
    store.db.Exec(u"BEGIN;");
    std::string oldest = store.AddMessage(store.account_a, store.inbox_a, "Budget ancient", "", "", 1600000000);
    for (int i = 0; i < 5000; ++i) store.AddMessage(store.account_a, store.inbox_a, "Other", "", "", 1700000000 + i);
    store.db.Exec(u"COMMIT;");
    LTestToolAnswer a = store.Call("search_mail", "{\"query\":\"budget\"}");
    EXPECT_EQ(a.structured["emails"].size(), 0u);
    EXPECT_EQ(a.structured["substring_scan"]["complete"], false);
    EXPECT_EQ(a.structured["substring_scan"]["newest_messages_searched"], 5000);
    EXPECT_NE(a.summary.find("only the newest 5000 messages"), std::string::npos) << a.summary;
    // Within the window nothing is said.
    LTestToolAnswer boxed = store.Call("search_mail", "{\"query\":\"budget\",\"mailbox_id\":\"" + store.archive_a + "\"}");
    EXPECT_FALSE(boxed.structured.contains("substring_scan")) << boxed.text;
}

class SaveAttachment : public ::testing::Test {
protected:
    void SetUp() override {
        message = store.AddMessage(store.account_a, store.inbox_a, "With file", "see attached", "", 1700000000);
        attachment = store.AddAttachment(message, "report.pdf", &content);
        out = store.root.Path() + "/out";
        fs::create_directories(out);
    }
    LTestToolAnswer Save(const std::string& destination, const std::string& id = "") {
        json args = {{"attachment_id", id.empty() ? attachment : id}, {"destination_path", destination}};
        return store.Call("save_attachment", args.dump());
    }
    LTestToolStore store;
    std::string content = "%PDF-1.7 quarterly figures";
    std::string message, attachment, out;
};

TEST_F(SaveAttachment, PlainAbsolutePathsOnly) {
    for (const std::string& bad : {std::string("report.pdf"), std::string("out/report.pdf"), out + "/../x.pdf",
                                   out + "/./x.pdf", out + "//x.pdf", out + "/", out + "/a\tb.pdf",
                                   out + "/" + std::string(256, 'n') + ".pdf"}) {
        EXPECT_EQ(Save(bad).text, "save_attachment destination_path must be an absolute local path.") << bad;
    }
    EXPECT_EQ(Save("   ").text, "save_attachment requires destination_path.");
    EXPECT_EQ(Save(out + "/x.pdf", "nosuchattachment").text, "Stored attachment was not found.");
    EXPECT_FALSE(fs::exists(out + "/x.pdf"));

    // Missing parents are made; the file is private and whole.
    LTestToolAnswer saved = Save("  " + out + "/new/deeper/report.pdf \n");
    ASSERT_FALSE(saved.is_error) << saved.text;
    EXPECT_EQ(saved.summary, "Saved attachment " + attachment + " to " + out + "/new/deeper/report.pdf");
    EXPECT_EQ(saved.structured["saved_attachment"]["size_bytes"], std::to_string(content.size()));
    EXPECT_EQ(LTestReadFile(out + "/new/deeper/report.pdf"), content);
    struct stat st;
    ASSERT_EQ(stat((out + "/new/deeper/report.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // An existing regular file is replaced.
    std::ofstream(out + "/old.pdf") << "old contents that are longer than the new ones";
    ASSERT_FALSE(Save(out + "/old.pdf").is_error);
    EXPECT_EQ(LTestReadFile(out + "/old.pdf"), content);
}

TEST_F(SaveAttachment, NoLinksAndNotIntoTheProgramsFolders) {
    fs::create_directories(out + "/elsewhere");
    fs::create_symlink(out + "/elsewhere", out + "/linked");
    EXPECT_EQ(Save(out + "/linked/x.pdf").text, "Attachment destination folder could not be created.");
    EXPECT_TRUE(fs::is_empty(out + "/elsewhere"));
    // A link standing at the name is never written through.
    std::ofstream(out + "/target.txt") << "keep";
    fs::create_symlink(out + "/target.txt", out + "/link.pdf");
    EXPECT_EQ(Save(out + "/link.pdf").text, "Attachment could not be saved to the destination path.");
    EXPECT_EQ(LTestReadFile(out + "/target.txt"), "keep");
    EXPECT_TRUE(fs::is_symlink(out + "/link.pdf"));
    fs::create_directories(out + "/folder.pdf");
    EXPECT_EQ(Save(out + "/folder.pdf").text, "Attachment could not be saved to the destination path.");

    const std::string refused = "save_attachment destination_path must lie outside the Porlinex data and run folders.";
    EXPECT_EQ(Save(store.root.DataFolder() + "/Web/index.html").text, refused);
    EXPECT_FALSE(fs::exists(store.root.DataFolder() + "/Web/index.html"));
    EXPECT_EQ(Save(store.CacheFolder() + "/x/y.pdf").text, refused);
    EXPECT_EQ(Save(LPlatformKnownFolder(LKnownFolder::RunFolder) + "/x.pdf").text, refused);
    // The stored path must name a regular file inside the attachment store.
    std::string outside = store.AddAttachment(message, "passwd", nullptr, "/etc/passwd");
    EXPECT_EQ(Save(out + "/p.txt", outside).text, "Attachment content is not stored locally.");
    fs::create_directories(store.CacheFolder() + "/" + message);
    fs::create_symlink("/etc/passwd", store.CacheFolder() + "/" + message + "/linked-passwd");
    std::string linked = store.AddAttachment(message, "linked", nullptr, store.CacheFolder() + "/" + message + "/linked-passwd");
    EXPECT_EQ(Save(out + "/p.txt", linked).text, "Attachment content is not stored locally.");
    std::string dotted =
        store.AddAttachment(message, "dots", nullptr, store.CacheFolder() + "/" + message + "/../../../../../etc/passwd");
    EXPECT_EQ(Save(out + "/p.txt", dotted).text, "Attachment content is not stored locally.");
    EXPECT_FALSE(fs::exists(out + "/p.txt"));
}

}  // namespace
