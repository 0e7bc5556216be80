// The store writer on messages parsed from their raw bytes: what each row
// holds, the cached files, the whole-or-nothing write of one message, and
// the clean-up of files a crash left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "foundation/base64.h"
#include "mail/store/mailboxes.h"
#include "mail/store/message_store.h"
#include "mail/store/tests/store_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string AllBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s.push_back(char(i));
    return s;
}

std::string B64(const std::string& bytes) {
    LStringA out;
    LBase64EncodeA(bytes.data(), bytes.size(), out);
    return out.Str();
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
// The line break before a boundary belongs to the boundary.
const std::string kInner = "Subject: Inner report\r\nMessage-ID: <inner@example.org>\r\n\r\ninner body";

// No Date and no Message-ID; an 8-bit body in ISO-8859-1; a binary, a
// quoted-printable .txt and a zero-byte attachment; an inline image; an
// attached message.
std::string RichMessage() {
    return "From: \"M\xc3\xbcller, J\xc3\xb6rg\" <JOERG@Example.org>\r\n"
           "To: a@example.org, \"Doe, Jane\" <jane@example.org>, not an address\r\n"
           "Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe?=\r\n"
           "Auto-Submitted: auto-replied\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=b1\r\n\r\n"
           "--b1\r\nContent-Type: multipart/related; boundary=b2\r\n\r\n"
           "--b2\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
           "  K\xf6ln\r\n\r\n\t\xfc" "ber  \r\n"
           "--b2\r\nContent-Type: image/png\r\nContent-ID: <img1@example.org>\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           B64(kPng) +
           "\r\n--b2--\r\n"
           "--b1\r\nContent-Type: application/octet-stream; name=\"bin.dat\"\r\n"
           "Content-Disposition: attachment; filename=\"bin.dat\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           B64(AllBytes()) +
           "\r\n--b1\r\nContent-Type: text/csv; charset=utf-8; name=\"notes.txt\"\r\n"
           "Content-Disposition: attachment; filename=\"notes.txt\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
           "caf=C3=A9 =3D ok\r\n"
           "--b1\r\nContent-Type: application/x-empty\r\nContent-Disposition: attachment; filename=\"empty.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n=\r\n"
           "--b1\r\nContent-Type: message/rfc822\r\n\r\n" +
           kInner + "\r\n--b1--\r\n";
}

std::string Simple(const std::string& subject, const std::string& message_id, const std::string& extra = "") {
    std::string s = "From: a@example.org\r\nSubject: " + subject + "\r\nDate: Tue, 15 Nov 2022 08:12:31 +0000\r\n";
    if (!message_id.empty()) s += "Message-ID: " + message_id + "\r\n";
    return s + extra + "\r\nbody of " + subject + "\r\n";
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Stored {
    int rc = -1;
    std::string id;
    bool is_new = false;
};

class MessageStoreTest : public StoreTest {
protected:
    Stored Store(const std::string& bytes, uint32_t uid, uint32_t uidvalidity = 100,
                 const char16_t* mailbox = u"mbx1") {
        EMLMimeMessage m;
        m.Parse(bytes);
        LString id;
        Stored s;
        s.rc = LEmailStoreMessage(Db(), id, s.is_new, u"acc1", mailbox, uid, uidvalidity, bytes.size(), m);
        s.id = LToUtf8(id);
        return s;
    }
    std::string Cache() { return root_.Path() + "/home/.local/share/Vek Software/Porlinex/CachedAttachments"; }
    // Every file under the cache, relative to it.
    std::vector<std::string> CacheFiles() {
        std::vector<std::string> out;
        if (!fs::exists(Cache())) return out;
        for (auto& e : fs::recursive_directory_iterator(Cache()))
            if (e.is_regular_file()) out.push_back(fs::relative(e.path(), Cache()).string());
        std::sort(out.begin(), out.end());
        return out;
    }
    int64_t Count(const std::string& table, const std::string& where = "1") {
        return QueryInt(Db(), "SELECT COUNT(*) FROM " + table + " WHERE " + where);
    }
};

}  // namespace

TEST_F(MessageStoreTest, RichMessageIsStoredWholeWithItsPartsCachedByteExact) {
    Stored s = Store(RichMessage(), 7);
    ASSERT_EQ(s.rc, 0);
    EXPECT_TRUE(s.is_new);
    ASSERT_EQ(s.id.size(), 10u);
    const std::string row = "ID='" + s.id + "'";
    EXPECT_EQ(QueryText(Db(), "SELECT SUBJECT FROM EMAIL_MESSAGES WHERE " + row), "Grüße");
    // The 8-bit body went through its charset, not through a wide copy.
    EXPECT_EQ(QueryText(Db(), "SELECT BODY_PREVIEW FROM EMAIL_MESSAGES WHERE " + row), "Köln über");
    // No Date: SENT_UTC 0, the store time elsewhere.
    EXPECT_EQ(QueryInt(Db(), "SELECT SENT_UTC FROM EMAIL_MESSAGES WHERE " + row), 0);
    EXPECT_GT(QueryInt(Db(), "SELECT RECEIVED_UTC FROM EMAIL_MESSAGES WHERE " + row), 0);
    EXPECT_EQ(QueryText(Db(), "SELECT MESSAGE_ID FROM EMAIL_MESSAGES WHERE " + row), "");
    EXPECT_EQ(QueryInt(Db(), "SELECT SIZE_BYTES FROM EMAIL_MESSAGES WHERE " + row),
              static_cast<int64_t>(RichMessage().size()));
    EXPECT_EQ(QueryInt(Db(), "SELECT HAS_ATTACHMENTS FROM EMAIL_MESSAGES WHERE " + row), 1);
    EXPECT_EQ(QueryText(Db(), "SELECT AUTO_SUBMITTED FROM AUTORESPONDER_MESSAGE_SAFETY WHERE EMAIL_MESSAGE_ID='" +
                                  s.id + "'"),
              "auto-replied");
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH 'köln'"), 1);

    struct Expected {
        std::string name, type, content_id;
        int inline_flag;
        std::string bytes;
    };
    std::map<std::string, Expected> expected = {
        {"1", {"", "image/png", "<img1@example.org>", 1, kPng}},
        {"2", {"bin.dat", "application/octet-stream", "", 0, AllBytes()}},
        {"3", {"notes.txt", "text/csv", "", 0, "café = ok"}},
        {"4", {"empty.bin", "application/x-empty", "", 0, ""}},
        {"5", {"Inner report.eml", "message/rfc822", "", 0, kInner}},
    };
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(Db().handle,
                                 ("SELECT PART_ID, FILENAME, CONTENT_TYPE, CONTENT_ID, IS_INLINE, SIZE_BYTES, "
                                  "STORAGE_PATH, ID FROM EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID='" +
                                  s.id + "' ORDER BY PART_ID")
                                     .c_str(),
                                 -1, &st, nullptr),
              SQLITE_OK);
    size_t rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++rows;
        auto text = [&](int i) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i))); };
        std::string part = text(0);
        SCOPED_TRACE(part);
        ASSERT_TRUE(expected.count(part));
        const Expected& e = expected[part];
        if (!e.name.empty()) {
            EXPECT_EQ(text(1), e.name);
        }
        EXPECT_EQ(text(2), e.type);
        EXPECT_EQ(text(3), e.content_id);
        EXPECT_EQ(sqlite3_column_int(st, 4), e.inline_flag);
        EXPECT_EQ(sqlite3_column_int64(st, 5), static_cast<int64_t>(e.bytes.size()));
        std::string path = text(6);
        EXPECT_EQ(path.rfind(Cache() + "/" + s.id + "/" + text(7) + "-", 0), 0u) << path;
        EXPECT_EQ(ReadFile(path), e.bytes);
    }
    sqlite3_finalize(st);
    EXPECT_EQ(rows, expected.size());
    EXPECT_EQ(CacheFiles().size(), expected.size());  // no temporary file left

    // Addresses: the quoted comma does not split, ordinals count every item.
    EXPECT_EQ(QueryText(Db(), "SELECT group_concat(KIND || ':' || ORDINAL || ':' || EMAIL || ':' || DISPLAY_NAME, "
                              "'|') FROM (SELECT * FROM EMAIL_MESSAGE_ADDRESSES WHERE MESSAGE_ID='" +
                                  s.id + "' ORDER BY KIND, ORDINAL)"),
              "FROM:0:joerg@example.org:Müller, Jörg|TO:0:a@example.org:|TO:1:jane@example.org:Doe, Jane");
}

