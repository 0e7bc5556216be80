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
        LOwnedSocket listener(LPlatformSocketListen(0, htons(port), kBacklog));
        if (listener.Get() == LInvalidSocket) {
            if (errno == EADDRINUSE) OnBindFailed();
        } else {
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
                if (errno != EAGAIN && errno != EWOULDBLOCK) break;
                // Out of descriptors and the like end up here too: the wait
                // keeps the loop from spinning while the listening socket
                // stays readable.
                uint32_t w = WaitHandle(listener.Get(), LInfinite);
                if (w == LWaitStopped) break;
            }
            listening_ = false;
        }
        if (IsStopRequested() || WaitStop(kRetryMs) == LWaitStopped) break;
    }
    EndCycle();
}

void LTCPListener::OnConnection(LSocket socket, uint32_t peer_ip) {
    LOwnedSocket s(socket);
    if (LIPRateLimitConnection(peer_ip)) {
        char text[32];
        PeerText(peer_ip, text);
        LLogRateLimitedF(30, "IPRateLimit: %s connections exceeded the limit. Block IP  %s", IsSecure() ? "HTTPS" : "HTTP",
                         text);
        return;
    }
    auto* thread = new (std::nothrow) LWebletConnectionThread(s.Release(), peer_ip, WebFolderUtf8());
    if (thread) pool.Start(thread);
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
    if (LIPRateLimitConnection(peer_ip)) {
        record.Close();
        char text[32];
        PeerText(peer_ip, text);
        LLogRateLimitedF(30, "IPRateLimit: HTTPS connections exceeded the limit. Block IP  %s", text);
        return;
    }
    record.certificate = certificate_.certificate;
    auto* thread = new (std::nothrow) LWebletConnectionThread(record, peer_ip, WebFolderUtf8());
    if (thread) pool.Start(thread);
    record.Close();
}

void LCryptoTCPListener::OnBindFailed() {
    LListenerSetBindFailed(true, true);
    ReportBindFailed(g_secure_port.load(), port);
}
