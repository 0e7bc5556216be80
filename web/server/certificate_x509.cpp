#include "web/server/certificate_x509.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <ctime>

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kRootDays = 3650;
constexpr int64_t kServerDays = 825;
constexpr int64_t kRenewDays = 30;
// Both certificates start an hour back, so that a clock a little behind
// another machine's does not see them as not yet valid.
constexpr int64_t kBackdate = 3600;

struct Ip4Net {
    unsigned char address[4];
    unsigned char mask[4];
};
constexpr Ip4Net kPermittedNets[] = {
    {{127, 0, 0, 0}, {255, 0, 0, 0}},
    {{10, 0, 0, 0}, {255, 0, 0, 0}},
    {{172, 16, 0, 0}, {255, 240, 0, 0}},
    {{192, 168, 0, 0}, {255, 255, 0, 0}},
};

bool IsDnsName(const std::string& s) {
    if (s.empty() || s.size() > 253 || s.front() == '.' || s.back() == '.' || s.find("..") != std::string::npos)
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.'; });
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

GENERAL_NAME* DnsName(const std::string& name) {
    GENERAL_NAME* g = GENERAL_NAME_new();
    ASN1_IA5STRING* s = ASN1_IA5STRING_new();
    if (!g || !s || !ASN1_STRING_set(s, name.data(), static_cast<int>(name.size()))) {
        GENERAL_NAME_free(g);
        ASN1_IA5STRING_free(s);
        return nullptr;
    }
    GENERAL_NAME_set0_value(g, GEN_DNS, s);
    return g;
}

// An address (4 bytes) or a network (address and mask, 8 bytes).
GENERAL_NAME* IpName(const unsigned char* bytes, int n) {
    GENERAL_NAME* g = GENERAL_NAME_new();
    ASN1_OCTET_STRING* o = ASN1_OCTET_STRING_new();
    if (!g || !o || !ASN1_OCTET_STRING_set(o, bytes, n)) {
        GENERAL_NAME_free(g);
        ASN1_OCTET_STRING_free(o);
        return nullptr;
    }
    GENERAL_NAME_set0_value(g, GEN_IPADD, o);
    return g;
}

bool AddConf(X509* x, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    bool ok = e && X509_add_ext(x, e, -1) == 1;
    X509_EXTENSION_free(e);
    return ok;
}

// Random serials of 18 bytes: a browser refuses a certificate whose issuer
// and serial it has already seen with other contents.
bool SetRandomSerial(X509* x) {
    unsigned char b[18];
    if (RAND_bytes(b, sizeof b) != 1) return false;
    b[0] = static_cast<unsigned char>((b[0] & 0x7F) | 0x40);  // positive, full length
    BIGNUM* bn = BN_bin2bn(b, sizeof b, nullptr);
    bool ok = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x)) != nullptr;
    BN_free(bn);
    return ok;
}

// Version, serial, subject, issuer, validity and key of a new certificate.
X509* NewCertificate(const std::string& common_name, X509* issuer, EVP_PKEY* key, int64_t now, int64_t days) {
    X509* x = X509_new();
    if (!x) return nullptr;
    X509_NAME* subject = X509_get_subject_name(x);
    const auto* cn = reinterpret_cast<const unsigned char*>(common_name.c_str());
    bool ok = X509_set_version(x, X509_VERSION_3) && SetRandomSerial(x) &&
              X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, cn, -1, -1, 0) &&
              X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : subject) &&
              ASN1_TIME_set(X509_getm_notBefore(x), static_cast<time_t>(now - kBackdate)) &&
              ASN1_TIME_set(X509_getm_notAfter(x), static_cast<time_t>(now - kBackdate + days * kDay)) &&
              X509_set_pubkey(x, key);
    if (!ok) {
        X509_free(x);
        return nullptr;
    }
    return x;
}

// Moves the names into the list as subtrees; false (every name freed) when
// one is missing or cannot be added.
bool PushSubtrees(STACK_OF(GENERAL_SUBTREE) * list, const std::vector<GENERAL_NAME*>& names) {
    bool ok = list != nullptr;
    for (GENERAL_NAME* g : names) {
        GENERAL_SUBTREE* tree = ok && g ? GENERAL_SUBTREE_new() : nullptr;
        if (!tree || !sk_GENERAL_SUBTREE_push(list, tree)) {
            GENERAL_SUBTREE_free(tree);
            GENERAL_NAME_free(g);
            ok = false;
            continue;
        }
        GENERAL_NAME_free(tree->base);
        tree->base = g;
    }
    return ok;
}