TEST_F(MessageStoreTest, FindsTheRowThatAlreadyHoldsTheMessage) {
    const std::string a = Simple("alpha", "<a@example.org>");
    Stored first = Store(a, 5, 100);
    ASSERT_EQ(first.rc, 0);
    ASSERT_TRUE(first.is_new);

    // The same UID again: updated in place, attachments not added twice.
    Stored again = Store(a, 5, 100);
    EXPECT_EQ(again.id, first.id);
    EXPECT_FALSE(again.is_new);

    // Two copies from before a UIDVALIDITY change: the newest seen wins.
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET LAST_SEEN_UTC=1000 WHERE ID='" + first.id + "'");
    Stored older = Store(a, 6, 100);
    ASSERT_TRUE(older.is_new);
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET LAST_SEEN_UTC=2000 WHERE ID='" + older.id + "'");
    Stored moved = Store(a, 1, 200);
    EXPECT_FALSE(moved.is_new);
    EXPECT_EQ(moved.id, older.id);
    EXPECT_EQ(QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + older.id + "'"), 1);

    // Without a Message-ID nothing ties the new UIDVALIDITY to the old row.
    const std::string b = Simple("beta", "");
    ASSERT_TRUE(Store(b, 9, 100).is_new);
    EXPECT_TRUE(Store(b, 2, 200).is_new);

    // A row moved here and not yet linked to its server copy is adopted by
    // Message-ID and size, never stored twice.
    const std::string c = Simple("gamma", "<c@example.org>");
    Stored source = Store(c, 40, 300, u"mbx2");
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET MAILBOX_ID='mbx1', UID=-rowid WHERE ID='" + source.id + "'");
    Stored copy = Store(c, 3, 200);
    EXPECT_FALSE(copy.is_new);
    EXPECT_EQ(copy.id, source.id);
    EXPECT_EQ(QueryText(Db(), "SELECT UID || '/' || UIDVALIDITY FROM EMAIL_MESSAGES WHERE ID='" + source.id + "'"),
              "3/200");
}

