// The desktop's replies to service requests leave through this process's
// service proxy, as one reply block (command 2).
#include "host/desktop_requests.h"
#include "host/engine_proxy.h"
#include "host/pipe_message.h"

namespace {

constexpr uint32_t kReplyCommand = 2;

void SendReply(uint32_t request_id, bool ok, const std::string& message, const std::string& detail) {
    LServiceEngineProxy* proxy = LServiceEngineProxy::Instance();
    if (!proxy) return;
    LDesktopReply reply;
    reply.id = request_id;
    reply.ok = ok;
    reply.message = message;
    reply.detail = detail;
    unsigned char block[LDesktopReplyBlockSize] = {};
    LDesktopReplyEncode(reply, block);
    proxy->Send(kReplyCommand, block, sizeof block);
}

[[maybe_unused]] const bool g_registered = (LDesktopRequestSetReplySender(SendReply), true);

}  // namespace
