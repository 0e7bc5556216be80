#include "setup/uninstall_feedback.h"

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/wait.h"
#include "net/http/http_client.h"
#include "setup/comment_report.h"

std::u16string LGetAntivirusProducts() { return {}; }

bool LSendUninstallFeedback(const std::string& key, const std::u16string& comment) {
    LStringA body;
    body.AppendView("software=Porlinex&version=2.01&type=uninstall&reason=");
    LUtf8AppendUrlEncoded(body, LFromUtf8(key).c_str());
    body.AppendView("&comment=");
    LUtf8AppendUrlEncoded(body, comment.c_str());
    LPlainWait wait;
    LNetOpResult result;
    std::string host = LGetMakerReportHost();
    if (LPostProblemReportTo(result, wait, host.c_str(), body.c_str()) == LNetDone) return true;
    LLogErrorF("The uninstall feedback could not be sent to %s.", host.c_str());
    return false;
}
