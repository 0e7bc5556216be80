#include "mcp/clients/desktop_channel.h"

#include <atomic>

#include "web/server/engine_notifier.h"

namespace {

std::atomic<const LMcpDesktopChannel*> g_channel{nullptr};

}  // namespace

void LMcpSetDesktopChannel(const LMcpDesktopChannel* channel) { g_channel.store(channel); }

bool LMcpDesktopMayAnswer() {
    const LMcpDesktopChannel* channel = g_channel.load();
    return !channel || !channel->connected || channel->connected();
}

bool LMcpAskDesktop(uint32_t code, LTaskProgress* progress, std::string& message, std::string* detail) {
    if (detail) detail->clear();
    if (!LMcpDesktopMayAnswer()) {
        message = LMcpNoDesktopText;
        return false;
    }
    const LMcpDesktopChannel* channel = g_channel.load();
    uint32_t id = channel ? channel->begin() : 0;
    if (!id) {
        message = "Unable to reach the Porlinex window to complete this.";
        return false;
    }
    LEngineNotify(code, nullptr, id);
    return channel->wait(id, progress, message, detail);
}
