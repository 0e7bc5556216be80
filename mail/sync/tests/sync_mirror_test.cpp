// The account worker against a real Dovecot: a first pass mirrors what the
// server holds, a second changes nothing, and only arrivals run the hooks.
#include <gtest/gtest.h>

#include <regex>

#include "foundation/lstring.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/tests/sync_fixture.h"

namespace {

std::string Binary256() {
    std::string b;
    for (int i = 0; i < 256; i++) b += static_cast<char>(i);
    return b;
}

std::string Base64(const std::string& bytes) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= uint8_t(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= uint8_t(bytes[i + 2]);
        out += t[(n >> 18) & 63];
        out += t[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? t[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? t[n & 63] : '=';
    }
    return out + "\r\n";
}

std::string Multipart(const std::string& subject, const std::string& id, const std::string& parts) {
    return "From: Sender <sender@example.org>\r\nTo: alice@example.org\r\nSubject: " + subject + "\r\nMessage-ID: " +
           id + "\r\nDate: Tue, 15 Nov 2022 08:12:31 +0000\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
           "boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n" + parts + "--b1--\r\n";
}

std::string Part(const std::string& headers, const std::string& body) { return "--b1\r\n" + headers + "\r\n\r\n" + body + "\r\n"; }

// A store dump with the time stamps masked: a pass that finds nothing new
// may still note when it looked.
std::string Dump(const std::string& dbPath) {
    FILE* p = popen(("sqlite3 '" + dbPath + "' .dump").c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    if (p) pclose(p);
    return std::regex_replace(out, std::regex("'\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d'"), "'T'");
}

}  // namespace

TEST_F(SyncTest, FirstPassMirrorsTheServerAndASecondChangesNothing) {
    Prepare();
    const std::string reports = "Reports \xc3\xbc 2024";
    struct Fixture {
        const char* mailbox;
        std::string message;
    } fixtures[] = {
        {"INBOX", "From: a@example.org\r\nSubject: eight bit\r\nMessage-ID: <8bit@x>\r\nDate: Tue, 15 Nov 2022 "
                  "08:12:31 +0000\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                  "Gr\xc3\xbc\xc3\x9f" "e\r\n"},
        {"INBOX", "From: a@example.org\r\nSubject: quoted\r\nMessage-ID: <qp@x>\r\nDate: Tue, 15 Nov 2022 08:12:31 "
                  "+0000\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                  "caf=C3=A9\r\n"},
        {"INBOX", Multipart("binary", "<bin@x>",
                            Part("Content-Type: application/octet-stream; name=\"blob.bin\"\r\nContent-Disposition: "
                                 "attachment; filename=\"blob.bin\"\r\nContent-Transfer-Encoding: base64",
                                 Base64(Binary256())))},
        {"INBOX", Multipart("text and empty", "<txt@x>",
                            Part("Content-Type: text/plain; name=\"notes.txt\"\r\nContent-Disposition: attachment; "
                                 "filename=\"notes.txt\"",
                                 "line one") +
                                Part("Content-Type: application/octet-stream\r\nContent-Disposition: attachment; "
                                     "filename=\"empty.dat\"\r\nContent-Transfer-Encoding: base64",
                                     ""))},
        {"Work", Multipart("forwarded", "<fwd@x>",
                           Part("Content-Type: message/rfc822", SyncMessage("inner", "<inner@x>", "inner body")))},
        {"Work", Multipart("inline image", "<img@x>",
                           Part("Content-Type: image/png; name=\"dot.png\"\r\nContent-ID: <dot@x>\r\n"
                                "Content-Disposition: inline; filename=\"dot.png\"\r\nContent-Transfer-Encoding: base64",
                                Base64("\x89PNG\r\n\x1a\n"))) },
        {reports.c_str(), "From: a@example.org\r\nSubject: bare\r\n\r\nno date, no id\r\n"},
    };
    for (const Fixture& f : fixtures) ASSERT_TRUE(Save(f.mailbox, f.message)) << f.mailbox;
    StartEngine();
    ASSERT_TRUE(Pass());

    // The store keeps the name decoded (modified UTF-7 on the wire).
    struct Names {
        std::string server, stored;
    } names[] = {{"INBOX", "INBOX"}, {"Work", "Work"}, {reports, reports}};
    for (const Names& n : names) {
        EXPECT_EQ(LocalUids(n.stored), ServerUids(n.server)) << n.server;
        EXPECT_FALSE(ServerUids(n.server).empty()) << n.server;
    }
    struct Expect {
        const char* subject;
        const char* bodyHas;
    } expects[] = {{"eight bit", "Gr\xc3\xbc\xc3\x9f" "e"}, {"quoted", "caf\xc3\xa9"}, {"bare", "no date"}};
    for (const Expect& e : expects)
        EXPECT_NE(QueryText(Db(), std::string("SELECT BODY_TEXT FROM EMAIL_MESSAGES WHERE SUBJECT='") + e.subject + "';")
                      .find(e.bodyHas),
                  std::string::npos)
            << e.subject;
    // The binary attachment's cached bytes are the sent bytes exactly.
    std::string path = QueryText(Db(), "SELECT STORAGE_PATH FROM EMAIL_MESSAGE_ATTACHMENTS WHERE FILENAME='blob.bin';");
    EXPECT_EQ(LTestReadFile(path), Binary256()) << path;
    EXPECT_EQ(Rows("ID NOT IN (SELECT MESSAGE_ID FROM EMAIL_MESSAGE_ADDRESSES WHERE KIND='FROM')"), 0);
    EXPECT_EQ(arrivals_.load(), 0);

    std::string dbPath = root_.DataFolder() + "/main.db";
    std::string before = Dump(dbPath);
    size_t raw = dovecot_.RawInput().size();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(Dump(dbPath), before);
    std::string again = RawSince(raw);
    EXPECT_EQ(again.find("SEARCH"), std::string::npos) << again;
    EXPECT_EQ(again.find("FETCH"), std::string::npos) << again;
}

TEST_F(SyncTest, OnlyArrivalsRunTheHooksAndAUidValidityChangeRelinks) {
    Prepare();
    BulkSave(500, "old");
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(Rows(), 500);
    EXPECT_EQ(arrivals_.load(), 0) << "a first mirror brings old mail, not arrivals";

    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(Save("INBOX", SyncMessage("new " + std::to_string(i), "<new" + std::to_string(i) + "@x>")));
    ASSERT_TRUE(Pass());
    EXPECT_EQ(Rows(), 503);
    EXPECT_EQ(arrivals_.load(), 3);

    dovecot_.Doveadm({"mailbox", "update", "-u", "alice", "--uid-validity", "4242", "INBOX"});
    ASSERT_TRUE(Pass());
    EXPECT_EQ(Rows(), 503) << "rows of the old UIDVALIDITY are relinked, not duplicated";
    EXPECT_EQ(Rows("UIDVALIDITY=4242"), 503);
    EXPECT_EQ(LocalUids("INBOX"), ServerUids("INBOX"));
    EXPECT_EQ(arrivals_.load(), 3);
}

TEST_F(SyncTest, StatusReportsTheWorker) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", SyncMessage("one", "<one@x>")));
    StartEngine();
    ASSERT_TRUE(Pass());
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    ASSERT_TRUE(LMailSyncWriteStatusJson(json));
    json.EndObject();
    std::string s = text.c_str();
    EXPECT_NE(s.find("\"id\":\"acc1\""), std::string::npos) << s;
    EXPECT_NE(s.find("\"state\":\"uptodate\""), std::string::npos) << s;
    EXPECT_NE(s.find("\"progress_percent\":100"), std::string::npos) << s;
    EXPECT_NE(s.find("\"last_error\":\"\""), std::string::npos) << s;
    EXPECT_NE(s.find("\"has_sync_thread\":true"), std::string::npos) << s;

    // A one-mailbox sync through a one-shot worker.
    ASSERT_TRUE(Save("INBOX", SyncMessage("two", "<two@x>")));
    bool engaged = false, found = false, mailbox = false;
    int32_t woken = 0;
    LString id = LFromUtf8(MailboxId("INBOX"));
    EXPECT_TRUE(LMailSyncMailboxAndWait(wait_, u"acc1", id.c_str(), 60000, engaged, woken, found, mailbox));
    EXPECT_TRUE(engaged && found && mailbox);
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return Rows() == 2; }));
}
