// What the mirror holds equals what the server holds: flags, thread links,
// decoded texts with NULs in them, mailboxes whose names differ only in case
// or are not ASCII, and mailboxes made by another client.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "foundation/lstring.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/tests/sync_fixture.h"

namespace {

std::string Message(const std::string& subject, const std::string& id, const std::string& extra = "") {
    return "From: Sender <sender@example.org>\r\nTo: alice@example.org\r\nSubject: " + subject +
           "\r\nMessage-ID: " + id + "\r\n" + extra + "Date: Tue, 15 Nov 2022 08:12:31 +0000\r\n\r\nbody\r\n";
}

class SyncFidelityTest : public SyncTest {
protected:
    // FLAGS of INBOX's rows by subject.
    std::map<std::string, std::string> StoredFlags() {
        std::map<std::string, std::string> out;
        sqlite3_stmt* st = nullptr;
        std::string sql = "SELECT SUBJECT, COALESCE(FLAGS, '') FROM EMAIL_MESSAGES WHERE MAILBOX_ID='" +
                          MailboxId("INBOX") + "';";
        if (sqlite3_prepare_v2(Db().handle, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                out[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] =
                    reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        sqlite3_finalize(st);
        return out;
    }
    // The same as the server has them ("doveadm fetch flags"), \Recent left out.
    std::map<std::string, std::string> ServerFlags() {
        std::map<std::string, std::string> out;
        std::istringstream in(dovecot_.Doveadm({"fetch", "-u", "alice", "hdr.subject flags", "mailbox", "INBOX", "all"}));
        std::string line, subject;
        while (std::getline(in, line)) {
            if (line.rfind("hdr.subject: ", 0) == 0) subject = line.substr(13);
            if (line.rfind("flags: ", 0) != 0) continue;
            std::istringstream words(line.substr(7));
            std::string flag, flags;
            while (words >> flag)
                if (flag != "\\Recent") flags += (flags.empty() ? "" : " ") + flag;
            out[subject] = flags;
        }
        return out;
    }
    void SetFlags(const char* op, const std::string& flags, const std::string& subject) {
        dovecot_.Doveadm({"flags", op, "-u", "alice", flags, "mailbox", "INBOX", "header", "Subject", subject});
    }
};

struct FlagStep {
    const char* op;
    const char* flags;
    const char* subject;
};

TEST_F(SyncFidelityTest, FlagsOnTheServerAreTheStoresAfterEachPass) {
    Prepare();
    for (const char* s : {"one", "two", "three", "four"}) ASSERT_TRUE(Save("INBOX", Message(s, std::string("<") + s + "@x>")));
    SetFlags("add", "\\Seen", "one");
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(StoredFlags(), ServerFlags()) << "flags come with the first download";
    EXPECT_EQ(StoredFlags()["one"], "\\Seen");
    // Changes without new mail, each seen by the next pass.
    const FlagStep steps[] = {
        {"add", "\\Seen", "two"},       {"add", "\\Flagged", "three"}, {"add", "\\Answered", "four"},
        {"remove", "\\Seen", "one"},    {"add", "\\Seen \\Flagged", "one"}, {"replace", "\\Answered", "three"},
    };
    for (const FlagStep& step : steps) {
        SetFlags(step.op, step.flags, step.subject);
        ASSERT_TRUE(Pass());
        EXPECT_EQ(StoredFlags(), ServerFlags()) << step.op << " " << step.flags << " on " << step.subject;
    }
    // With nothing changed, a pass reads no flags (CONDSTORE) and fetches
    // nothing.
    size_t from = dovecot_.RawInput().size();
    ASSERT_TRUE(Pass());
    std::string raw = RawSince(from);
    EXPECT_EQ(raw.find("FETCH"), std::string::npos) << raw;
}

TEST_F(SyncFidelityTest, ThreadLinksAreStored) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", Message("plan", "<a@x>")));
    ASSERT_TRUE(Save("INBOX", Message("Re: plan", "<b@x>", "In-Reply-To: <a@x>\r\nReferences: <a@x>\r\n")));
    ASSERT_TRUE(Save("INBOX", Message("Re: plan", "<c@x>", "In-Reply-To: <b@x>\r\nReferences: <a@x>\r\n <b@x>\r\n")));
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(QueryText(Db(), "SELECT group_concat(COALESCE(IN_REPLY_TO, '') || '|' || COALESCE(REFERENCES_TEXT, ''), "
                              "';') FROM (SELECT * FROM EMAIL_MESSAGES ORDER BY MESSAGE_ID);"),
              "|;<a@x>|<a@x>;<b@x>|<a@x> <b@x>");
}

TEST_F(SyncFidelityTest, DecodedNulsCutNothing) {
    Prepare();
    ASSERT_TRUE(Save("INBOX",
                     "From: a@example.org\r\nSubject: =?utf-8?q?qp_subject_with_nul_=00_inside?=\r\nMessage-ID: "
                     "<nul@x>\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                     "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                     "YmVmb3JlAGFmdGVyIHRoZSBudWwgemVyb3dvcmQ=\r\n--b\r\nContent-Type: text/plain; charset=utf-8\r\n"
                     "Content-Transfer-Encoding: quoted-printable\r\n\r\nqp before=00after qpzeroword\r\n--b--\r\n"));
    StartEngine();
    ASSERT_TRUE(Pass());
    std::string body = QueryText(Db(), "SELECT BODY_TEXT FROM EMAIL_MESSAGES;");
    EXPECT_NE(body.find("before\xEF\xBF\xBD" "after the nul zeroword"), std::string::npos) << body;
    EXPECT_NE(body.find("qp before\xEF\xBF\xBD" "after qpzeroword"), std::string::npos) << body;
    EXPECT_EQ(QueryText(Db(), "SELECT SUBJECT FROM EMAIL_MESSAGES;"), "qp subject with nul \xEF\xBF\xBD inside");
    EXPECT_NE(QueryText(Db(), "SELECT BODY_PREVIEW FROM EMAIL_MESSAGES;").find("zeroword"), std::string::npos);
    for (const char* word : {"zeroword", "qpzeroword", "inside"})
        EXPECT_EQ(QueryInt(Db(), std::string("SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '") +
                                     word + "';"),
                  1)
            << word;
}

TEST_F(SyncFidelityTest, MailboxesAreTheServersOwn) {
    Prepare();
    ASSERT_TRUE(Save("Reports", Message("upper", "<u@x>")));
    ASSERT_TRUE(Save("reports", Message("lower", "<l@x>")));
    ASSERT_TRUE(Save("reports", Message("lower two", "<l2@x>")));
    ASSERT_TRUE(Save("M\xC3\xBCll", Message("trash talk", "<m@x>")));  // doveadm takes UTF-8
    StartEngine();
    for (int pass = 0; pass < 2; pass++) {
        ASSERT_TRUE(Pass());
        EXPECT_EQ(LocalUids("Reports"), ServerUids("Reports"));
        EXPECT_EQ(LocalUids("reports"), ServerUids("reports"));
        EXPECT_NE(MailboxId("Reports"), MailboxId("reports"));
    }
    // Each keeps its own UIDVALIDITY and is not searched again.
    size_t from = dovecot_.RawInput().size();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(RawSince(from).find("SEARCH"), std::string::npos) << RawSince(from);
    // Shown decoded, selected by the server's name.
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES m JOIN EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                             "WHERE b.IMAP_NAME='M\xC3\xBCll';"),
              1);
    EXPECT_NE(dovecot_.RawInput().find("SELECT \"M&APw-ll\""), std::string::npos);

    // A mailbox another client makes brings its mail in with the next pass.
    ASSERT_TRUE(Save("Fresh", Message("fresh", "<f@x>")));
    ASSERT_TRUE(Pass());
    EXPECT_EQ(LocalUids("Fresh"), ServerUids("Fresh"));
    EXPECT_EQ(LocalUids("Fresh").size(), 1u);
}

}  // namespace