// The target's pass may store the server copy before the worker links the
// moved row to it (no Message-ID to adopt it by): the link keeps the moved
// row and drops the copy with its attachments and files.
TEST_F(MessageStoreTest, LinkingAMovedRowReplacesACopyStoredFirst) {
    const std::string bytes = RichMessage();
    Stored moved = Store(bytes, 40, 300, u"mbx2");
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET MAILBOX_ID='mbx1', UID=-rowid WHERE ID='" + moved.id + "'");
    Stored copy = Store(bytes, 3, 200);
    ASSERT_TRUE(copy.is_new);
    ASSERT_EQ(CacheFiles().size(), 10u);
    ASSERT_TRUE(LEmailMoveLink(Db(), LFromUtf8(moved.id).c_str(), u"mbx1", 200, 3));
    EXPECT_EQ(QueryText(Db(), "SELECT group_concat(ID || ':' || UID || '/' || UIDVALIDITY) FROM EMAIL_MESSAGES"),
              moved.id + ":3/200");
    EXPECT_EQ(Count("EMAIL_MESSAGE_ATTACHMENTS", "MESSAGE_ID='" + copy.id + "'"), 0);
    EXPECT_EQ(Count("EMAIL_MESSAGE_ADDRESSES", "MESSAGE_ID='" + copy.id + "'"), 0);
    EXPECT_EQ(CacheFiles().size(), 5u);
}

