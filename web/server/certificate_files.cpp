// The certificate files in "Crypt": what is kept, what is made again, and
// with which modes. The root's key signs any site for whatever trusts the
// root, so its file is the owner's alone; the others are readable by the
// group of allowed users.
#include <cstring>
#include <memory>

#include "foundation/log.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/folder_acl.h"
#include "platform/net_interface.h"
#include "platform/system_info.h"
#include "web/server/certificate.h"
#include "web/server/certificate_trust.h"
#include "web/server/certificate_x509.h"

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;
constexpr unsigned kPrivateFile = 0600;
constexpr unsigned kSharedFile = 0640;
constexpr unsigned kPrivateFolder = 0700;
constexpr unsigned kSharedFolder = 02750;
constexpr uint32_t kDeleteBudgetMs = 5000;

const char* const kFiles[] = {LRootPfxName, LRootCerName, LServerPfxName, LCertificateStateName};

unsigned ModeOf(const char* name) { return std::strcmp(name, LRootPfxName) == 0 ? kPrivateFile : kSharedFile; }

bool DeleteWithRetry(const LPlatformFolderHandle& folder, const char* name) {
    uint32_t spent = 0;
    for (uint32_t pause = 40;; pause *= 2) {
        if (folder.DeleteFile(name)) return true;
        if (LPlatformLastError() != LErrorSharingViolation || spent + pause > kDeleteBudgetMs) return false;
        LPlatformSleepMs(pause);
        spent += pause;
    }
}

// The root on disk when it opens with the password, is current and was
// made for this machine's names; else a new one, written at once.
std::unique_ptr<LCertificate> UsableRoot(const LPlatformFolderHandle& folder, const char* password,
                                         const LHttpsCertificateFacts& facts, LHttpsCertificateOutcome& outcome) {
    auto root = std::make_unique<LCertificate>();
    std::string blob;
    if (folder.ReadFile(LRootPfxName, kMaxFileBytes, blob) == LPlatformFolderHandle::ReadOk &&
        LPfxDecode(blob, password, *root) && LCertificateIsCurrent(root->cert, facts.now) &&
        LRootFitsNames(root->cert, facts))
        return root;
    root = std::make_unique<LCertificate>();
    if (!LMakeRootCertificate(facts, *root) || !LPfxEncode(*root, password, LRootAuthorityName, blob) ||
        !folder.WriteFile(LRootPfxName, blob.data(), blob.size(), kPrivateFile))
        return nullptr;
    LLog("HTTPS certificate: a new local root authority was made.", LLogInfo);
    outcome.new_root = true;
    return root;
}

bool ServerIsUsable(const LPlatformFolderHandle& folder, const char* password, const LHttpsCertificateFacts& facts,
                    const LCertificate& root) {
    std::string blob, state;
    LCertificate server;
    return folder.ReadFile(LCertificateStateName, 4096, state) == LPlatformFolderHandle::ReadOk &&
           state == LHttpsCertificateStateText(facts) &&
           folder.ReadFile(LServerPfxName, kMaxFileBytes, blob) == LPlatformFolderHandle::ReadOk &&
           LPfxDecode(blob, password, server) && LCertificateIsCurrent(server.cert, facts.now) &&
           LCertificateIssuedBy(server.cert, root);
}

bool MakeServer(const LPlatformFolderHandle& folder, const char* password, const LHttpsCertificateFacts& facts,
                const LCertificate& root) {
    LCertificate server;
    std::string blob, name = std::string(LRootAuthorityName) + " Server", state = LHttpsCertificateStateText(facts);
    if (!LMakeServerCertificate(root, facts, server) || !LPfxEncode(server, password, name.c_str(), blob)) return false;
    // The state goes last: a crash between the two leaves a state that no
    // longer matches, and the next start makes the certificate again.
    folder.DeleteFile(LCertificateStateName);
    if (!folder.WriteFile(LServerPfxName, blob.data(), blob.size(), kSharedFile) ||
        !folder.WriteFile(LCertificateStateName, state.data(), state.size(), kSharedFile))
        return false;
    LLog("HTTPS certificate: a new server certificate was made.", LLogInfo);
    return true;
}

}  // namespace

void LHttpsCertificateReadFacts(LHttpsCertificateFacts& facts) {
    facts.host_name = LPlatformHostName();
    facts.lan_address = LPlatformLanAddress();
    facts.now = static_cast<int64_t>(LNow());
}

std::string LHttpsCertificateStateText(const LHttpsCertificateFacts& facts) {
    return "v6|" + facts.host_name + "|" + facts.lan_address;
}

bool LHttpsCertificateRefresh(const LPlatformFolderHandle& folder, const char* password,
                              const LHttpsCertificateFacts& facts, LHttpsCertificateOutcome& outcome) {
    for (const char* name : kFiles)
        if (folder.HasFile(name)) folder.SetFileMode(name, ModeOf(name));
    std::unique_ptr<LCertificate> root = UsableRoot(folder, password, facts, outcome);
    if (!root) return false;
    outcome.root_pem = LCertificatePem(root->cert);
    std::string der = LCertificateDer(root->cert), on_disk;
    folder.ReadFile(LRootCerName, kMaxFileBytes, on_disk);
    if (der.empty() || (on_disk != der && !folder.WriteFile(LRootCerName, der.data(), der.size(), kSharedFile)))
        return false;
    if (!outcome.new_root && ServerIsUsable(folder, password, facts, *root)) return true;
    outcome.new_server = true;
    return MakeServer(folder, password, facts, *root);
}

bool LHttpsCertificateRootOpens(const char16_t* folder, const char* password) {
    LPlatformFolderHandle dir;
    std::string blob;
    LCertificate root;
    return dir.Open(LToUtf8(folder), false, 0) &&
           dir.ReadFile(LRootPfxName, kMaxFileBytes, blob) == LPlatformFolderHandle::ReadOk &&
           LPfxDecode(blob, password, root);
}

bool LHttpsCertificateDeleteFiles(const char16_t* folder) {
    LPlatformFolderHandle dir;
    if (!dir.Open(LToUtf8(folder), false, 0)) {
        uint32_t e = LPlatformLastError();
        return e == LErrorFileNotFound || e == LErrorPathNotFound;
    }
    for (const char* name : kFiles)
        if (!DeleteWithRetry(dir, name)) return false;
    return true;
}

bool LCreateHttpsCertificate(LTaskProgress& progress, const char16_t* folder, const char16_t* password) {
    LPlatformFolderHandle dir;
    if (!dir.Open(LToUtf8(folder), true, kPrivateFolder)) {
        LLog("HTTPS certificate: the Crypt folder is missing or is not a real folder.", LLogError);
        return false;
    }
    // Nothing inherited from the data folder may reach the keys, and the
    // folder stays private while they are made.
    if (!LPlatformAclResetFolder(dir.Descriptor()) || !dir.SetMode(kPrivateFolder)) return false;
    LSecretText secret;
    LCopyField(secret.wide, password);
    LHttpsCertificateFacts facts;
    LHttpsCertificateReadFacts(facts);
    LHttpsCertificateOutcome outcome;
    bool ok = !progress.IsStopRequested() && LHttpsCertificateRefresh(dir, secret.Narrow(), facts, outcome);
    dir.SetMode(kSharedFolder);
    if (ok) LHttpsCertificateTrustRoot(outcome);
    return ok;
}
