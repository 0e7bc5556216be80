#include "web/http/connection_thread.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "foundation/database_handles.h"
#include "foundation/thread_table.h"
#include "foundation/utf8.h"
#include "web/http/request_loop.h"

namespace {

// Replies are written in a few sends (head, then body); without this the
// last small segment of a reply waits for the peer's delayed ACK.
void SetNoDelay(LSocket s) {
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

LWebletConnectionThread::LWebletConnectionThread(LSocket socket, uint32_t peer, const std::string& web_folder)
    : LThread("LWebletConnectionThread"), peer_ip(peer), secure_(false), web_folder_(web_folder) {
    record_.socket = socket;
}

LWebletConnectionThread::LWebletConnectionThread(LCryptoSocket& record, uint32_t peer, const std::string& web_folder)
    : LThread("LWebletConnectionThread(SSL)"), peer_ip(peer), secure_(true), web_folder_(web_folder) {
    record_.MoveFrom(record);
}

LWebletConnectionThread::~LWebletConnectionThread() {
    Stop();
    record_.FreeCredentials();
}

void LWebletConnectionThread::Run() {
    // Every request of a kept-alive connection opens the database; the
    // thread sets up its handle once and closes it when the connection ends.
    LDatabaseHandleKeeper keep_handles;
    LThreadSetTag("WEBC");
    SetNoDelay(record_.socket);
    // A stop of the service ends a handshake in progress too: a client that
    // drips its handshake must not hold the stop up.
    if (!secure_ || record_.StartTls(LTlsServer, *this)) LWebletServeConnection(*this, peer_ip, web_folder_);
    // All of OpenSSL is let go here, before the thread leaves its pool: a
    // thread that ends on its own is deleted after that, unjoined, and may
    // still run while the process is ending and OpenSSL cleans up.
    record_.FreeCredentials();
    if (secure_) LCryptoThreadEnd();
}

uint32_t LWebletConnectionThread::ReceiveSome(void* buffer, size_t n, size_t* count, uint32_t timeout_ms) {
    LNetOpResult r;
    uint64_t got = 0;
    record_.Receive(r, *this, buffer, n, got, timeout_ms);
    *count = static_cast<size_t>(got);
    return r;
}

size_t LWebletConnectionThread::HeldBytes() {
    size_t held = static_cast<size_t>(record_.HeldBytes());
    char probe;
    if (LPlatformSocketReceive(record_.socket, &probe, 1, true) > 0) ++held;
    return held;
}

uint32_t LWebletConnectionThread::Send(const void* data, size_t n, uint32_t timeout_ms) {
    LNetOpResult r;
    return record_.Send(r, *this, data, n, timeout_ms);
}

void LWebletConnectionThread::SetLastError(const char16_t* text) { LCopyField(last_error, text); }