// A message whose writes fail part-way leaves nothing: no row, no address,
// safety or index entry, no cache file; the next message of the batch is
// stored as if nothing happened.
TEST_F(MessageStoreTest, AFailedMessageLeavesNothingBehind) {
    Exec(Db(),
         "CREATE TRIGGER poison BEFORE INSERT ON EMAIL_MESSAGE_ATTACHMENTS WHEN NEW.FILENAME='notes.txt' "
         "BEGIN SELECT RAISE(ABORT, 'poisoned'); END;");
    {
        LEmailStoreBatch batch(Db());
        ASSERT_TRUE(batch.Began());
        LString id;
        bool is_new = true;
        const std::string rich = RichMessage();
        EXPECT_EQ(batch.StoreBytes(id, is_new, u"acc1", u"mbx1", 1, 100, rich), 2);
        EXPECT_TRUE(id.IsEmpty());
        EXPECT_FALSE(is_new);
        EXPECT_TRUE(CacheFiles().empty());
        const std::string ok = Simple("fine", "<f@example.org>", "Content-Type: application/pdf; name=a.pdf\r\n");
        EXPECT_EQ(batch.StoreBytes(id, is_new, u"acc1", u"mbx1", 2, 100, ok), 0);
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(Count("EMAIL_MESSAGES"), 1);
    EXPECT_EQ(Count("EMAIL_MESSAGES", "UID=1"), 0);
    EXPECT_EQ(Count("EMAIL_MESSAGE_ADDRESSES"), 1);  // the From of the second
    EXPECT_EQ(Count("AUTORESPONDER_MESSAGE_SAFETY"), 1);
    EXPECT_EQ(Count("EMAIL_MESSAGE_ATTACHMENTS"), 1);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH 'köln'"), 0);
    EXPECT_EQ(CacheFiles().size(), 1u);

    // A batch that is never committed keeps none of its files either.
    Exec(Db(), "DROP TRIGGER poison;");
    {
        LEmailStoreBatch batch(Db());
        LString id;
        bool is_new = false;
        ASSERT_EQ(batch.StoreBytes(id, is_new, u"acc1", u"mbx1", 3, 100, RichMessage()), 0);
        EXPECT_EQ(CacheFiles().size(), 6u);  // five temporary files beside the first message's
    }
    EXPECT_EQ(Count("EMAIL_MESSAGES"), 1);
    EXPECT_EQ(CacheFiles().size(), 1u);
}

// Files a crash left behind (temporary ones, and final ones whose rows were
// never committed) go at the next start; those a row names stay.
TEST_F(MessageStoreTest, CleanupAtStartRemovesFilesWithoutRows) {
    Stored s = Store(RichMessage(), 1);
    ASSERT_EQ(s.rc, 0);
    std::vector<std::string> kept = CacheFiles();
    const std::string folder = Cache() + "/" + s.id;
    std::ofstream(folder + "/abcdefghij.tmp") << "partial";
    std::ofstream(folder + "/abcdefghij-late.pdf") << "never committed";
    fs::create_directories(Cache() + "/zzzzzzzzzz");
    std::ofstream(Cache() + "/zzzzzzzzzz/qqqqqqqqqq-x.bin") << "row rolled back";
    LEmailAttachmentCacheCleanup(Db());
    EXPECT_EQ(CacheFiles(), kept);
    EXPECT_FALSE(fs::exists(Cache() + "/zzzzzzzzzz"));
}

TEST(MessageStoreNames, CacheNamesFitTheFileSystem) {
    LTestRoot root;
    struct Case {
        std::u16string name;
        std::string expected_tail;  // "" to check only the rules
    } cases[] = {
        {u"report.pdf", "abcdefghij-report.pdf"},
        {u"../../etc/passwd", ""},
        {u".hidden", ""},
        {u"", "abcdefghij-attachment.bin"},
        {u"///", "abcdefghij-attachment.bin"},
        {std::u16string(200, u'\u00e9') + u".txt", ""},  // 2 bytes each in UTF-8
        {std::u16string(100, u'\u20ac'), ""},            // 3 bytes each
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(LToUtf8(c.name.c_str()));
        LString path;
        ASSERT_TRUE(LEmailAttachmentCachePath(u"klmnopqrst", u"abcdefghij", c.name.c_str(), path));
        std::string p = LToUtf8(path);
        std::string name = p.substr(p.rfind('/') + 1);
        EXPECT_EQ(p.substr(0, p.size() - name.size()).find("/CachedAttachments/klmnopqrst/"),
                  p.size() - name.size() - 30);
        EXPECT_LE(name.size(), 255u);
        EXPECT_NE(name[0], '.');
        EXPECT_EQ(name.rfind("abcdefghij-", 0), 0u);
        EXPECT_EQ(LToUtf8(LFromUtf8(name)), name);  // whole UTF-8 sequences only
        if (!c.expected_tail.empty()) {
            EXPECT_EQ(name, c.expected_tail);
        }
    }
    LString path;
    EXPECT_FALSE(LEmailAttachmentCachePath(u"../x", u"abcdefghij", u"a", path));
    EXPECT_FALSE(LEmailAttachmentCachePath(u"klmnopqrst", u"", u"a", path));
}

TEST(MessageStoreText, PreviewAndDisplayNames) {
    struct Preview {
        const char16_t* text;
        const char16_t* html;
        size_t size;
        const char16_t* expected;
    } previews[] = {
        {u"  \r\n\tfirst\r\n\r\n    second \t\r\n", u"", 260, u"first second"},
        {u"", u"<p>from <b>html</b></p>", 260, u"from html"},
        {u"abc def", u"", 5, u"abc"},
        {u"", u"", 260, u""},
    };
    for (const Preview& p : previews) {
        char16_t out[260];
        LString text, html;
        text.Append(p.text);
        html.Append(p.html);
        LEmailMakePreviewText(text, html, out, p.size);
        EXPECT_EQ(LToUtf8(out), LToUtf8(p.expected));
    }

    struct Name {
        const char16_t* item;
        const char16_t* address;
        const char16_t* expected;
    } names[] = {
        {u"\"Doe, Jane\" <jane@example.org>", u"jane@example.org", u"Doe, Jane"},
        {u"Jane Doe <jane@example.org>", u"jane@example.org", u"Jane Doe"},
        {u"jane@example.org", u"jane@example.org", u""},
        {u"\"Doe\" Jane <jane@example.org>", u"jane@example.org", u"\"Doe\" Jane"},
    };
    for (const Name& n : names) {
        LString out;
        LEmailSplitDisplayName(n.item, n.address, out);
        EXPECT_EQ(LToUtf8(out), LToUtf8(n.expected));
    }
}

// Every new message runs the look-up, so a scan of its mailbox makes the
// first mirror quadratic; each statement it runs must seek an index on a
// store that holds no statistics yet.
TEST_F(MessageStoreTest, LookUpOfANewMessageSeeksAnIndex) {
    for (int i = 1; i <= 200; ++i)
        ASSERT_EQ(Store(Simple("bulk " + std::to_string(i), "<bulk" + std::to_string(i) + "@example.org>"), i, 100).rc,
                  0);
    std::vector<std::string> statements;
    sqlite3_trace_v2(
        Db().handle, SQLITE_TRACE_STMT,
        [](unsigned, void* ctx, void* p, void*) -> int {
            char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(p));
            if (sql) static_cast<std::vector<std::string>*>(ctx)->push_back(sql);
            sqlite3_free(sql);
            return 0;
        },
        &statements);
    LString row_id;
    EXPECT_FALSE(LEmailFindStoredMessage(Db(), row_id, u"acc1", u"mbx1", 999, 101, 4321, u"<new@example.org>"));
    sqlite3_trace_v2(Db().handle, 0, nullptr, nullptr);
    ASSERT_EQ(statements.size(), 3u);
    for (const std::string& sql : statements) {
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(Db().handle, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &st, nullptr), SQLITE_OK);
        std::string plan;
        while (sqlite3_step(st) == SQLITE_ROW) plan += reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
        sqlite3_finalize(st);
        SCOPED_TRACE(sql + "\n" + plan);
        const bool seeks_uid = plan.find("UIDVALIDITY=? AND UID=?") != std::string::npos;
        const bool seeks_message_id = plan.find("MAILBOX_ID=? AND MESSAGE_ID=?") != std::string::npos;
        // Negative UIDs are only the few moved rows still waiting for their link.
        const bool seeks_unlinked = plan.find("MAILBOX_ID=? AND UID<?") != std::string::npos;
        EXPECT_TRUE(seeks_uid || seeks_message_id || seeks_unlinked);
    }
}

