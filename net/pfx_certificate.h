#pragma once
// Certificates with their private keys, loaded from PKCS#12 files, and the
// source of the web server's certificate (the data folder's
// "Crypt/certificate.p12").
#include <openssl/types.h>

#include <memory>

#include "foundation/lstring.h"

// A certificate, its private key and the chain to send with it. Shared by
// copying the context (each TLS record holds its own reference).
struct LCertificate {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    STACK_OF(X509)* chain = nullptr;
    LCertificate() = default;
    LCertificate(const LCertificate&) = delete;
    LCertificate& operator=(const LCertificate&) = delete;
    ~LCertificate();
};
using LCertificateContext = std::shared_ptr<const LCertificate>;

// The first certificate of a PKCS#12 file that has its private key; null
// with the reason in error on failure ("Couldn't open certificate file.",
// "Couldn't read certificate file.", OpenSSL's text for an import failure
// such as a wrong password, "Couldn't find any certificates in the
// certificate file.", "Couldn't find the private key in the certificate
// file.").
LCertificateContext LLoadPfxCertificate(const char16_t* path, const char16_t* password, LString& error);

// The certificate password is stored above this layer (SSL_SETTINGS); the
// engine registers the function that reads it (out: the password, empty when
// none) before the listeners start.
using LCertificatePasswordReader = void (*)(LString& out);
void LSetCertificatePasswordReader(LCertificatePasswordReader reader);

// What the TLS listener calls to obtain and release its certificate.
class LServerCertificateSource {
public:
    // Loads "certificate.p12" from the data folder's "Crypt" (created when
    // missing) with the stored password; logs the outcome. True on success.
    bool Load();
    void Free() { certificate.reset(); }
    LCertificateContext certificate;
};
