#pragma once
// The local HTTPS certificates: a root authority and a server certificate
// signed by it, kept in the data folder's "Crypt" as PKCS#12 files under a
// random password stored in SSL_SETTINGS. Made in-process with OpenSSL at
// every start when missing, unusable, near their end or made for another
// machine name or address; otherwise left byte for byte as they are.
#include <cstdint>
#include <string>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "platform/folder_handle.h"

// The file names inside "Crypt".
constexpr const char* LRootPfxName = "local-root-ca.p12";
constexpr const char* LRootCerName = "local-root-ca.cer";
constexpr const char* LServerPfxName = "certificate.p12";
constexpr const char* LCertificateStateName = "local-https-certificate.state";
constexpr const char* LRootAuthorityName = "Porlinex Local Root CA";
// The table of the password ("%s" is the schema).
constexpr const char16_t* LSslSettingsCreateStatement =
    u"CREATE TABLE IF NOT EXISTS %s.SSL_SETTINGS (ITEM VARCHAR(40) PRIMARY KEY, VALUE TEXT NOT NULL);";

// True when a password exists and the certificate files were made or
// confirmed. Called by the engine's start.
bool LEnsureHttpsCertificate(LTaskProgress& progress);

// The stored password (moved from the machine hive's Crypt\Password the
// first time it is found there), empty when none.
void LSslSettingsGetPassword(char16_t out[260]);
bool LSslSettingsSetPassword(const char16_t* password);
// 64 lower-case hexadecimal digits from 32 random bytes.
bool LGenerateCertificatePassword(char16_t out[260]);
// True when the folder's root authority opens with the password.
bool LHttpsCertificateRootOpens(const char16_t* folder, const char* password);
// The password as the TLS listener asks for it (registered with
// LSetCertificatePasswordReader).
void LHttpsCertificateListenerPassword(LString& out);
// Deletes the four certificate files; a missing one counts as deleted.
bool LHttpsCertificateDeleteFiles(const char16_t* folder);
// Makes or confirms the certificates in the folder for this machine.
bool LCreateHttpsCertificate(LTaskProgress& progress, const char16_t* folder, const char16_t* password);

// What the certificates are made for.
struct LHttpsCertificateFacts {
    std::string host_name;    // the machine's name as it calls itself
    std::string lan_address;  // "" when the machine has none
    int64_t now = 0;          // seconds since 1970
};
void LHttpsCertificateReadFacts(LHttpsCertificateFacts& facts);
// "v6|" + name + "|" + address: a change gives a new server certificate.
std::string LHttpsCertificateStateText(const LHttpsCertificateFacts& facts);

// What one run changed.
struct LHttpsCertificateOutcome {
    bool new_root = false;
    bool new_server = false;
    std::string root_pem;  // the root in use
};
// The work of LCreateHttpsCertificate on an open folder, for given facts.
bool LHttpsCertificateRefresh(const LPlatformFolderHandle& folder, const char* password, const LHttpsCertificateFacts& facts,
                              LHttpsCertificateOutcome& outcome);

// Holds a secret for its life and wipes it when it goes.
class LSecretText {
public:
    LSecretText() = default;
    ~LSecretText();
    LSecretText(const LSecretText&) = delete;
    LSecretText& operator=(const LSecretText&) = delete;
    char16_t wide[260] = {0};
    // The UTF-8 form of `wide`, made by Narrow().
    char narrow[260] = {0};
    const char* Narrow();
};
