// The full-text index against what the stored columns say: rows written
// before and after the index, updates and deletes of rows still waiting for
// the backfill, the backfill to the end; the update trigger, the start-up
// probe, rebuilds and the worker.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/store/fts_index.h"
#include "mail/store/message_store.h"
#include "mail/store/tests/store_fixture.h"

namespace {

// One form of each word only: MATCH folds case and diacritics, the scan
// below compares tokens exactly.
const std::vector<std::string> kWords = {
    "invoice", "meeting",  "budget2024", "München", "café",   "naïve",  "Привет", "отчёт",
    "東京",    "会議",     "Donaudampfschifffahrt", "Dampf", "Rechnungsnummer", "Schiff"};
const std::vector<std::string> kFiller = {"alpha", "bravo", "charlie", "delta"};
const char* const kSeparators[] = {" ", ", ", " - ", "/", ": ", "\n"};
const char* const kColumns[] = {"SUBJECT", "FROM_TEXT", "TO_TEXT",      "CC_TEXT",
                                "BCC_TEXT", "REPLY_TO_TEXT", "BODY_PREVIEW", "BODY_TEXT"};

// A small deterministic generator, so every run writes the same rows.
struct Lcg {
    uint32_t s;
    uint32_t Next(uint32_t n) {
        s = s * 1103515245u + 12345u;
        return (s >> 8) % n;
    }
};

std::string Text(Lcg& r) {
    std::string t;
    for (uint32_t i = 0, n = 1 + r.Next(4); i < n; ++i) {
        if (i) t += kSeparators[r.Next(6)];
        t += r.Next(3) ? kWords[r.Next(kWords.size())] : kFiller[r.Next(kFiller.size())];
    }
    return t;
}

TestMessage RandomMessage(Lcg& r) {
    TestMessage m;
    std::string* fields[] = {&m.subject, &m.from, &m.to, &m.cc, &m.bcc, &m.reply_to, &m.preview, &m.body};
    for (std::string* f : fields)
        if (r.Next(2)) *f = Text(r);
    return m;
}

// unicode61 splits at every ASCII character that is not a letter or digit
// (and the corpus holds no other separators).
bool HasToken(const std::string& text, const std::string& word) {
    size_t i = 0;
    auto sep = [](unsigned char c) { return c < 0x80 && !isalnum(c); };
    while (i < text.size()) {
        while (i < text.size() && sep(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !sep(text[i])) ++i;
        if (text.compare(start, i - start, word) == 0 && i - start == word.size()) return true;
    }
    return false;
}

std::set<int64_t> Rowids(LAppDatabaseAccount& db, const std::string& sql) {
    std::set<int64_t> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) out.insert(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return out;
}

// Every word gives by MATCH exactly the indexed rows whose stored columns
// hold it as a token; FTS5's integrity check passes (and, once the backfill
// is complete, so does its comparison with the stored rows).
void ExpectIndexMatchesScan(LAppDatabaseAccount& db) {
    int64_t max_rowid = 0, next_rowid = 0;
    ASSERT_TRUE(LEmailFtsGetBackfillState(db, max_rowid, next_rowid));
    char16_t error[260];
    EXPECT_TRUE(LEmailFtsIntegrityCheck(db, false, error)) << LToUtf8(error);
    if (next_rowid >= max_rowid) {
        EXPECT_TRUE(LEmailFtsIntegrityCheck(db, true, error)) << LToUtf8(error);
    }
    std::string cols;
    for (const char* c : kColumns) cols += std::string(cols.empty() ? "" : ", ") + "COALESCE(" + c + ", '')";
    std::vector<std::pair<int64_t, std::vector<std::string>>> rows;
    sqlite3_stmt* st = nullptr;
    std::string scan = "SELECT rowid, " + cols + " FROM EMAIL_MESSAGES WHERE rowid<=" + std::to_string(next_rowid) +
                       " OR rowid>" + std::to_string(max_rowid);
    ASSERT_EQ(sqlite3_prepare_v2(db.handle, scan.c_str(), -1, &st, nullptr), SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> texts;
        for (int i = 1; i <= 8; ++i) texts.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
        rows.emplace_back(sqlite3_column_int64(st, 0), texts);
    }
    sqlite3_finalize(st);
    size_t words_found = 0;
    for (const std::string& w : kWords) {
        std::set<int64_t> want;
        for (auto& [rowid, texts] : rows)
            for (const std::string& t : texts)
                if (HasToken(t, w)) want.insert(rowid);
        std::set<int64_t> got =
            Rowids(db, "SELECT rowid FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '\"" + w + "\"'");
        EXPECT_EQ(got, want) << "word " << w;
        words_found += !want.empty();
    }
    // The corpus puts every word somewhere once there are rows enough.
    if (rows.size() >= 50) {
        EXPECT_EQ(words_found, kWords.size());
    }
}

// A store of an older release: messages but no index yet.
void DropIndex(LAppDatabaseAccount& db) {
    Exec(db,
         "DROP TRIGGER EMAIL_MESSAGES_FTS_AI; DROP TRIGGER EMAIL_MESSAGES_FTS_AD; DROP TRIGGER EMAIL_MESSAGES_FTS_AU; "
         "DROP TABLE EMAIL_MESSAGES_FTS; DROP TABLE EMAIL_MESSAGES_FTS_STATE;");
}

void Insert(LAppDatabaseAccount& db, Lcg& r, int n) {
    for (int i = 0; i < n; ++i) InsertMessage(db, RandomMessage(r));
}

void BackfillToEnd(LAppDatabaseAccount& db) {
    bool complete = false;
    for (int i = 0; i < 1000 && !complete; ++i) ASSERT_TRUE(LEmailFtsBackfillStep(db, complete));
    ASSERT_TRUE(complete);
}

// Changes rows chosen by a WHERE clause: new texts (the row stays where it
// is in the backfill order) or deletion.
void Rewrite(LAppDatabaseAccount& db, Lcg& r, const std::string& where) {
    for (int64_t rowid : Rowids(db, "SELECT rowid FROM EMAIL_MESSAGES WHERE " + where)) {
        TestMessage m = RandomMessage(r);
        LStringA q;
        q.Format("UPDATE EMAIL_MESSAGES SET SUBJECT='%Q', BODY_TEXT='%Q', TO_TEXT='%Q' WHERE rowid=%I64d;",
                 m.subject.c_str(), m.body.c_str(), m.to.c_str(), rowid);
        Exec(db, q.Str());
    }
}

using FtsIndexTest = StoreTest;

TEST_F(FtsIndexTest, IndexMatchesTheStoredColumns) {
    struct Case {
        const char* name;
        std::function<void(LAppDatabaseAccount&, Lcg&)> steps;
    };
    const Case cases[] = {
        {"rows before the index, backfill to the end",
         [](LAppDatabaseAccount& db, Lcg& r) {
             DropIndex(db);
             Insert(db, r, 250);
             ASSERT_TRUE(LEmailFtsEnsure(db));
             ExpectIndexMatchesScan(db);
             BackfillToEnd(db);
         }},
        {"rows before and after the index, halfway through the backfill",
         [](LAppDatabaseAccount& db, Lcg& r) {
             DropIndex(db);
             Insert(db, r, 250);
             ASSERT_TRUE(LEmailFtsEnsure(db));
             Insert(db, r, 60);
             bool complete = true;
             ASSERT_TRUE(LEmailFtsBackfillStep(db, complete));
             EXPECT_FALSE(complete);
         }},
        {"waiting rows updated and deleted, indexed rows too, then the backfill",
         [](LAppDatabaseAccount& db, Lcg& r) {
             DropIndex(db);
             Insert(db, r, 250);
             ASSERT_TRUE(LEmailFtsEnsure(db));
             Insert(db, r, 40);
             bool complete = false;
             ASSERT_TRUE(LEmailFtsBackfillStep(db, complete));
             int64_t max_rowid = 0, next_rowid = 0;
             ASSERT_TRUE(LEmailFtsGetBackfillState(db, max_rowid, next_rowid));
             std::string waiting = "rowid>" + std::to_string(next_rowid) + " AND rowid<=" + std::to_string(max_rowid);
             Rewrite(db, r, waiting + " AND rowid%7=0");
             Exec(db, "DELETE FROM EMAIL_MESSAGES WHERE " + waiting + " AND rowid%5=0;");
             Rewrite(db, r, "rowid<=" + std::to_string(next_rowid) + " AND rowid%3=0");
             Exec(db, "DELETE FROM EMAIL_MESSAGES WHERE rowid>" + std::to_string(max_rowid) + " AND rowid%4=0;");
             ExpectIndexMatchesScan(db);
             BackfillToEnd(db);
         }},
        {"the newest rows deleted before the backfill reaches them",
         [](LAppDatabaseAccount& db, Lcg& r) {
             DropIndex(db);
             Insert(db, r, 150);
             ASSERT_TRUE(LEmailFtsEnsure(db));
             Exec(db, "DELETE FROM EMAIL_MESSAGES WHERE rowid>120;");
             Insert(db, r, 10);  // rowids taken again, inside the waiting range
             ExpectIndexMatchesScan(db);
             BackfillToEnd(db);
         }},
        {"an index that merges at FTS5's default level is moved to sixteen, its rows kept",
         [](LAppDatabaseAccount& db, Lcg& r) {
             auto automerge = [&db] {
                 int32_t v = 0;
                 db.QueryInt(u"SELECT v FROM EMAIL_MESSAGES_FTS_config WHERE k='automerge';", &v);
                 return v;
             };
             EXPECT_EQ(automerge(), 16);
             Exec(db, "INSERT INTO EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS, rank) VALUES ('automerge', 4);");
             Insert(db, r, 40);
             ASSERT_TRUE(LEmailFtsEnsure(db));
             EXPECT_EQ(automerge(), 16);
             Insert(db, r, 60);
         }},
        {"a new index on an empty table is complete at once, then triggers only",
         [](LAppDatabaseAccount& db, Lcg& r) {
             bool complete = false;
             ASSERT_TRUE(LEmailFtsBackfillStep(db, complete));
             EXPECT_TRUE(complete);
             Insert(db, r, 120);
             Rewrite(db, r, "rowid%2=0");
             Exec(db, "DELETE FROM EMAIL_MESSAGES WHERE rowid%9=0;");
         }},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Exec(Db(), "DELETE FROM EMAIL_MESSAGES;");
        ASSERT_TRUE(LEmailFtsRebuild(Db()));
        Lcg r{seed++};
        c.steps(Db(), r);
        ExpectIndexMatchesScan(Db());
    }
}

TEST_F(FtsIndexTest, CoverageAndStateFollowTheBackfill) {
    Lcg r{9};
    DropIndex(Db());
    Insert(Db(), r, 150);
    ASSERT_TRUE(LEmailFtsEnsure(Db()));
    int32_t indexed = -1, total = -1;
    bool complete = true;
    ASSERT_TRUE(LEmailFtsGetCoverage(Db(), indexed, total, complete));
    EXPECT_EQ(indexed, 0);
    EXPECT_EQ(total, 150);
    EXPECT_FALSE(complete);
    InsertMessage(Db(), RandomMessage(r));  // above MAX: indexed by the trigger at once
    ASSERT_TRUE(LEmailFtsBackfillStep(Db(), complete));
    ASSERT_TRUE(LEmailFtsGetCoverage(Db(), indexed, total, complete));
    EXPECT_EQ(indexed, 101);
    EXPECT_EQ(total, 151);
    BackfillToEnd(Db());
    ASSERT_TRUE(LEmailFtsGetCoverage(Db(), indexed, total, complete));
    EXPECT_EQ(indexed, 151);
    EXPECT_TRUE(complete);
}

// Moves, flags, attachment and deletion marks write nothing into the index;
// a changed subject does. Also on a store whose update trigger came from an
// older release, which fired on every update.
TEST_F(FtsIndexTest, OnlyChangedTextsReachTheIndex) {
    for (bool old_trigger : {false, true}) {
        SCOPED_TRACE(old_trigger ? "older trigger replaced" : "current trigger");
        if (old_trigger) {
            Exec(Db(),
                 "DROP TRIGGER EMAIL_MESSAGES_FTS_AU; CREATE TRIGGER EMAIL_MESSAGES_FTS_AU AFTER UPDATE ON EMAIL_MESSAGES "
                 "BEGIN INSERT INTO EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS, rowid, SUBJECT) VALUES ('delete', old.rowid, "
                 "old.SUBJECT); INSERT INTO EMAIL_MESSAGES_FTS (rowid, SUBJECT) VALUES (new.rowid, new.SUBJECT); END;");
            ASSERT_TRUE(LEmailFtsEnsure(Db()));
            EXPECT_NE(QueryText(Db(), "SELECT sql FROM sqlite_master WHERE name='EMAIL_MESSAGES_FTS_AU'")
                          .find("AFTER UPDATE OF SUBJECT"),
                      std::string::npos);
        }
        Lcg r{4};
        Insert(Db(), r, 30);
        Exec(Db(), "CREATE VIRTUAL TABLE IF NOT EXISTS temp.VOCAB USING fts5vocab(main, 'EMAIL_MESSAGES_FTS', 'row');");
        auto snapshot = [&] {
            return std::to_string(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS_data")) + "/" +
                   std::to_string(QueryInt(Db(), "SELECT COALESCE(SUM(cnt), 0) FROM temp.VOCAB")) + "/" +
                   std::to_string(QueryInt(Db(), "SELECT COUNT(*) FROM temp.VOCAB"));
        };
        std::string before = snapshot();
        Exec(Db(), "UPDATE EMAIL_MESSAGES SET MAILBOX_ID='moved';");
        Exec(Db(), "UPDATE EMAIL_MESSAGES SET FLAGS='\\Seen', HAS_ATTACHMENTS=1, IS_DELETED=1, LAST_SEEN_UTC=5;");
        Exec(Db(), "UPDATE EMAIL_MESSAGES SET SUBJECT=SUBJECT, BODY_TEXT=BODY_TEXT;");
        EXPECT_EQ(snapshot(), before);
        Exec(Db(), "UPDATE EMAIL_MESSAGES SET SUBJECT='renamed' WHERE rowid=(SELECT MIN(rowid) FROM EMAIL_MESSAGES);");
        EXPECT_NE(snapshot(), before);
        ExpectIndexMatchesScan(Db());
        Exec(Db(), "DELETE FROM EMAIL_MESSAGES;");
    }
}

// A store batch indexes its rows at its commit, whether the backfill is
// complete or still waits for older rows (then the triggers index as before);
// the state row comes back as it was, a batch rolled back leaves nothing in
// the index, and later updates and deletes of the batch's rows reach it.
TEST_F(FtsIndexTest, AStoreBatchIsIndexedAtItsCommit) {
    for (bool pending : {false, true}) {
        SCOPED_TRACE(pending ? "backfill pending" : "backfill complete");
        Exec(Db(), "DELETE FROM EMAIL_MESSAGES;");
        Lcg r{pending ? 7u : 3u};
        if (pending) DropIndex(Db());
        Insert(Db(), r, 20);
        ASSERT_TRUE(LEmailFtsEnsure(Db()));
        int64_t max_before = 0, next_before = 0;
        ASSERT_TRUE(LEmailFtsGetBackfillState(Db(), max_before, next_before));
        ASSERT_EQ(next_before < max_before, pending);
        auto raw = [](int uid) {
            return "From: a@example.org\r\nSubject: invoice meeting " + std::to_string(uid) +
                   "\r\nMessage-ID: <b" + std::to_string(uid) + "@example.org>\r\n\r\nbudget2024 café\r\n";
        };
        auto matches = [&] {
            return QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH "
                                  "'SUBJECT:meeting AND SUBJECT:invoice AND budget2024'");
        };
        int before = matches();
        {
            LEmailStoreBatch batch(Db());
            ASSERT_TRUE(batch.Began());
            for (int uid = 1; uid <= 3; uid++) {
                LString id;
                bool is_new = false;
                ASSERT_EQ(batch.StoreBytes(id, is_new, u"acc1", u"mbx1", uid, 100, raw(uid)), 0);
            }
            ASSERT_TRUE(batch.Commit());
        }
        {
            LEmailStoreBatch batch(Db());
            LString id;
            bool is_new = false;
            ASSERT_EQ(batch.StoreBytes(id, is_new, u"acc1", u"mbx1", 4, 100, raw(4)), 0);
        }
        EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES;"), 23);
        EXPECT_EQ(matches(), before + 3);
        int64_t max_after = 0, next_after = 0;
        ASSERT_TRUE(LEmailFtsGetBackfillState(Db(), max_after, next_after));
        EXPECT_EQ(max_after, max_before);
        EXPECT_EQ(next_after, next_before);
        ExpectIndexMatchesScan(Db());
        Rewrite(Db(), r, "SUBJECT IN ('invoice meeting 1', 'invoice meeting 3')");
        Exec(Db(), "DELETE FROM EMAIL_MESSAGES WHERE SUBJECT='invoice meeting 2';");
        ExpectIndexMatchesScan(Db());
        BackfillToEnd(Db());
        ExpectIndexMatchesScan(Db());
    }
}

TEST(FtsProbeWord, WholeTokensOnly) {
    struct Case {
        const char* subject;
        const char* word;
    } cases[] = {
        {"München", "München"},       // not "nchen": the piece is one token
        {"Re: Hi", ""},                // runs under 3 letters are skipped
        {"[PATCH v2] fix it", "PATCH"},
        {"Grüße aus Köln", "Grüße"},   // G, r, e: three ASCII letters
        {"Привет мир", ""},            // nothing ASCII to be sure of a token
        {"東京 2024年 会議", "2024年"},
        {"a-b-c déjà vu", ""},
        {"re: naïve café", "naïve"},
    };
    for (const Case& c : cases) {
        LStringA word;
        LEmailFtsProbeWord(c.subject, strlen(c.subject), word);
        EXPECT_EQ(word.Str(), c.word) << c.subject;
    }
    std::string longest(260, 'x');
    LStringA word;
    LEmailFtsProbeWord((longest + " abc").c_str(), longest.size() + 4, word);
    EXPECT_EQ(word.Str(), "abc");
}

// The newest subjects are all non-ASCII: the probe finds its word and the
// start keeps the index.
TEST_F(FtsIndexTest, NonAsciiSubjectsStartWithoutRebuild) {
    const char* subjects[] = {"Grüße aus München", "Ärger über Öl", "Привет мир", "東京の会議", "Résumé envoyé"};
    for (int i = 0; i < 25; ++i) {
        TestMessage m;
        m.subject = subjects[i % 5];
        InsertMessage(Db(), m);
    }
    char16_t text[260];
    ASSERT_TRUE(LEmailFtsVerify(Db(), true, text)) << LToUtf8(text);
    EXPECT_NE(LToUtf8(text).find("Index verified"), std::string::npos) << LToUtf8(text);
    int64_t before = QueryInt(Db(), "SELECT BACKFILL_MAX_ROWID FROM EMAIL_MESSAGES_FTS_STATE");
    ASSERT_TRUE(LEmailFtsPrepareAtStart(Db()));
    int64_t max_rowid = 0, next_rowid = 0;
    ASSERT_TRUE(LEmailFtsGetBackfillState(Db(), max_rowid, next_rowid));
    EXPECT_EQ(max_rowid, before);  // a rebuild would have set it to the newest rowid
    EXPECT_GE(next_rowid, max_rowid);
}

// An index that lost its entries fails the probe and FTS5's comparison with
// the stored rows: rebuilt, and the log says why.
TEST_F(FtsIndexTest, BrokenIndexIsRebuiltWithItsReason) {
    Lcg r{3};
    for (int i = 0; i < 10; ++i) {
        TestMessage m = RandomMessage(r);
        m.subject = "Quarterly invoice " + std::to_string(i);
        InsertMessage(Db(), m);
    }
    Exec(Db(), "INSERT INTO EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS) VALUES ('delete-all');");
    char16_t text[260];
    EXPECT_FALSE(LEmailFtsVerify(Db(), false, text));
    EXPECT_NE(LToUtf8(text).find("Index probe failed: message"), std::string::npos) << LToUtf8(text);
    std::vector<std::string> lines;
    static std::vector<std::string>* sink;
    sink = &lines;
    LLogAttachView([](const char*, const char* line, int) { sink->push_back(line); });
    ASSERT_TRUE(LEmailFtsPrepareAtStart(Db()));
    LLogAttachView(nullptr);
    std::string all;
    for (auto& l : lines) all += l + "\n";
    EXPECT_NE(all.find("Index probe failed"), std::string::npos) << all;
    EXPECT_NE(all.find("integrity-check failed"), std::string::npos) << all;
    EXPECT_NE(all.find("Rebuilding the full-text index"), std::string::npos) << all;
    int64_t max_rowid = 0, next_rowid = 0;
    ASSERT_TRUE(LEmailFtsGetBackfillState(Db(), max_rowid, next_rowid));
    EXPECT_EQ(next_rowid, 0);
    EXPECT_EQ(max_rowid, 10);
    BackfillToEnd(Db());
    ASSERT_TRUE(LEmailFtsVerify(Db(), true, text)) << LToUtf8(text);
    ExpectIndexMatchesScan(Db());
}

TEST_F(FtsIndexTest, VerifyTexts) {
    char16_t text[260];
    // Only short words: nothing to probe with, and that is no failure.
    for (int i = 0; i < 20; ++i) {
        TestMessage m;
        m.subject = "ab cd ef";
        InsertMessage(Db(), m);
    }
    EXPECT_TRUE(LEmailFtsVerify(Db(), true, text));
    EXPECT_EQ(LToUtf8(text),
              "Index present and structurally valid, but no indexed message had a usable subject word to probe with.");
    Exec(Db(), "DELETE FROM EMAIL_MESSAGES_FTS_STATE;");
    EXPECT_FALSE(LEmailFtsVerify(Db(), false, text));
    EXPECT_EQ(LToUtf8(text), "The full text index exists but its backfill state row is missing.");
    // The state row comes back with an emptied index, so the backfill cannot
    // add a row twice.
    ASSERT_TRUE(LEmailFtsEnsure(Db()));
    BackfillToEnd(Db());
    ExpectIndexMatchesScan(Db());
    DropIndex(Db());
    EXPECT_FALSE(LEmailFtsVerify(Db(), false, text));
    EXPECT_EQ(LToUtf8(text), "No EMAIL_MESSAGES_FTS index exists, so mail search is running on LIKE scans.");
    bool complete = false;
    EXPECT_FALSE(LEmailFtsBackfillStep(Db(), complete));
}

// The worker indexes older rows in the background and wakes for a rebuild.
TEST_F(FtsIndexTest, WorkerBackfillsAndWakesForRebuild) {
    Lcg r{5};
    DropIndex(Db());
    Insert(Db(), r, 230);
    ASSERT_TRUE(LEmailFtsEnsure(Db()));
    auto complete = [&] {
        int32_t indexed = 0, total = 0;
        bool done = false;
        return LEmailFtsGetCoverage(Db(), indexed, total, done) && done && indexed == total;
    };
    LEmailFtsBackfillStart();
    EXPECT_TRUE(LTestWaitFor(10000, complete));
    ASSERT_TRUE(LEmailFtsRebuild(Db()));
    EXPECT_TRUE(LTestWaitFor(10000, complete));
    LEmailFtsBackfillSignalStop();
    LEmailFtsBackfillStop();
    ExpectIndexMatchesScan(Db());
}

TEST(FtsEscapeLike, BackslashBeforeWildcards) {
    LString out;
    LEmailSearchEscapeLike(out, u"50%_off\\now");
    EXPECT_EQ(LToUtf8(out), "50\\%\\_off\\\\now");
    EXPECT_GE(out.capacity, 260u);
    LEmailSearchEscapeLike(out, u"");
    EXPECT_EQ(out.length, 0u);
}

}  // namespace
