// imap_fetch SERVER USER PASSWORD UID ROUNDS: signs in over imaps, selects
// INBOX, fetches the message by UID and signs out, ROUNDS times; prints the
// seconds and the bytes of each session (the timed work is the whole
// session, as a curl run's is). bench/imap_fetch_compare.sh runs it beside
// curl against the same Dovecot.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "foundation/utf8.h"
#include "net/imap/imap_client.h"

namespace {

class LPrintingProgress : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 2; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 2; }
    void ShowError(const char16_t* text) override { std::fprintf(stderr, "imap_fetch: %s\n", LToUtf8(text).c_str()); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: imap_fetch SERVER USER PASSWORD UID ROUNDS\n");
        return 2;
    }
    LString server = LFromUtf8(argv[1]), user = LFromUtf8(argv[2]), password = LFromUtf8(argv[3]);
    uint32_t uid = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10));
    int rounds = std::atoi(argv[5]);
    LPrintingProgress progress;
    for (int i = 0; i < rounds; ++i) {
        LImapConnection imap;
        LStringA message;
        LNetOpResult r;
        auto t0 = std::chrono::steady_clock::now();
        if (imap.Login(r, progress, server.c_str(), user.c_str(), password.c_str()) != 0 ||
            imap.Select(r, progress, "INBOX") != 0 || imap.FetchMessage(r, progress, uid, message) != 0)
            return 1;
        imap.Logout(r, progress);
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%llu %.4f\n", static_cast<unsigned long long>(message.length), secs);
    }
    return 0;
}
