// The IMAP client against a real Dovecot started by each test; the server's
// rawlog shows the exact command lines, doveadm the server's own view.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "net/imap/imap_client.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/test_root.h"

namespace {

class TestProgress : public LTaskProgress {
public:
    bool IsStopRequested() override { return stop; }
    uint32_t WaitStop(uint32_t) override { return stop ? 1 : 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return stop ? 1 : 2; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return stop ? 1 : 2; }
    void ShowError(const char16_t* text) override { errors.push_back(LToUtf8(text)); }
    std::string LastError() const { return errors.empty() ? "" : errors.back(); }
    std::atomic<bool> stop{false};
    std::vector<std::string> errors;
};

const char* kPassword = "p@ss \"word\" with\\space";

std::string Message(const std::string& subject, const std::string& messageId, const std::string& body) {
    return "From: Sender <sender@example.org>\r\nTo: alice@example.org\r\nSubject: " + subject +
           "\r\nMessage-ID: " + messageId + "\r\nDate: Tue, 15 Nov 2022 08:12:31 +0000\r\n\r\n" + body + "\r\n";
}

class ImapClientTest : public ::testing::Test {
protected:
    void StartServer(const std::string& capability = "") {
        LTestDovecotOptions o;
        o.users = {{"alice", kPassword}, {"bob", "pässwörd"}};
        o.capability = capability;
        o.extra = "auth_failure_delay = 0\n";
        ASSERT_TRUE(dovecot.Start(o)) << dovecot.Error();
        server = LFromUtf8(dovecot.Server());
    }
    void SignIn(LImapConnection& imap) {
        LNetOpResult r;
        ASSERT_EQ(imap.Login(r, progress, server.c_str(), u"alice", LFromUtf8(kPassword).c_str()), 0u)
            << progress.LastError() << dovecot.Log();
    }
    std::string Flags(const std::string& mailbox, uint32_t uid) {
        return dovecot.Doveadm({"fetch", "-u", "alice", "flags", "mailbox", mailbox, "uid", std::to_string(uid)});
    }
    std::string Uids(const std::string& mailbox) {
        return dovecot.Doveadm({"search", "-u", "alice", "mailbox", mailbox, "all"});
    }

    LTestRoot root;
    LTestDovecot dovecot;
    LString server;
    TestProgress progress;
};

}  // namespace

TEST_F(ImapClientTest, SignInListSelectSearchFetch) {
    StartServer();
    std::string m1 = Message("one", "<m1@example.org>", "First body\r\nline two");
    std::string m2 = Message("two", "<m2@example.org>", "Second body");
    ASSERT_TRUE(dovecot.Save("alice", "INBOX", m1));
    ASSERT_TRUE(dovecot.Save("alice", "INBOX", m2));
    dovecot.Doveadm({"mailbox", "create", "-u", "alice", "Work \"Stuff\""});
    dovecot.Doveadm({"mailbox", "create", "-u", "alice", "Archive"});

    LImapConnection imap;
    SignIn(imap);
    LNetOpResult r;
    LStringList names;
    ASSERT_EQ(imap.ListMailboxes(r, progress, names), 0u);
    ASSERT_GE(names.count, 3u);
    EXPECT_STREQ(names.ItemA(0), "INBOX");
    bool work = false, archive = false;
    for (uint64_t i = 0; i < names.count; ++i) {
        work |= std::string(names.ItemA(i)) == "Work \"Stuff\"";
        archive |= std::string(names.ItemA(i)) == "Archive";
        if (i > 0) {
            EXPECT_STRNE(names.ItemA(i), "INBOX");
        }
    }
    EXPECT_TRUE(work && archive);

    uint32_t exists = 0, validity = 0, next = 0;
    ASSERT_EQ(imap.SelectStatus(r, progress, exists, validity, next, "INBOX"), 0u);
    EXPECT_EQ(exists, 2u);
    EXPECT_NE(validity, 0u);
    EXPECT_EQ(next, 3u);

    LStringA uids;
    ASSERT_EQ(imap.SearchUids(r, progress, uids, 0), 0u);
    EXPECT_EQ(uids.Str(), "1 2");
    ASSERT_EQ(imap.SearchUids(r, progress, uids, 1), 0u);
    EXPECT_EQ(uids.Str(), "2");

    LStringA body;
    ASSERT_EQ(imap.FetchMessage(r, progress, 1, body), 0u);
    EXPECT_EQ(body.Str(), m1);
    EXPECT_EQ(Flags("INBOX", 1).find("\\Seen"), std::string::npos) << Flags("INBOX", 1);

    ASSERT_EQ(imap.Select(r, progress, "Work \"Stuff\""), 0u);
    EXPECT_EQ(imap.FetchMessage(r, progress, 0, body), 2u);
    imap.Logout(r, progress);

    std::string raw = dovecot.RawInput();
    for (const char* line : {" LIST \"\" \"*\"\r\n", " SELECT \"INBOX\"\r\n", " UID SEARCH ALL\r\n",
                             " UID SEARCH UID 2:*\r\n", " UID FETCH 1 BODY.PEEK[]\r\n",
                             " SELECT \"Work \\\"Stuff\\\"\"\r\n", " LOGOUT\r\n"})
        EXPECT_NE(raw.find(line), std::string::npos) << line << "\n" << raw;
    EXPECT_TRUE(raw.starts_with("A002 ")) << raw;  // A001 was LOGIN, before the session's log
}

