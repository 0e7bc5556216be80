#pragma once
// The OpenSSL side of the local certificates: making the root authority and
// the server certificate, reading and writing them as PKCS#12, and the
// tests that decide whether what is on disk can still be used.
#include <string>
#include <vector>

#include "net/pfx_certificate.h"
#include "web/server/certificate.h"

// The DNS names the certificates are made for: the machine's name (when it
// is a valid DNS name, lower-cased) and "localhost".
std::vector<std::string> LCertificateDnsNames(const LHttpsCertificateFacts& facts);

// RSA 3072, 10 years, CA with path length 1, critical name constraints
// (the DNS names, loopback and the private ranges).
bool LMakeRootCertificate(const LHttpsCertificateFacts& facts, LCertificate& out);
// RSA 2048, 825 days, signed by the root: the machine's name, localhost and
// 127.0.0.1, server authentication only. The chain holds the root.
bool LMakeServerCertificate(const LCertificate& root, const LHttpsCertificateFacts& facts, LCertificate& out);

// PKCS#12 of the key, the certificate and its chain (AES-256, PBKDF2).
bool LPfxEncode(const LCertificate& c, const char* password, const char* friendly_name, std::string& der);
// The key and certificate of a PKCS#12 blob (and its chain); false when it
// does not open with the password or the key does not fit the certificate.
bool LPfxDecode(const std::string& der, const char* password, LCertificate& out);

// Valid at `now` and for at least 30 more days.
bool LCertificateIsCurrent(X509* cert, int64_t now);
// The root's permitted DNS names are exactly the ones the facts give.
bool LRootFitsNames(X509* root, const LHttpsCertificateFacts& facts);
// Signed by this root.
bool LCertificateIssuedBy(X509* cert, const LCertificate& root);

std::string LCertificateDer(X509* cert);
std::string LCertificatePem(X509* cert);
