#include "web/server/certificate_trust.h"

#include "foundation/child_process.h"
#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "foundation/wait.h"
#include "platform/folder_acl.h"
#include "platform/folder_handle.h"
#include "platform/root.h"

namespace {

constexpr const char* kAnchorFolder = "/usr/local/share/ca-certificates";
constexpr const char* kAnchorName = "porlinex-local-root-ca.crt";

}  // namespace

void LHttpsCertificateTrustRoot(const LHttpsCertificateOutcome& outcome) {
    if (outcome.root_pem.empty()) return;
    if (!LPlatformIsSuperUser() || !LPlatformRoot().empty()) {
        if (outcome.new_root)
            LLogInfoF("HTTPS certificate: trust %s/Crypt/local-root-ca.cer in the browser to open the local pages "
                      "without a warning.",
                      LDataFolderPath().c_str());
        return;
    }
    LPlatformFolderHandle anchors;
    std::string current;
    if (!anchors.Open(kAnchorFolder, true, 0755)) return;
    anchors.ReadFile(kAnchorName, 1 << 16, current);
    if (current == outcome.root_pem) return;
    if (!anchors.WriteFile(kAnchorName, outcome.root_pem.data(), outcome.root_pem.size(), 0644)) {
        LLog("HTTPS certificate: the local root could not be added to the trusted authorities.", LLogError);
        return;
    }
    uint32_t result = 2;
    int exit_code = -1;
    LPlainWait wait;
    LRunProcessHiddenWait(&result, &wait, {"update-ca-certificates"}, &exit_code);
    if (result != 0 || exit_code != 0)
        LLog("HTTPS certificate: update-ca-certificates failed; the local root is not trusted yet.", LLogError);
}
