#include "web/http/listener.h"

#include <arpa/inet.h>

#include <cerrno>

#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "foundation/thread_table.h"
#include "foundation/utf8.h"
#include "net/rate_limit.h"
#include "platform/socket.h"
#include "web/http/connection_thread.h"
#include "web/http/listener_notify.h"

namespace {

std::atomic<LWebPortReader> g_plain_port{nullptr};
std::atomic<LWebPortReader> g_secure_port{nullptr};

constexpr uint32_t kRetryMs = 30000;
constexpr int kBacklog = 50;

void PeerText(uint32_t ip, char out[32]) {
    std::snprintf(out, 32, "%u.%u.%u.%u", ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF, (ip >> 24) & 0xFF);
}

void ReportBindFailed(LWebPortReader reader, uint16_t port) {
    LLog("Webserver cannot bind to TCP/IP port.", LLogError);
    LLogErrorF("Some other program may be using port %d.", reader ? reader() : port);
}

}  // namespace

void LWebSetPortReaders(LWebPortReader plain, LWebPortReader secure) {
    g_plain_port = plain;
    g_secure_port = secure;
}

LTCPListener::LTCPListener() : LTCPListener("LTCPListener") {}

LTCPListener::LTCPListener(const char* thread_name) : LThread(thread_name) {
    LGetDataSubfolder(u"Web", web_folder);
}

LTCPListener::~LTCPListener() { StopWithConnections(); }

void LTCPListener::StopWithConnections() {
    pool.SignalStopAll();
    Stop();
    pool.StopAndDeleteAll();
}

std::string LTCPListener::WebFolderUtf8() const { return LToUtf8(web_folder); }

void LTCPListener::Run() {
    LThreadSetTag(Tag());
    BeginCycle();
    for (;;) {
        ListenCycle();
        if (IsStopRequested() || WaitStop(kRetryMs) == LWaitStopped) break;
    }
    EndCycle();
}

void LTCPListener::ListenCycle() {
    // The socket lives only as long as the cycle: while the listener pauses
    // after a failure, clients are refused at once rather than queued.
    LOwnedSocket listener(LPlatformSocketListen(0, htons(port), kBacklog));
    if (listener.Get() == LInvalidSocket) {
        if (errno == EADDRINUSE) OnBindFailed();
        return;
    }
    listening_ = true;
    OnListening();
    for (;;) {
        uint32_t peer = 0;
        uint16_t peer_port = 0;
        LSocket s = LPlatformSocketAccept(listener.Get(), &peer, &peer_port, 0x40000, 0);
        if (s != LInvalidSocket) {
            OnConnection(s, peer);
            continue;
        }
        if (errno == ECONNABORTED || errno == EINTR) continue;
        // Out of descriptors and the like: the cycle ends and the pause
        // follows.
        if (errno != EAGAIN && errno != EWOULDBLOCK) break;
        if (WaitHandle(listener.Get(), LInfinite) == LWaitStopped) break;
    }
    listening_ = false;
}

bool LTCPListener::RefusedByLimits(uint32_t peer_ip, LWebConnectionSlot& slot) {
    // The rate limit is against remote peers: any local page can make
    // loopback requests by the hundred, and counting them would lock the
    // browser pages, the MCP endpoint and the stdio relay out. The open
    // connection caps below still bound what loopback may hold.
    bool loopback = (peer_ip & 0xFF) == 127;
    if (!loopback && LIPRateLimitConnection(peer_ip)) {
        char text[32];
        PeerText(peer_ip, text);
        LLogRateLimitedF(30, "IPRateLimit: %s connections exceeded the limit. Block IP  %s", IsSecure() ? "HTTPS" : "HTTP",
                         text);
        return true;
    }
    slot = LWebConnectionSlot(limits, peer_ip);
    return !slot;
}

void LTCPListener::OnConnection(LSocket socket, uint32_t peer_ip) {
    LOwnedSocket s(socket);
    LWebConnectionSlot slot;
    if (RefusedByLimits(peer_ip, slot)) return;
    auto* thread = new (std::nothrow) LWebletConnectionThread(s.Release(), peer_ip, WebFolderUtf8());
    if (!thread) return;
    thread->slot = std::move(slot);
    pool.Start(thread);
}

void LTCPListener::OnBindFailed() {
    LListenerSetBindFailed(false, true);
    ReportBindFailed(g_plain_port.load(), port);
}

void LTCPListener::OnListening() {
    LListenerSetBindFailed(IsSecure(), false);
    LListenerNotifyListening();
}

LCryptoTCPListener::LCryptoTCPListener() : LTCPListener("LCryptoTCPListener") {}

void LCryptoTCPListener::BeginCycle() { certificate_.Load(); }
void LCryptoTCPListener::EndCycle() { certificate_.Free(); }

void LCryptoTCPListener::OnConnection(LSocket socket, uint32_t peer_ip) {
    LCryptoSocket record;
    record.socket = socket;
    LWebConnectionSlot slot;
    if (RefusedByLimits(peer_ip, slot)) {
        record.Close();
        return;
    }
    record.certificate = certificate_.certificate;
    auto* thread = new (std::nothrow) LWebletConnectionThread(record, peer_ip, WebFolderUtf8());
    if (thread) {
        thread->slot = std::move(slot);
        pool.Start(thread);
    }
    record.Close();
}

void LCryptoTCPListener::OnBindFailed() {
    LListenerSetBindFailed(true, true);
    ReportBindFailed(g_secure_port.load(), port);
}