TEST_F(ImapClientTest, AUidSetBringsEachBodyWithItsUidAndSkipsAnExpungedOne) {
    StartServer();
    std::vector<std::string> saved;
    for (int i = 1; i <= 3; i++) {
        // Each body differs in length, so that a literal read out of step shows.
        saved.push_back(Message("m" + std::to_string(i), "<s" + std::to_string(i) + "@example.org>",
                                std::string(100 * i, 'a' + i)));
        ASSERT_TRUE(dovecot.Save("alice", "INBOX", saved.back()));
    }
    dovecot.Doveadm({"expunge", "-u", "alice", "mailbox", "INBOX", "uid", "2"});
    LImapConnection imap;
    SignIn(imap);
    LNetOpResult r;
    ASSERT_EQ(imap.Select(r, progress, "INBOX"), 0u);
    std::map<uint32_t, std::string> got;
    ASSERT_EQ(imap.FetchMessages(r, progress, "1,2,3",
                                 [&](uint32_t uid, LStringA& message) { got[uid] = message.Str(); }),
              0u)
        << progress.LastError();
    EXPECT_EQ(got, (std::map<uint32_t, std::string>{{1, saved[0]}, {3, saved[2]}}));
    EXPECT_EQ(Flags("INBOX", 1).find("\\Seen"), std::string::npos) << Flags("INBOX", 1);
    // The connection stays in step for the next command.
    LStringA body;
    ASSERT_EQ(imap.FetchMessage(r, progress, 3, body), 0u);
    EXPECT_EQ(body.Str(), saved[2]);
    EXPECT_NE(dovecot.RawInput().find(" UID FETCH 1,2,3 BODY.PEEK[]\r\n"), std::string::npos);
}

TEST_F(ImapClientTest, AppendFindAndSecondLoginContinuesTags) {
    StartServer();
    dovecot.Doveadm({"mailbox", "create", "-u", "alice", "Sent"});
    LImapConnection imap;
    SignIn(imap);
    LNetOpResult r;
    std::string m = Message("sent copy", "<sent-1@example.org>", "Sent body");
    uint32_t validity = 0, uid = 0;
    ASSERT_EQ(imap.Append(r, progress, "Sent", m, &validity, &uid), 0u) << progress.LastError();
    std::string status = dovecot.Doveadm({"mailbox", "status", "-u", "alice", "uidvalidity", "Sent"});
    EXPECT_NE(status.find("uidvalidity=" + std::to_string(validity) + "\n"), std::string::npos) << status;
    std::string found = dovecot.Doveadm({"fetch", "-u", "alice", "uid flags", "mailbox", "Sent", "header", "Message-ID",
                                         "<sent-1@example.org>"});
    EXPECT_NE(found.find("uid: " + std::to_string(uid)), std::string::npos) << found;
    EXPECT_NE(found.find("\\Seen"), std::string::npos) << found;

    uint32_t byId = 0;
    ASSERT_EQ(imap.FindByMessageId(r, progress, "Sent", "<sent-1@example.org>", byId), 0u);
    EXPECT_EQ(byId, uid);
    ASSERT_EQ(imap.FindByMessageId(r, progress, "Sent", "<missing@example.org>", byId), 0u);
    EXPECT_EQ(byId, 0u);

    EXPECT_EQ(imap.Append(r, progress, "No Such Box", m, &validity, &uid), 2u);
    EXPECT_TRUE(progress.LastError().starts_with("IMAP received not OK response \"NO ")) << progress.LastError();
    EXPECT_EQ(validity, 0u);

    // Names that cannot be sent fail before anything goes out.
    EXPECT_EQ(imap.Select(r, progress, "Evil\r\nA999 DELETE INBOX"), 2u);
    EXPECT_EQ(imap.Select(r, progress, std::string(300, 'x').c_str()), 2u);
    EXPECT_TRUE(progress.LastError().starts_with("IMAP mailbox name")) << progress.LastError();
    // Tags keep three digits up to A999 and then simply grow.
    imap.tag = 999;

    imap.Logout(r, progress);
    SignIn(imap);
    ASSERT_EQ(imap.Select(r, progress, "INBOX"), 0u);
    imap.Logout(r, progress);

    std::string raw = dovecot.RawInput();
    EXPECT_NE(raw.find(" APPEND \"Sent\" (\\Seen) {" + std::to_string(m.size()) + "}\r\n"), std::string::npos) << raw;
    EXPECT_NE(raw.find(" UID SEARCH HEADER Message-ID \"<sent-1@example.org>\"\r\n"), std::string::npos) << raw;
    EXPECT_EQ(raw.find("DELETE"), std::string::npos);
    EXPECT_NE(raw.find("A999 LOGOUT\r\n"), std::string::npos) << raw;
    // The second session (after its LOGIN, A1000) continues the count.
    std::string tag = "A1001 SELECT \"INBOX\"\r\n";
    EXPECT_NE(raw.find(tag), std::string::npos) << tag << "\n" << raw;
}

