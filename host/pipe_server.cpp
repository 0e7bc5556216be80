#include "host/pipe_server.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/log.h"
#include "platform/folder_acl.h"
#include "platform/service_state.h"
#include "platform/wait.h"
#include "web/http/listener_notify.h"
#include "web/server/web_server.h"

namespace {

std::recursive_mutex g_current_lock;
LServicePipeServer* g_current = nullptr;

// A reader waits this long for the main thread to finish its message.
constexpr uint32_t kDispatchWaitMs = 600000;
// Pause after a failed accept (out of descriptors, say) before the next.
constexpr uint32_t kAcceptRetryMs = 100;

bool AnswerQuery(LServiceEngine& engine, uint32_t code) {
    LWebServer& web = engine.WebServer();
    switch (code) {
    case LPipeQueryServiceThere:
        return true;
    case LPipeQueryBindFailed:
        return LListenerAnyBindFailed();
    case LPipeQueryWebUp:
        return (!LWebServerIsEnabled() || web.plain.IsRunning()) &&
               (!LWebServerIsSecureEnabled() || web.secure.IsRunning());
    default:
        return false;
    }
}

// The users the access choice lists get a named entry on the socket; the
// same entry lets them past this check.
bool PeerListedOn(const std::string& socket_path, int fd) {
    uid_t uid;
    return LUnixSocketPeerUid(fd, uid) && LPlatformAclUserCanWrite(socket_path, uid);
}

}  // namespace

LServicePipeServer* LServicePipeServerCurrent() {
    std::lock_guard<std::recursive_mutex> lock(g_current_lock);
    return g_current;
}

void LServicePipeServerSetCurrent(LServicePipeServer* server) {
    std::lock_guard<std::recursive_mutex> lock(g_current_lock);
    g_current = server;
}

void LServicePipeBroadcastLog(const char* time_text, const char* line_text, int level) {
    std::lock_guard<std::recursive_mutex> lock(g_current_lock);
    if (g_current) g_current->BroadcastLog(time_text, line_text, level);
}

void LServicePipeBroadcastEvent(uint32_t code, const void* data, uint32_t value) {
    std::lock_guard<std::recursive_mutex> lock(g_current_lock);
    if (g_current) g_current->BroadcastEvent(code, data, value);
}

bool LServicePipeHasClients() {
    std::lock_guard<std::recursive_mutex> lock(g_current_lock);
    return g_current && g_current->HasClients();
}

// ---- connection ----

LServicePipeConnection::LServicePipeConnection(LServicePipeServer& server, LUnixSocket socket)
    : LThread("LServicePipeConnection"), server_(server), socket_(std::move(socket)) {}

LServicePipeConnection::~LServicePipeConnection() { Stop(); }

void LServicePipeConnection::Run() {
    server_.Link(this);
    unsigned char raw[LPipeHeaderSize];
    for (;;) {
        if (LUnixSocketRead(socket_.Fd(), raw, sizeof raw, LSocketNoLimit, StopEventHandle()) != LSocketDone) break;
        LPipeHeader h = LPipeHeaderDecode(raw);
        if (h.magic != LPipeMagic) break;
        // A length this large is no message of ours; reading it would let
        // one client make the service allocate gigabytes.
        if (h.HasPayload() && h.length > LPipeMaxPayload) break;
        header_ = h;
        done_.Reset();
        pending_ = true;
        server_.Wake();
        if (WaitHandle(done_.Handle(), kDispatchWaitMs) != LWaitDone) break;
        // The done event is no memory barrier: this load of the flag the
        // main thread cleared is what orders its reads of header_ and the
        // socket before the next header is read.
        if (pending_.load(std::memory_order_acquire)) break;
    }
    server_.Unlink(this);
    // Unlinked: no broadcast or dispatch reaches this socket any more.
    socket_.Close();
}

bool LServicePipeConnection::Write(const void* bytes, size_t n, uint32_t ms) {
    if (broken_) return false;
    if (LUnixSocketWrite(socket_.Fd(), bytes, n, ms, -1) == LSocketDone) return true;
    // The reader still polls this descriptor, so it is shut down rather than
    // closed; the reader then fails and the connection ends.
    broken_ = true;
    socket_.Shutdown();
    return false;
}

void LServicePipeConnection::WriteReply(uint32_t answer, const void* payload, uint32_t length, uint32_t id) {
    LPipeHeader h;
    h.type = LPipeTypeReply;
    h.code = answer;
    h.length = length;
    h.id = id;
    unsigned char raw[LPipeHeaderSize];
    LPipeHeaderEncode(h, raw);
    std::lock_guard<std::recursive_mutex> lock(server_.WriteLock());
    if (Write(raw, sizeof raw, LPipeWriteMs) && payload && length) Write(payload, length, LPipeWriteMs);
}

