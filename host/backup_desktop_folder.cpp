// The backup's question to the signed-in user's desktop: the cloud folder
// lives in that user's home, which only the desktop process sees.
#include "foundation/lstring.h"
#include "foundation/utf8.h"
#include "mail/backup/email_backup.h"
#include "mcp/clients/desktop_channel.h"

namespace {
constexpr uint32_t kCloudFolderRequest = 5;
}  // namespace

bool LAskDesktopForFolder(char16_t out[260]) {
    out[0] = 0;
    std::string message, detail;
    if (!LMcpAskDesktop(kCloudFolderRequest, nullptr, message, &detail) || detail.empty()) return false;
    // A path that does not fit the setting is refused, never cut.
    LString path = LFromUtf8(detail);
    if (path.length >= 260) return false;
    LCopyField(out, path.c_str());
    return true;
}