TEST_F(ImapClientTest, SignInFailures) {
    StartServer();
    LImapConnection imap;
    LNetOpResult r;
    const std::string port = std::to_string(dovecot.ImapsPort());
    EXPECT_EQ(imap.Login(r, progress, server.c_str(), u"alice", u"wrong"), 2u);
    EXPECT_EQ(progress.LastError(), "IMAP Login Failed when logging into server 127.0.0.1:" + port +
                                        " with user name \"alice\" \"NO [AUTHENTICATIONFAILED] Authentication "
                                        "failed.\". Check password?");
    // The connection stays usable for another attempt on the same record.
    EXPECT_EQ(imap.Login(r, progress, server.c_str(), u"alice", LFromUtf8(kPassword).c_str()), 0u)
        << progress.LastError();
    imap.Logout(r, progress);

    // An 8-bit password goes as a literal.
    EXPECT_EQ(imap.Login(r, progress, server.c_str(), u"bob", u"pässwörd"), 0u) << progress.LastError();
    imap.Logout(r, progress);

    EXPECT_EQ(imap.Login(r, progress, server.c_str(), u"alice", u"a\r\nA2 LOGOUT"), 2u);
    EXPECT_EQ(progress.LastError(), "IMAP user name and password must not contain line breaks or NUL characters.");

    std::string plain = std::to_string(dovecot.ImapPort());
    LString plainServer = LFromUtf8("127.0.0.1:" + plain);
    EXPECT_EQ(imap.Login(r, progress, plainServer.c_str(), u"alice", u"x"), 2u);
    EXPECT_EQ(progress.LastError(),
              "Unable to convert socket to SSL when connecting to \"127.0.0.1\" on port " + plain + ".");

    std::string closed = std::to_string(LTestFreePort());
    LString closedServer = LFromUtf8("127.0.0.1:" + closed);
    EXPECT_EQ(imap.Login(r, progress, closedServer.c_str(), u"alice", u"x"), 2u);
    EXPECT_EQ(progress.LastError(), "Unable to connect to IMAP server \"127.0.0.1\" on port " + closed + ".");

    // A certificate for another name fails the handshake, and the error
    // names the certificate and why.
    LString byName = LFromUtf8("localhost:" + port);
    EXPECT_EQ(imap.Login(r, progress, byName.c_str(), u"alice", u"x"), 2u);
    EXPECT_EQ(progress.LastError(), "Unable to convert socket to SSL when connecting to \"localhost\" on port " + port +
                                        ". certificate /CN=127.0.0.1: hostname mismatch");
    EXPECT_EQ(imap.connection.name_mismatch, 1u);
}

