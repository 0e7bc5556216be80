// The IMAP client against a server that misbehaves on purpose (a small
// Python peer over TLS on loopback): a reply line that never ends, and a
// literal whose text reads like the tagged reply.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "foundation/wait.h"
#include "net/imap/imap_client.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

class QuietProgress : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 2; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 2; }
    void ShowError(const char16_t* text) override { errors.push_back(LToUtf8(text)); }
    std::vector<std::string> errors;
};

class ImapHostileTest : public ::testing::Test {
protected:
    void StartPeer(const char* mode) {
        int port = LTestFreePort();
        out_ = root_.Path() + "/peer.out";
        peer_ = std::make_unique<LTestProcess>(
            LTestRedirectedArgv({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/net/imap/tests/testdata/hostile_imap.py",
                                 std::to_string(port), leaf_.chain_path, leaf_.key_path, mode},
                                "/dev/null", out_));
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out_).find("READY") != std::string::npos; }));
        server_ = LFromUtf8("localhost:" + std::to_string(port));
    }
    void SignIn() {
        LNetOpResult r;
        ASSERT_EQ(imap_.Login(r, progress_, server_.c_str(), u"alice", u"secret"), LNetDone) << LTestReadFile(out_);
    }

    LTestRoot root_;
    LTestCertificateAuthority ca_{root_.Path()};
    LTestScopedEnv trust_{"SSL_CERT_FILE", ca_.CaPath()};
    LTestIssuedCertificate leaf_ = ca_.Issue("imap");
    std::unique_ptr<LTestProcess> peer_;
    std::string out_;
    LString server_;
    QuietProgress progress_;
    LImapConnection imap_;
};

// A line without an end fails once it passes the limit, and the connection
// is closed: the client neither grows without bound nor reads on forever.
TEST_F(ImapHostileTest, EndlessReplyLineFailsAtTheLimit) {
    StartPeer("endless-line");
    SignIn();
    LNetOpResult r;
    EXPECT_EQ(imap_.Capability(r, progress_), LNetFailed);
    EXPECT_EQ(imap_.connection.socket, LInvalidSocket);
    ASSERT_EQ(peer_->Wait(20000), 0);
    std::string out = LTestReadFile(out_);
    size_t at = out.find("SENT ");
    ASSERT_NE(at, std::string::npos) << out;
    uint64_t sent = std::stoull(out.substr(at + 5));
    EXPECT_GE(sent, LImapMaxLine - 65536 * 4);
    // What the peer managed to push beyond the limit is what the socket
    // buffers held when the client closed.
    EXPECT_LT(sent, LImapMaxLine + (uint64_t(16) << 20));
}

// A server that stops answering is given up after one line's time limit,
// however the wait for its next line is made up.
TEST_F(ImapHostileTest, SilentServerIsGivenUpAfterOneLineLimit) {
    StartPeer("silent");
    SignIn();
    LPlainWait waiting;
    LNetOpResult r;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(imap_.Capability(r, waiting), LNetDone);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 19);
    EXPECT_LT(seconds, 35);
}

// A literal is data: the tagged reply hidden in it is not taken for the
// end of the command, and the dialogue stays in step for the next one.
TEST_F(ImapHostileTest, LiteralTextNeverEndsTheCommand) {
    StartPeer("literal-trap");
    SignIn();
    LNetOpResult r;
    LStringList names;
    ASSERT_EQ(imap_.ListMailboxes(r, progress_, names), LNetDone);
    ASSERT_EQ(names.count, 3u);
    EXPECT_STREQ(names.ItemA(2), "Work");
    uint32_t exists = 0, validity = 0, next = 0;
    ASSERT_EQ(imap_.SelectStatus(r, progress_, exists, validity, next, "INBOX"), LNetDone);
    EXPECT_EQ(exists, 3u);
    EXPECT_EQ(validity, 7u);
    EXPECT_EQ(next, 9u);
    imap_.Logout(r, progress_);
    EXPECT_EQ(peer_->Wait(10000), 0);
}

}  // namespace
