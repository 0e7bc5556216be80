#include "tests/support/tls_peer.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

EVP_PKEY* NewKey() { return EVP_EC_gen("P-256"); }

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

X509* NewCertificate(EVP_PKEY* key, const std::string& cn, X509* issuer, long from_days,
                     long to_days) {
    static long serial = 1;
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), static_cast<long>(getpid()) * 1000 + serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), from_days * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), to_days * 86400);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509_set_pubkey(cert, key);
    return cert;
}

bool WritePem(const std::string& path, X509* a, X509* b = nullptr) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = PEM_write_X509(f, a) == 1 && (!b || PEM_write_X509(f, b) == 1);
    std::fclose(f);
    return ok;
}

bool WriteKey(const std::string& path, EVP_PKEY* key) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    return ok;
}

bool WriteP12(const std::string& path, const std::string& password, EVP_PKEY* key, X509* cert, X509* ca) {
    STACK_OF(X509)* chain = sk_X509_new_null();
    sk_X509_push(chain, ca);
    PKCS12* p12 = PKCS12_create(password.c_str(), "porlinex test", key, cert, chain, 0, 0, 0, 0, 0);
    sk_X509_free(chain);
    if (!p12) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && i2d_PKCS12_fp(f, p12) == 1;
    if (f) std::fclose(f);
    PKCS12_free(p12);
    return ok;
}

}  // namespace

LTestScopedEnv::LTestScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    setenv(name, value.c_str(), 1);
}

LTestScopedEnv::~LTestScopedEnv() {
    if (had_) {
        setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

LTestCertificateAuthority::LTestCertificateAuthority(const std::string& folder, const std::string& name)
    : folder_(folder), ca_path_(folder + "/" + name + ".crt") {
    EVP_PKEY* key = NewKey();
    if (!key) return;
    X509* cert = NewCertificate(key, "Porlinex Test CA " + name, nullptr, -1, 365);
    bool ok = AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE") &&
              AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign") &&
              AddExtension(cert, cert, NID_subject_key_identifier, "hash") &&
              X509_sign(cert, key, EVP_sha256()) > 0 && WritePem(ca_path_, cert) &&
              WriteKey(folder + "/" + name + ".key", key);
    if (!ok) {
        X509_free(cert);
        EVP_PKEY_free(key);
        return;
    }
    key_ = key;
    cert_ = cert;
}

LTestCertificateAuthority::~LTestCertificateAuthority() {
    X509_free(static_cast<X509*>(cert_));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(key_));
}

LTestIssuedCertificate LTestCertificateAuthority::Issue(const std::string& base,
                                                        const LTestCertificateOptions& options) {
    LTestIssuedCertificate out;
    if (!Ok()) return out;
    auto* ca = static_cast<X509*>(cert_);
    auto* ca_key = static_cast<EVP_PKEY*>(key_);
    EVP_PKEY* key = NewKey();
    if (!key) return out;
    X509* cert = NewCertificate(key, options.common_name, ca, options.not_before_days, options.not_after_days);
    std::string san;
    for (const auto& d : options.dns_names) san += (san.empty() ? "DNS:" : ",DNS:") + d;
    for (const auto& ip : options.ip_addresses) san += (san.empty() ? "IP:" : ",IP:") + ip;
    std::string prefix = folder_ + "/" + base;
    bool ok = AddExtension(cert, ca, NID_basic_constraints, "CA:FALSE") &&
              AddExtension(cert, ca, NID_ext_key_usage, "serverAuth,clientAuth") &&
              AddExtension(cert, ca, NID_authority_key_identifier, "keyid:always") &&
              (san.empty() || AddExtension(cert, ca, NID_subject_alt_name, san)) &&
              X509_sign(cert, ca_key, EVP_sha256()) > 0 && WritePem(prefix + ".crt", cert) &&
              WritePem(prefix + ".chain.crt", cert, ca) && WriteKey(prefix + ".key", key) &&
              WriteP12(prefix + ".p12", options.p12_password, key, cert, ca) &&
              WriteP12(prefix + ".nokey.p12", options.p12_password, nullptr, cert, ca);
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!ok) return out;
    out.cert_path = prefix + ".crt";
    out.chain_path = prefix + ".chain.crt";
    out.key_path = prefix + ".key";
    out.p12_path = prefix + ".p12";
    out.p12_no_key_path = prefix + ".nokey.p12";
    return out;
}

std::vector<std::string> LTestRedirectedArgv(const std::vector<std::string>& argv, const std::string& in_path,
                                             const std::string& out_path) {
    std::vector<std::string> v = {"/bin/sh", "-c", "in=$1; out=$2; shift 2; exec \"$@\" <\"$in\" >\"$out\" 2>&1",
                                  "sh", in_path, out_path};
    v.insert(v.end(), argv.begin(), argv.end());
    return v;
}

LTestTlsServer::~LTestTlsServer() {
    delete process_;
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

std::string LTestTlsServer::Output() const { return LTestReadFile(folder_ + "/out.txt"); }

bool LTestTlsServer::Start(const LTestIssuedCertificate& cert, const std::vector<std::string>& extra) {
    std::string base = std::filesystem::temp_directory_path().string() + "/porlinex-s_server-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) return false;
    folder_ = buf.data();
    port_ = LTestFreePort();
    std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port_),
                                     "-cert", cert.cert_path, "-key", cert.key_path, "-cert_chain",
                                     cert.chain_path};
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = new LTestProcess(LTestRedirectedArgv(argv, "/dev/null", folder_ + "/out.txt"));
    // s_server prints ACCEPT once it listens.
    return LTestWaitFor(10000, [&] {
        return Output().find("ACCEPT") != std::string::npos || !process_->Running();
    }) && process_->Running();
}

int LTestRunTlsClient(int port, const std::string& ca_path, const std::vector<std::string>& extra,
                      const std::string& input, std::string& output, int timeout_ms) {
    std::string base = std::filesystem::temp_directory_path().string() + "/porlinex-s_client-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) return -1;
    std::string folder = buf.data();
    {
        std::ofstream in(folder + "/in.txt", std::ios::binary);
        in << input;
    }
    std::vector<std::string> argv = {"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(port),
                                     "-CAfile", ca_path, "-verify_return_error", "-quiet"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    int rc;
    {
        LTestProcess client(LTestRedirectedArgv(argv, folder + "/in.txt", folder + "/out.txt"));
        rc = client.Wait(timeout_ms);
    }
    output = LTestReadFile(folder + "/out.txt");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return rc;
}
