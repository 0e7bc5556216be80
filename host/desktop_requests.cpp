#include "host/desktop_requests.h"

#include <atomic>
#include <string>

#include "foundation/utf8.h"
#include "mail/mail_services.h"
#include "mcp/clients/codex_config.h"
#include "mcp/clients/desktop_channel.h"
#include "mcp/clients/json_clients.h"

namespace {

// The reply block's texts end in a zero byte inside their fields.
constexpr size_t kMessageMax = 255;
constexpr size_t kDetailMax = 8191;
constexpr size_t kFolderPathMax = 259;

std::atomic<LDesktopReplySend> g_send{nullptr};

struct Job {
    uint32_t code;
    bool (*install)(std::string& error);
    bool (*status)(std::string& record);
};

const Job kJobs[] = {
    {LDesktopClaudeInstall, LClaudeDesktopConfigInstall, nullptr},
    {LDesktopAntigravityInstall, LAntigravityConfigInstall, nullptr},
    {LDesktopCodexInstall, LCodexConfigInstall, nullptr},
    {LDesktopClaudeStatus, nullptr, LClaudeDesktopConfigStatusJson},
    {LDesktopAntigravityStatus, nullptr, LAntigravityConfigStatusJson},
    {LDesktopCodexStatus, nullptr, LCodexConfigStatusJson},
};

// At most `max` bytes, never ending inside a character: the service reads
// the texts back as UTF-8.
std::string Cut(std::string text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

bool CloudFolder(std::string& message, std::string& detail) {
    LString path;
    if (!LEmailBackupFindCloudFolder(path)) {
        message = "No supported cloud folder was found.";
        return false;
    }
    LUTF8FromWide utf8(path);
    detail = Cut(utf8.text, kFolderPathMax);
    return true;
}

}  // namespace

LDesktopReplySend LDesktopRequestSetReplySender(LDesktopReplySend send) { return g_send.exchange(send); }

bool LDesktopRequestHandle(uint32_t code, uint32_t request_id) {
    struct {
        bool ok = false;
        std::string message, detail;
    } reply;
    if (code == LDesktopCloudFolder) {
        reply.ok = CloudFolder(reply.message, reply.detail);
    } else {
        const Job* job = nullptr;
        for (const Job& j : kJobs)
            if (j.code == code) job = &j;
        if (!job) return false;
        // Installs answer with their error text, status reads with the record.
        reply.ok = job->install ? job->install(reply.message) : job->status(reply.detail);
    }
    if (LDesktopReplySend send = g_send.load())
        send(request_id, reply.ok, Cut(reply.message, kMessageMax), Cut(reply.detail, kDetailMax));
    return true;
}
