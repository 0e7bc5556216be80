#include "host/engine_proxy.h"

#include <memory>
#include <new>

#include "host/pipe_server.h"
#include "platform/clock.h"
#include "platform/wait.h"

namespace {

std::atomic<LServiceEngineProxy*> g_instance{nullptr};

constexpr uint32_t kConnectWaitMs = 3000;
constexpr uint32_t kRetryMs = 100;
constexpr uint32_t kQueryWaitMs = 20000;

}  // namespace

void LNotifyDesktopListening() {
    if (LServiceEngineProxy* proxy = LServiceEngineProxy::Instance()) {
        proxy->Send(LPipeEventListening, nullptr, 0);
        return;
    }
    LServicePipeBroadcastEvent(LPipeEventListening, nullptr, 0);
}

LServiceEngineProxy* LServiceEngineProxy::Instance() { return g_instance.load(); }

LServiceEngineProxy::LServiceEngineProxy(LServiceEngineProxyOwner* owner)
    : LThread("LServiceEngineProxy"), owner_(owner) {
    g_instance = this;
}

LServiceEngineProxy::~LServiceEngineProxy() {
    LServiceEngineProxy* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
    Stop();
}

bool LServiceEngineProxy::OpenSocket() {
    LUnixSocket s;
    if (!LUnixSocketConnect(LServiceSocketPath(), s)) return false;
    std::lock_guard<std::mutex> lock(write_lock_);
    socket_ = std::move(s);
    return true;
}

bool LServiceEngineProxy::Connect() {
    if (IsRunning()) return true;
    // The socket may not exist yet while the service starts: a bounded wait,
    // so a service that is not there is reported rather than waited for.
    for (uint32_t waited = 0; !OpenSocket(); waited += kRetryMs) {
        if (waited >= kConnectWaitMs) return false;
        LPlatformSleepMs(kRetryMs);
    }
    if (!reply_event_.IsValid()) return false;
    Start(LThreadPriorityLowest);
    return IsRunning();
}

bool LServiceEngineProxy::WriteMessage(const LPipeHeader& h, const void* payload) {
    unsigned char raw[LPipeHeaderSize];
    LPipeHeaderEncode(h, raw);
    std::lock_guard<std::mutex> lock(write_lock_);
    if (!socket_.Valid()) return false;
    if (LUnixSocketWrite(socket_.Fd(), raw, sizeof raw, LPipeWriteMs, -1) != LSocketDone) return false;
    if (payload && h.length && !(h.type & LPipeNoPayloadBit))
        return LUnixSocketWrite(socket_.Fd(), payload, h.length, LPipeWriteMs, -1) == LSocketDone;
    return true;
}

void LServiceEngineProxy::Send(uint32_t code, const void* data, uint32_t length) {
    LPipeHeader h;
    h.type = (!data && length) ? LPipeTypeCommandNumber : LPipeTypeCommand;
    h.code = code;
    h.length = length;
    h.id = ++counter_;
    WriteMessage(h, data);
}

uint32_t LServiceEngineProxy::Ask(uint16_t type, uint32_t code, std::string* reply) {
    LPipeHeader h;
    h.type = type;
    h.code = code;
    {
        std::lock_guard<std::mutex> lock(reply_lock_);
        h.id = ++counter_;
        answer_ = 0;
        reply_buffer_ = reply;
        reply_event_.Reset();
    }
    uint32_t answer = LProxyNotConnected;
    if (WriteMessage(h, nullptr)) {
        answer = LProxyNoAnswer;
        if (reply_event_.Wait(kQueryWaitMs) == 0) {
            std::lock_guard<std::mutex> lock(reply_lock_);
            answer = answer_;
        }
    }
    std::lock_guard<std::mutex> lock(reply_lock_);
    reply_buffer_ = nullptr;
    return answer;
}

uint32_t LServiceEngineProxy::Query(uint32_t code) { return Ask(LPipeTypeQuery, code, nullptr); }

uint32_t LServiceEngineProxy::Request(uint32_t code, std::string& reply) {
    reply.clear();
    return Ask(LPipeTypeRequest, code, &reply);
}

void LServiceEngineProxy::Handle(const LPipeHeader& h, unsigned char* payload) {
    switch (h.type) {
    case LPipeTypeLogLine: {
        std::string time_text, line_text;
        if (LPipeLogLineSplit(payload, h.length, h.id, time_text, line_text) && owner_)
            owner_->OnServiceLogLine(time_text, line_text, static_cast<int>(h.code));
        break;
    }
    case LPipeTypeEvent:
        if (owner_) owner_->OnServiceEvent(h.code, h.length ? payload : nullptr, h.id);
        break;
    case LPipeTypeReply: {
        std::lock_guard<std::mutex> lock(reply_lock_);
        // A reply to a query that has already given up carries an old id.
        if (h.id != counter_) break;
        answer_ = h.code;
        if (reply_buffer_) reply_buffer_->assign(reinterpret_cast<const char*>(payload), payload ? h.length : 0);
        reply_event_.Set();
        break;
    }
    default:
        break;
    }
}

void LServiceEngineProxy::Run() {
    unsigned char fixed[LPipeFixedPayload];
    for (;;) {
        unsigned char raw[LPipeHeaderSize];
        int fd = socket_.Fd();
        bool broken = true;
        if (LUnixSocketRead(fd, raw, sizeof raw, LSocketNoLimit, StopEventHandle()) == LSocketDone) {
            LPipeHeader h = LPipeHeaderDecode(raw);
            if (h.magic == LPipeMagic && h.length <= LPipeMaxPayload) {
                std::unique_ptr<unsigned char[]> heap;
                unsigned char* payload = nullptr;
                if (h.length) {
                    if (h.length > LPipeFixedPayload) heap.reset(new (std::nothrow) unsigned char[h.length]);
                    payload = h.length > LPipeFixedPayload ? heap.get() : fixed;
                }
                if (!h.length || (payload && LUnixSocketRead(fd, payload, h.length, LPipePayloadReadMs,
                                                             StopEventHandle()) == LSocketDone)) {
                    Handle(h, payload);
                    broken = false;
                }
            }
        }
        if (!broken) continue;
        // A question in flight has lost its service: it ends now rather
        // than waiting out its time.
        {
            std::lock_guard<std::mutex> lock(reply_lock_);
            answer_ = LProxyNotConnected;
            reply_event_.Set();
        }
        // Reconnect quietly every 100 ms until connected or stopped.
        for (;;) {
            if (WaitStop(kRetryMs) == LWaitStopped) return;
            {
                std::lock_guard<std::mutex> lock(write_lock_);
                socket_.Close();
            }
            if (OpenSocket()) break;
        }
    }
}
