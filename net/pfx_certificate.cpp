#include "net/pfx_certificate.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/log.h"

namespace {

std::atomic<LCertificatePasswordReader> g_password_reader{nullptr};

LCertificateContext Fail(LString& error, const char* text) {
    error.SetUtf8(text);
    return nullptr;
}

}  // namespace

LCertificate::~LCertificate() {
    X509_free(cert);
    EVP_PKEY_free(key);
    sk_X509_pop_free(chain, X509_free);
}

LCertificateContext LLoadPfxCertificate(const char16_t* path, const char16_t* password, LString& error) {
    error.Clear();
    std::ifstream file(LToUtf8(path), std::ios::binary);
    if (!file) return Fail(error, "Couldn't open certificate file.");
    std::string blob((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return Fail(error, "Couldn't read certificate file.");

    const unsigned char* p = reinterpret_cast<const unsigned char*>(blob.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(blob.size()));
    auto owned = std::make_shared<LCertificate>();
    std::string pass = LToUtf8(password);
    ERR_clear_error();
    if (!p12 || PKCS12_parse(p12, pass.c_str(), &owned->key, &owned->cert, &owned->chain) != 1) {
        unsigned long code = ERR_peek_last_error();
        const char* reason = code ? ERR_reason_error_string(code) : nullptr;
        PKCS12_free(p12);
        ERR_clear_error();
        return Fail(error, reason && *reason ? reason : "Couldn't import certificate.");
    }
    PKCS12_free(p12);
    // PKCS12_parse pairs the key with its certificate; certificates without
    // a key of their own end up in the chain.
    if (owned->key && owned->cert) return owned;
    if (!owned->cert && sk_X509_num(owned->chain) <= 0)
        return Fail(error, "Couldn't find any certificates in the certificate file.");
    return Fail(error, "Couldn't find the private key in the certificate file.");
}

void LSetCertificatePasswordReader(LCertificatePasswordReader reader) { g_password_reader = reader; }

bool LServerCertificateSource::Load() {
    std::string folder = LDataSubfolderPath("Crypt");
    LString path = LFromUtf8(folder + "/certificate.p12");
    LString password;
    if (LCertificatePasswordReader reader = g_password_reader.load()) reader(password);
    LString error;
    certificate = LLoadPfxCertificate(path.c_str(), password.c_str(), error);
    LLog(certificate ? "SSL/TLS certificate loaded" : "Couldn't load SSL/TLS certificate",
         certificate ? LLogInfo : LLogError);
    return certificate != nullptr;
}