// The address rows of a message go out in multi-row statements: a header
// with more items than one statement takes, names that need quoting, and
// every kind, each row once with its place in its header.
TEST_F(MessageStoreTest, EveryAddressOfALongListIsStoredOnce) {
    std::string to;
    for (int i = 0; i < 1203; ++i)
        to += (i ? ", \"O'Brien " : "\"O'Brien ") + std::to_string(i) + "\" <u" + std::to_string(i) + "@example.org>";
    Stored s = Store(Simple("many", "<many@example.org>",
                            "To: " + to + "\r\nCc: c@example.org\r\nReply-To: \"R, Q\" <r@example.org>\r\n"),
                     1);
    ASSERT_EQ(s.rc, 0);
    const std::string mine = "MESSAGE_ID='" + s.id + "'";
    EXPECT_EQ(Count("EMAIL_MESSAGE_ADDRESSES", mine), 1206);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(DISTINCT ORDINAL) FROM EMAIL_MESSAGE_ADDRESSES WHERE KIND='TO' AND " + mine),
              1203);
    struct Row {
        const char* kind;
        const char* email;
        const char* name;  // as an SQL literal
        int ordinal;
    };
    const Row rows[] = {
        {"FROM", "a@example.org", "''", 0},
        {"TO", "u0@example.org", "'O''Brien 0'", 0},
        {"TO", "u499@example.org", "'O''Brien 499'", 499},
        {"TO", "u500@example.org", "'O''Brien 500'", 500},
        {"TO", "u1202@example.org", "'O''Brien 1202'", 1202},
        {"CC", "c@example.org", "''", 0},
        {"REPLYTO", "r@example.org", "'R, Q'", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.email);
        EXPECT_EQ(Count("EMAIL_MESSAGE_ADDRESSES", mine + " AND KIND='" + r.kind + "' AND EMAIL='" + r.email +
                                                       "' AND DISPLAY_NAME=" + r.name +
                                                       " AND ORDINAL=" + std::to_string(r.ordinal)),
                  1);
    }
}