void LServicePipeConnection::Dispatch() {
    if (!pending_) return;
    LPipeHeader h = header_;
    unsigned char fixed[LPipeFixedPayload];
    std::unique_ptr<unsigned char[]> heap;
    unsigned char* payload = nullptr;
    bool read_ok = true;
    if (h.type & LPipeNoPayloadBit) {
        h.type = static_cast<uint16_t>(h.type & ~LPipeNoPayloadBit);
    } else if (h.length != 0) {
        if (h.length <= LPipeFixedPayload) {
            payload = fixed;
        } else {
            heap.reset(new (std::nothrow) unsigned char[h.length]);
            payload = heap.get();
        }
        read_ok = payload && LUnixSocketRead(socket_.Fd(), payload, h.length, LPipePayloadReadMs, -1) == LSocketDone;
        // A half-read payload leaves the stream out of step: end the client.
        if (!read_ok) socket_.Shutdown();
    }
    if (read_ok) {
        switch (h.type) {
        case LPipeTypeCommand:
            server_.Engine().OnCommand(h.code, payload, h.length);
            break;
        case LPipeTypeQuery:
            WriteReply(AnswerQuery(server_.Engine(), h.code) ? 1 : 0, nullptr, 0, h.id);
            break;
        case LPipeTypeRequest:
            if (h.code == LPipeRequestVersion)
                WriteReply(1, LPipeVersionText, LPipeVersionLength, h.id);
            else
                WriteReply(0, nullptr, 0, h.id);
            break;
        default:
            break;
        }
    }
    pending_ = false;
    done_.Set();
}

// ---- server ----

LServicePipeServer::LServicePipeServer() : LThread("LServicePipeServer"), engine_(nullptr) {}

LServicePipeServer::~LServicePipeServer() {
    if (LServicePipeServerCurrent() == this) LServicePipeServerSetCurrent(nullptr);
    StopAccepting();
    StopAndDeleteAll();
}

bool LServicePipeServer::CreatePipeInstance() {
    path_ = LServiceSocketPath();
    if (!LUnixSocketListen(path_, listener_)) return false;
    size_t slash = path_.rfind('/');
    allowed_group_ = LPathGroup(slash == std::string::npos ? "." : path_.substr(0, slash));
    return true;
}

void LServicePipeServer::StopAccepting() {
    Stop();
    if (listener_.Valid()) {
        listener_.Close();
        LServiceRemoveFile(path_);
    }
}

void LServicePipeServer::Run() {
    // An accept that fails, or a client that may not talk to us, never ends
    // the loop: only a stop does.
    for (;;) {
        LUnixSocket client;
        uint32_t r = listener_.Valid() ? LUnixSocketAccept(listener_.Fd(), StopEventHandle(), client) : LSocketStopped;
        if (r == LSocketStopped) break;
        if (r != LSocketDone) {
            if (WaitStop(kAcceptRetryMs) == LWaitStopped) break;
            continue;
        }
        if (!LUnixSocketPeerAllowed(client.Fd(), allowed_group_) && !PeerListedOn(path_, client.Fd())) continue;
        OnClientConnected(std::move(client));
    }
    ended_.Set();
}

void LServicePipeServer::OnClientConnected(LUnixSocket socket) {
    auto* c = new (std::nothrow) LServicePipeConnection(*this, std::move(socket));
    if (c) pool_.Start(c);
}

void LServicePipeServer::Link(LServicePipeConnection* c) {
    std::lock_guard<std::recursive_mutex> l1(list_lock_);
    std::lock_guard<std::recursive_mutex> l2(write_lock_);
    clients_.insert(clients_.begin(), c);
    Wake();
}

void LServicePipeServer::Unlink(LServicePipeConnection* c) {
    std::lock_guard<std::recursive_mutex> l1(list_lock_);
    std::lock_guard<std::recursive_mutex> l2(write_lock_);
    clients_.erase(std::remove(clients_.begin(), clients_.end(), c), clients_.end());
}

void LServicePipeServer::Wake() { wake_.Set(); }

bool LServicePipeServer::WakeIsSet() {
    LHandle h = wake_.Handle();
    return LPlatformWaitAny(&h, 1, 0) == 0;
}

void LServicePipeServer::DispatchAll() {
    wake_.Reset();
    std::lock_guard<std::recursive_mutex> lock(list_lock_);
    for (LServicePipeConnection* c : clients_) c->Dispatch();
}

bool LServicePipeServer::HasClients() {
    std::lock_guard<std::recursive_mutex> lock(list_lock_);
    return !clients_.empty();
}

void LServicePipeServer::BroadcastLog(const char* time_text, const char* line_text, int level) {
    LPipeLogLine line = LPipeLogLineBuild(time_text, line_text);
    LPipeHeader h;
    h.type = LPipeTypeLogLine;
    h.code = static_cast<uint32_t>(level);
    h.length = static_cast<uint32_t>(line.payload.size());
    h.id = line.time_size;
    unsigned char raw[LPipeHeaderSize];
    LPipeHeaderEncode(h, raw);
    std::lock_guard<std::recursive_mutex> lock(write_lock_);
    for (LServicePipeConnection* c : clients_) {
        if (c->Write(raw, sizeof raw, LPipeBroadcastWriteMs))
            c->Write(line.payload.data(), line.payload.size(), LPipeBroadcastWriteMs);
    }
}

void LServicePipeServer::BroadcastEvent(uint32_t code, const void* data, uint32_t value) {
    LPipeHeader h;
    h.type = LPipeTypeEvent;
    h.code = code;
    h.length = data ? value : 0;
    h.id = value;
    unsigned char raw[LPipeHeaderSize];
    LPipeHeaderEncode(h, raw);
    std::lock_guard<std::recursive_mutex> lock(write_lock_);
    for (LServicePipeConnection* c : clients_) {
        if (c->Write(raw, sizeof raw, LPipeBroadcastWriteMs) && data && value)
            c->Write(data, value, LPipeBroadcastWriteMs);
    }
}