TEST_F(ImapClientTest, IdleWakesOnNewMailAndEndsOnStop) {
    StartServer();
    ASSERT_TRUE(dovecot.Save("alice", "INBOX", Message("first", "<i1@example.org>", "x")));
    LImapConnection imap;
    SignIn(imap);
    LNetOpResult r;
    uint32_t exists, validity, next;
    ASSERT_EQ(imap.SelectStatus(r, progress, exists, validity, next, "INBOX"), 0u);

    std::thread saver([&] {
        LTestWaitFor(10000, [&] { return dovecot.RawInput().find(" IDLE\r\n") != std::string::npos; });
        dovecot.Save("alice", "INBOX", Message("second", "<i2@example.org>", "y"));
    });
    bool changed = false;
    EXPECT_EQ(imap.Idle(r, progress, changed), 0u);
    saver.join();
    EXPECT_TRUE(changed);

    std::thread stopper([&] {
        LTestWaitFor(10000, [&] {
            std::string raw = dovecot.RawInput();
            return raw.rfind(" IDLE\r\n") != std::string::npos && raw.rfind(" IDLE\r\n") > raw.rfind("DONE\r\n");
        });
        progress.stop = true;
    });
    EXPECT_EQ(imap.Idle(r, progress, changed), 1u);
    stopper.join();
    EXPECT_FALSE(changed);

    // The dialogue is still in step after the stop.
    progress.stop = false;
    ASSERT_EQ(imap.SelectStatus(r, progress, exists, validity, next, "INBOX"), 0u);
    EXPECT_EQ(exists, 2u);
    std::string raw = dovecot.RawInput();
    size_t first = raw.find("DONE\r\n");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(raw.find("DONE\r\n", first + 1), std::string::npos) << raw;
}

class ImapMoveTest : public ImapClientTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ImapMoveTest, MovesOneMessageAndLeavesOthersMarks) {
    StartServer(GetParam());
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(dovecot.Save("alice", "INBOX", Message("m" + std::to_string(i), "<mv" + std::to_string(i) + "@x>", "b")));
    dovecot.Doveadm({"mailbox", "create", "-u", "alice", "Trash"});
    // Someone else marked message 3 deleted without expunging it.
    dovecot.Doveadm({"flags", "add", "-u", "alice", "\\Deleted", "mailbox", "INBOX", "uid", "3"});

    LImapConnection imap;
    SignIn(imap);
    LNetOpResult r;
    uint32_t copyValidity = 0, copyUid = 0;
    ASSERT_EQ(imap.MoveMessage(r, progress, "INBOX", 1, "Trash", &copyValidity, &copyUid), 0u)
        << progress.LastError();
    imap.Logout(r, progress);
    // The copy's place as the server reports it: the moved row is linked by it.
    std::string trashUid = dovecot.Doveadm({"fetch", "-u", "alice", "uid", "mailbox", "Trash", "all"});
    std::string trashValidity = dovecot.Doveadm({"mailbox", "status", "-u", "alice", "uidvalidity", "Trash"});
    if (GetParam()[0] == 0 || copyUid != 0) {
        EXPECT_NE(trashUid.find("uid: " + std::to_string(copyUid) + "\n"), std::string::npos) << trashUid;
        EXPECT_NE(trashValidity.find("uidvalidity=" + std::to_string(copyValidity)), std::string::npos)
            << trashValidity;
    }

    EXPECT_EQ(dovecot.Doveadm({"search", "-u", "alice", "mailbox", "INBOX", "all"}).find(" 1\n"), std::string::npos);
    std::string inbox = dovecot.Doveadm({"fetch", "-u", "alice", "uid flags", "mailbox", "INBOX", "all"});
    EXPECT_EQ(inbox.find("uid: 1\n"), std::string::npos) << inbox;
    EXPECT_NE(inbox.find("uid: 2\n"), std::string::npos) << inbox;
    EXPECT_NE(inbox.find("uid: 3\nflags: \\Deleted"), std::string::npos) << inbox;
    std::string trash = dovecot.Doveadm({"fetch", "-u", "alice", "hdr.message-id", "mailbox", "Trash", "all"});
    EXPECT_NE(trash.find("<mv1@x>"), std::string::npos) << trash;

    std::string raw = dovecot.RawInput();
    std::string caps = GetParam();
    if (caps.empty()) {
        EXPECT_NE(raw.find(" UID MOVE 1 \"Trash\"\r\n"), std::string::npos) << raw;
    } else {
        EXPECT_NE(raw.find(" UID COPY 1 \"Trash\"\r\n"), std::string::npos) << raw;
        EXPECT_NE(raw.find(" UID STORE 1 +FLAGS.SILENT (\\Deleted)\r\n"), std::string::npos) << raw;
        bool uidplus = caps.find("UIDPLUS") != std::string::npos;
        EXPECT_NE(raw.find(uidplus ? " UID EXPUNGE 1\r\n" : " EXPUNGE\r\n"), std::string::npos) << raw;
    }
}

INSTANTIATE_TEST_SUITE_P(Capabilities, ImapMoveTest,
                         ::testing::Values("", "IMAP4rev1 UIDPLUS IDLE", "IMAP4rev1 IDLE"));