// One statement writes the new rows of a whole batch, and no message has a
// savepoint of its own: a message refused part-way (its row written, its
// addresses refused) rolls the batch back, and the messages around it keep
// the IDs they were given, their own values (texts as texts, numbers as
// integers) and their cached files.
TEST_F(MessageStoreTest, ABatchStoresTheOthersWhenOneRowIsRefused) {
    Exec(Db(),
         "CREATE TRIGGER refuse BEFORE INSERT ON EMAIL_MESSAGE_ADDRESSES WHEN NEW.MESSAGE_ID IN (SELECT ID FROM "
         "EMAIL_MESSAGES WHERE SUBJECT='refused') BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    struct Case {
        uint32_t uid;
        std::string subject;
        const char16_t* flags;
        int rc;
        std::string extra;
    };
    const Case cases[] = {{6, "attached", nullptr, 0, "Content-Type: application/pdf; name=a.pdf\r\n"},
                          {7, "first", u"\\Seen", 0, ""},
                          {8, "refused", nullptr, 2, ""},
                          {9, "third", nullptr, 0, ""}};
    std::vector<std::string> ids;
    {
        LEmailStoreBatch batch(Db());
        ASSERT_TRUE(batch.Began());
        for (const Case& c : cases) {
            LString id;
            bool is_new = false;
            EXPECT_EQ(batch.StoreBytes(id, is_new, u"acc1", u"mbx1", c.uid, 100,
                                       Simple(c.subject, "<" + c.subject + "@example.org>", c.extra), c.flags),
                      c.rc);
            EXPECT_EQ(is_new, c.rc == 0);
            if (c.rc == 0) ids.push_back(LToUtf8(id));
        }
        EXPECT_TRUE(batch.Commit());
    }
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(Count("EMAIL_MESSAGES", "ID IN ('" + ids[0] + "', '" + ids[1] + "', '" + ids[2] + "')"), 3);
    ASSERT_EQ(CacheFiles().size(), 1u);
    EXPECT_EQ(CacheFiles()[0].substr(0, ids[0].size() + 1), ids[0] + "/");
    EXPECT_EQ(Count("EMAIL_MESSAGE_ATTACHMENTS", "MESSAGE_ID='" + ids[0] + "'"), 1);
    EXPECT_EQ(Count("EMAIL_MESSAGES"), 3);
    for (const Case& c : cases) {
        if (c.rc != 0 || !c.extra.empty()) continue;
        SCOPED_TRACE(c.subject);
        const std::string size = std::to_string(Simple(c.subject, "<" + c.subject + "@example.org>").size());
        EXPECT_EQ(Count("EMAIL_MESSAGES",
                        "UID=" + std::to_string(c.uid) + " AND typeof(UID)='integer' AND UIDVALIDITY=100 AND "
                        "ACCOUNT_ID='acc1' AND MAILBOX_ID='mbx1' AND SUBJECT='" + c.subject + "' AND MESSAGE_ID='<" +
                            c.subject + "@example.org>' AND FROM_TEXT='a@example.org' AND BODY_TEXT LIKE 'body of " +
                            c.subject + "%' AND BODY_HTML='' AND BODY_PREVIEW='body of " + c.subject +
                            "' AND FLAGS='" + (c.flags ? "\\Seen" : "") + "' AND SENT_UTC=1668499951 AND "
                            "RECEIVED_UTC=1668499951 AND INTERNAL_DATE_UTC=1668499951 AND LAST_SEEN_UTC=1668499951 "
                            "AND typeof(SIZE_BYTES)='integer' AND SIZE_BYTES=" + size +
                            " AND IN_REPLY_TO='' AND REFERENCES_TEXT='' AND HAS_ATTACHMENTS=0"),
                  1);
        EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '" +
                                     c.subject + "'"),
                  1);
    }
    EXPECT_EQ(Count("EMAIL_MESSAGES", "SUBJECT='refused'"), 0);
    EXPECT_EQ(Count("EMAIL_MESSAGE_ADDRESSES"), 3);
    EXPECT_EQ(Count("AUTORESPONDER_MESSAGE_SAFETY"), 3);
}