// The DNS names of one kind of subtree, as they are written.
std::vector<std::string> DnsSubtrees(const STACK_OF(GENERAL_SUBTREE) * list) {
    std::vector<std::string> found;
    for (int i = 0; i < sk_GENERAL_SUBTREE_num(list); ++i) {
        GENERAL_SUBTREE* tree = sk_GENERAL_SUBTREE_value(list, i);
        if (tree->base->type != GEN_DNS) continue;
        const ASN1_IA5STRING* s = tree->base->d.dNSName;
        found.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                           static_cast<size_t>(ASN1_STRING_length(s)));
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A permitted DNS subtree "dev" also permits every name below it
// ("www.google.dev"); the excluded ".dev" takes those back, so the root
// signs for the machine's own name and nothing under it.
std::vector<std::string> ExcludedBelow(const std::vector<std::string>& names) {
    std::vector<std::string> below;
    for (const std::string& n : names) below.push_back("." + n);
    std::sort(below.begin(), below.end());
    return below;
}

bool AddNameConstraints(X509* x, const LHttpsCertificateFacts& facts) {
    NAME_CONSTRAINTS* nc = NAME_CONSTRAINTS_new();
    if (!nc) return false;
    nc->permittedSubtrees = sk_GENERAL_SUBTREE_new_null();
    nc->excludedSubtrees = sk_GENERAL_SUBTREE_new_null();
    std::vector<std::string> dns_names = LCertificateDnsNames(facts);
    std::vector<GENERAL_NAME*> names, excluded;
    for (const std::string& dns : dns_names) names.push_back(DnsName(dns));
    for (const Ip4Net& net : kPermittedNets) {
        unsigned char bytes[8];
        std::copy(net.address, net.address + 4, bytes);
        std::copy(net.mask, net.mask + 4, bytes + 4);
        names.push_back(IpName(bytes, 8));
    }
    for (const std::string& below : ExcludedBelow(dns_names)) excluded.push_back(DnsName(below));
    bool ok = PushSubtrees(nc->permittedSubtrees, names);
    ok = PushSubtrees(nc->excludedSubtrees, excluded) && ok;
    ok = ok && X509_add1_ext_i2d(x, NID_name_constraints, nc, 1, X509V3_ADD_DEFAULT) == 1;
    NAME_CONSTRAINTS_free(nc);
    return ok;
}

bool AddServerNames(X509* x, const LHttpsCertificateFacts& facts) {
    GENERAL_NAMES* names = sk_GENERAL_NAME_new_null();
    if (!names) return false;
    bool ok = true;
    const unsigned char loopback[4] = {127, 0, 0, 1};
    std::vector<GENERAL_NAME*> list;
    for (const std::string& dns : LCertificateDnsNames(facts)) list.push_back(DnsName(dns));
    list.push_back(IpName(loopback, 4));
    for (GENERAL_NAME* g : list) {
        if (!g || !sk_GENERAL_NAME_push(names, g)) {
            GENERAL_NAME_free(g);
            ok = false;
        }
    }
    ok = ok && X509_add1_ext_i2d(x, NID_subject_alt_name, names, 0, X509V3_ADD_DEFAULT) == 1;
    GENERAL_NAMES_free(names);
    return ok;
}

// The name the certificates carry as their subject.
std::string CommonName(const LHttpsCertificateFacts& facts) {
    return IsDnsName(facts.host_name) ? facts.host_name : std::string("localhost");
}

bool Finish(X509* x, EVP_PKEY* key, EVP_PKEY* signer, LCertificate& out) {
    if (X509_sign(x, signer, EVP_sha256()) <= 0) {
        X509_free(x);
        EVP_PKEY_free(key);
        return false;
    }
    out.cert = x;
    out.key = key;
    return true;
}

}  // namespace

std::vector<std::string> LCertificateDnsNames(const LHttpsCertificateFacts& facts) {
    std::vector<std::string> names;
    std::string host = Lower(facts.host_name);
    if (IsDnsName(host) && host != "localhost") names.push_back(host);
    names.push_back("localhost");
    return names;
}

