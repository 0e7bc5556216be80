#include "host/desktop_request.h"

#include <memory>
#include <mutex>
#include <new>

#include "engine/service_engine.h"
#include "host/pipe_message.h"
#include "mcp/clients/desktop_channel.h"
#include "platform/event.h"
#include "platform/wait.h"

static_assert(LDesktopReplySize == LDesktopReplyBlockSize, "one reply block size on both ends");

namespace {

struct Pending {
    Pending* next = nullptr;
    uint32_t id = 0;
    bool done = false;
    bool ok = false;
    std::string message;
    std::string detail;
    LEvent event{true, false};
};

std::mutex g_lock;
Pending* g_head = nullptr;
uint32_t g_counter = 1;

Pending* Find(uint32_t id) {
    for (Pending* p = g_head; p; p = p->next)
        if (p->id == id) return p;
    return nullptr;
}

void Unlink(Pending* node) {
    for (Pending** p = &g_head; *p; p = &(*p)->next) {
        if (*p == node) {
            *p = node->next;
            return;
        }
    }
}

bool ReplyHook(uint32_t id, bool ok, const char* first, const char* second) {
    return LDesktopRequestReply(id, ok, first, second);
}

}  // namespace

uint32_t LDesktopRequestBegin() {
    auto* node = new (std::nothrow) Pending;
    if (!node || !node->event.IsValid()) {
        delete node;
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_counter == 0) g_counter = 1;
    node->id = g_counter++;
    node->next = g_head;
    g_head = node;
    return node->id;
}

bool LDesktopRequestReply(uint32_t id, bool ok, const char* message, const char* detail) {
    std::lock_guard<std::mutex> lock(g_lock);
    Pending* p = Find(id);
    if (!p) return false;
    p->done = true;
    p->ok = ok;
    p->message = message ? message : "";
    p->detail = detail ? detail : "";
    p->event.Set();
    return true;
}

bool LDesktopRequestWait(uint32_t id, LTaskProgress* progress, std::string& message, std::string* detail) {
    if (detail) detail->clear();
    int fd;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        Pending* p = Find(id);
        if (!p) {
            message = "Unable to reach the Porlinex window to complete this.";
            return false;
        }
        fd = p->event.Handle();
    }
    // The node stays linked until this waiter unlinks it, so its event
    // outlives the wait.
    if (progress)
        progress->WaitHandle(fd, LDesktopRequestWaitMs);
    else
        LPlatformWaitAny(&fd, 1, LDesktopRequestWaitMs);
    std::unique_ptr<Pending> node;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        node.reset(Find(id));
        if (node) Unlink(node.get());
    }
    if (node && node->done) {
        message = node->message;
        if (detail) *detail = node->detail;
        return node->ok;
    }
    message = LMcpNoDesktopText;
    return false;
}

void LDesktopRequestRegisterReplyHook() { LServiceEngineSetDesktopReplyHook(ReplyHook); }