bool LMakeRootCertificate(const LHttpsCertificateFacts& facts, LCertificate& out) {
    EVP_PKEY* key = EVP_RSA_gen(3072);
    X509* x = key ? NewCertificate(LRootAuthorityName, nullptr, key, facts.now, kRootDays) : nullptr;
    if (!x) {
        EVP_PKEY_free(key);
        return false;
    }
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    bool ok = AddConf(x, &ctx, NID_basic_constraints, "critical,CA:TRUE,pathlen:1") &&
              AddConf(x, &ctx, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature") &&
              AddConf(x, &ctx, NID_subject_key_identifier, "hash") && AddNameConstraints(x, facts);
    if (!ok) {
        X509_free(x);
        EVP_PKEY_free(key);
        return false;
    }
    return Finish(x, key, key, out);
}

bool LMakeServerCertificate(const LCertificate& root, const LHttpsCertificateFacts& facts, LCertificate& out) {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* x = key ? NewCertificate(CommonName(facts), root.cert, key, facts.now, kServerDays) : nullptr;
    if (!x) {
        EVP_PKEY_free(key);
        return false;
    }
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, root.cert, x, nullptr, nullptr, 0);
    bool ok = AddConf(x, &ctx, NID_basic_constraints, "critical,CA:FALSE") &&
              AddConf(x, &ctx, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
              AddConf(x, &ctx, NID_ext_key_usage, "serverAuth") &&
              AddConf(x, &ctx, NID_subject_key_identifier, "hash") &&
              AddConf(x, &ctx, NID_authority_key_identifier, "keyid:always") && AddServerNames(x, facts);
    out.chain = sk_X509_new_null();
    if (!ok || !out.chain || !X509_up_ref(root.cert) || !sk_X509_push(out.chain, root.cert)) {
        X509_free(x);
        EVP_PKEY_free(key);
        return false;
    }
    return Finish(x, key, root.key, out);
}

bool LPfxEncode(const LCertificate& c, const char* password, const char* friendly_name, std::string& der) {
    der.clear();
    // Zero algorithms take OpenSSL 3's defaults: AES-256-CBC under PBKDF2
    // and an HMAC-SHA-256 integrity check.
    PKCS12* p12 = PKCS12_create(password, friendly_name, c.key, c.cert, c.chain, 0, 0, 0, 0, 0);
    if (!p12) return false;
    unsigned char* buf = nullptr;
    int n = i2d_PKCS12(p12, &buf);
    PKCS12_free(p12);
    if (n <= 0) return false;
    der.assign(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    OPENSSL_free(buf);
    return true;
}

bool LPfxDecode(const std::string& der, const char* password, LCertificate& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(der.size()));
    bool ok = p12 && PKCS12_parse(p12, password, &out.key, &out.cert, &out.chain) == 1 && out.key && out.cert &&
              X509_check_private_key(out.cert, out.key) == 1;
    PKCS12_free(p12);
    ERR_clear_error();
    return ok;
}

bool LCertificateIsCurrent(X509* cert, int64_t now) {
    time_t t = static_cast<time_t>(now);
    time_t soon = static_cast<time_t>(now + kRenewDays * kDay);
    // X509_cmp_time answers 0 for a time it cannot read, which counts as
    // not current either way.
    return X509_cmp_time(X509_get0_notBefore(cert), &t) < 0 && X509_cmp_time(X509_get0_notAfter(cert), &soon) > 0;
}

bool LRootFitsNames(X509* root, const LHttpsCertificateFacts& facts) {
    auto* nc = static_cast<NAME_CONSTRAINTS*>(X509_get_ext_d2i(root, NID_name_constraints, nullptr, nullptr));
    if (!nc) return false;
    std::vector<std::string> permitted = DnsSubtrees(nc->permittedSubtrees);
    std::vector<std::string> excluded = DnsSubtrees(nc->excludedSubtrees);
    NAME_CONSTRAINTS_free(nc);
    std::vector<std::string> want = LCertificateDnsNames(facts);
    std::sort(want.begin(), want.end());
    // A root made without the excluded names is replaced as well.
    return permitted == want && excluded == ExcludedBelow(want);
}

bool LCertificateIssuedBy(X509* cert, const LCertificate& root) {
    EVP_PKEY* pub = X509_get0_pubkey(root.cert);
    return pub && X509_check_issued(root.cert, cert) == X509_V_OK && X509_verify(cert, pub) == 1;
}

std::string LCertificateDer(X509* cert) {
    unsigned char* buf = nullptr;
    int n = i2d_X509(cert, &buf);
    if (n <= 0) return std::string();
    std::string der(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    OPENSSL_free(buf);
    return der;
}

std::string LCertificatePem(X509* cert) {
    BIO* bio = BIO_new(BIO_s_mem());
    std::string pem;
    if (bio && PEM_write_bio_X509(bio, cert) == 1) {
        char* data = nullptr;
        long n = BIO_get_mem_data(bio, &data);
        if (n > 0) pem.assign(data, static_cast<size_t>(n));
    }
    BIO_free(bio);
    return pem;
}
