// The local HTTPS certificates: what a fresh start makes (checked with the
// openssl tool and curl against the running service), what a later start
// keeps or renews, and what a hostile Crypt folder cannot make it do.
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "foundation/value_cipher.h"
#include "foundation/wait.h"
#include "platform/system_info.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "web/server/certificate.h"
#include "web/server/certificate_x509.h"
#include "web/server/tests/tool_run.h"

namespace {

namespace fs = std::filesystem;

const char* const kFiles[] = {LRootPfxName, LRootCerName, LServerPfxName, LCertificateStateName};

std::string Crypt(const LTestRoot& root) { return root.DataFolder() + "/Crypt"; }

std::string StoredPassword() {
    char16_t pw[260];
    LSslSettingsGetPassword(pw);
    return LToUtf8(pw);
}

std::map<std::string, std::string> Contents(const LTestRoot& root) {
    std::map<std::string, std::string> files;
    for (const char* name : kFiles) files[name] = LTestReadFile(Crypt(root) + "/" + name);
    return files;
}

unsigned Mode(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The certificate of a PKCS#12 file as PEM, through the openssl tool.
std::string PemOf(const std::string& p12, const std::string& password, const std::string& out) {
    LTestToolResult r = LTestRunTool({"openssl", "pkcs12", "-in", p12, "-passin", "env:PW", "-nokeys", "-clcerts",
                                      "-out", out},
                                     {"PW=" + password});
    return r.exit_code == 0 ? out : std::string();
}

std::string Text(const std::string& pem) { return LTestRunTool({"openssl", "x509", "-in", pem, "-noout", "-text"}).output; }

// The bytes of the serial number as `openssl x509 -text` shows it.
size_t SerialBytes(const std::string& text) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex("Serial Number:\\s*\\n\\s*([0-9a-f:]+)"))) return 0;
    return (m[1].str().size() + 1) / 3;
}

int CurlStatus(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "10"};
    argv.insert(argv.end(), args.begin(), args.end());
    LTestToolResult r = LTestRunTool(argv);
    return r.exit_code == 0 ? std::atoi(r.output.c_str()) : -r.exit_code;
}

bool Ensure() {
    LPlainWait wait;
    return LEnsureHttpsCertificate(wait);
}

std::string SecurePort() {
    char16_t v[260];
    LRegSettingsGet(u"WebServer", u"SecurePort", u"", v);
    return LToUtf8(v);
}

TEST(CertificateProgram, FreshStartMakesTrustedCertificatesAndASecondStartKeepsThem) {
    LTestRoot root;
    std::string port = (LTestUseFreeWebPorts(), SecurePort());
    std::string host = LPlatformHostName();
    std::string root_pem = root.Path() + "/root.pem", server_pem = root.Path() + "/server.pem";
    {
        LTestService service;
        ASSERT_TRUE(service.WaitRunning());
        ASSERT_TRUE(LTestWaitFor(20000, [&] { return CurlStatus({"-k", "https://127.0.0.1:" + port + "/"}) > 0; }));
        EXPECT_EQ(service.Stop(), 0);
    }
    // The first certificate turns the TLS listener on; a later "0" would stay.
    char16_t enabled[260];
    LRegSettingsGet(u"WebServer", u"SecureEnabled", u"", enabled);
    EXPECT_EQ(LToUtf8(enabled), "1");

    std::string password = StoredPassword();
    EXPECT_TRUE(std::regex_match(password, std::regex("[0-9a-f]{64}"))) << password;
    EXPECT_EQ(Mode(Crypt(root)), 02750u);
    for (const char* name : kFiles)
        EXPECT_EQ(Mode(Crypt(root) + "/" + name), name == std::string(LRootPfxName) ? 0600u : 0640u) << name;

    for (const char* p12 : {LRootPfxName, LServerPfxName}) {
        std::string path = Crypt(root) + "/" + p12;
        EXPECT_EQ(LTestRunTool({"openssl", "pkcs12", "-info", "-in", path, "-passin", "env:PW", "-noout"},
                               {"PW=" + password})
                      .exit_code,
                  0)
            << p12;
        EXPECT_NE(LTestRunTool({"openssl", "pkcs12", "-info", "-in", path, "-passin", "pass:wrong", "-noout"})
                      .exit_code,
                  0)
            << p12;
    }
    ASSERT_EQ(LTestRunTool({"openssl", "x509", "-inform", "DER", "-in", Crypt(root) + "/" + LRootCerName, "-out",
                            root_pem})
                  .exit_code,
              0);
    ASSERT_FALSE(PemOf(Crypt(root) + "/" + LServerPfxName, password, server_pem).empty());
    LTestToolResult verify = LTestRunTool({"openssl", "verify", "-CAfile", root_pem, server_pem});
    EXPECT_EQ(verify.exit_code, 0) << verify.output;

    std::string root_text = Text(root_pem), server_text = Text(server_pem);
    for (const char* want : {"Public-Key: (3072 bit)", "CA:TRUE, pathlen:1", "X509v3 Name Constraints: critical",
                             "DNS:localhost", "IP:127.0.0.0/255.0.0.0", "IP:10.0.0.0/255.0.0.0",
                             "IP:172.16.0.0/255.240.0.0", "IP:192.168.0.0/255.255.0.0", "Certificate Sign, CRL Sign"})
        EXPECT_NE(root_text.find(want), std::string::npos) << want << "\n" << root_text;
    for (const std::string& want :
         {std::string("Public-Key: (2048 bit)"), std::string("TLS Web Server Authentication"),
          std::string("CA:FALSE"), "DNS:" + host + ", DNS:localhost, IP Address:127.0.0.1"})
        EXPECT_NE(server_text.find(want), std::string::npos) << want << "\n" << server_text;
    EXPECT_GE(SerialBytes(root_text), 16u);
    EXPECT_GE(SerialBytes(server_text), 16u);

    std::map<std::string, std::string> first = Contents(root);
    {
        LTestService service;
        ASSERT_TRUE(service.WaitRunning());
        // curl trusts nothing but the local root, under every name the
        // certificate is made for.
        ASSERT_TRUE(LTestWaitFor(20000, [&] {
            return CurlStatus({"--cacert", root_pem, "https://localhost:" + port + "/"}) > 0;
        }));
        EXPECT_GT(CurlStatus({"--cacert", root_pem, "https://127.0.0.1:" + port + "/"}), 0);
        EXPECT_GT(CurlStatus({"--cacert", root_pem, "--resolve", host + ":" + port + ":127.0.0.1",
                              "https://" + host + ":" + port + "/"}),
                  0);
        EXPECT_LT(CurlStatus({"https://localhost:" + port + "/"}), 0);  // without the root: refused
        EXPECT_EQ(service.Stop(), 0);
    }
    EXPECT_EQ(Contents(root), first);
    EXPECT_EQ(StoredPassword(), password);
}

// Timings for the record: the first creation and a start that finds them.
TEST(Certificates, FirstCreationAndAStartThatFindsThem) {
    LTestRoot root;
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(Ensure());
    auto t1 = std::chrono::steady_clock::now();
    ASSERT_TRUE(Ensure());
    auto t2 = std::chrono::steady_clock::now();
    auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    std::cout << "[ timing ] first creation " << ms(t1 - t0) << " ms, start that finds them " << ms(t2 - t1)
              << " ms\n";
    EXPECT_FALSE(fs::exists(Crypt(root) + "/local-https-password.tmp"));
}

struct RenewCase {
    const char* name;
    int64_t made_days_ago;      // when the first certificates were made
    const char* host_then;      // the machine's name then ("" = as now)
    const char* address_then;   // its LAN address then
    bool new_root;
    bool new_server;
};

TEST(Certificates, RenewalKeepsTheRootUnlessItMustGo) {
    const RenewCase cases[] = {
        {"nothing changed", 0, "", "192.168.1.20", false, false},
        {"address changed", 0, "", "192.168.1.99", false, true},
        {"server near its end", 800, "", "192.168.1.20", false, true},
        {"machine renamed", 0, "oldname", "192.168.1.20", true, true},
        {"root near its end", 3640, "", "192.168.1.20", true, true},
    };
    const int64_t now = static_cast<int64_t>(LNow());
    for (const RenewCase& c : cases) {
        SCOPED_TRACE(c.name);
        LTestRoot root;
        fs::create_directories(Crypt(root));
        LPlatformFolderHandle folder;
        ASSERT_TRUE(folder.Open(Crypt(root), false, 0));
        LHttpsCertificateFacts then{*c.host_then ? c.host_then : "thishost", c.address_then, now - c.made_days_ago * 86400};
        LHttpsCertificateFacts today{"thishost", "192.168.1.20", now};
        LHttpsCertificateOutcome first, second;
        ASSERT_TRUE(LHttpsCertificateRefresh(folder, "pw", then, first));
        EXPECT_TRUE(first.new_root && first.new_server);
        std::map<std::string, std::string> before = Contents(root);
        ASSERT_TRUE(LHttpsCertificateRefresh(folder, "pw", today, second));
        std::map<std::string, std::string> after = Contents(root);
        EXPECT_EQ(second.new_root, c.new_root);
        EXPECT_EQ(second.new_server, c.new_server);
        EXPECT_EQ(before[LRootPfxName] != after[LRootPfxName], c.new_root);
        EXPECT_EQ(before[LServerPfxName] != after[LServerPfxName], c.new_server);
        EXPECT_EQ(after[LCertificateStateName], "v6|thishost|192.168.1.20");
        // A new certificate under the same issuer never repeats a serial.
        LCertificate old_server, new_server;
        ASSERT_TRUE(LPfxDecode(before[LServerPfxName], "pw", old_server));
        ASSERT_TRUE(LPfxDecode(after[LServerPfxName], "pw", new_server));
        bool same_serial = ASN1_INTEGER_cmp(X509_get0_serialNumber(old_server.cert),
                                            X509_get0_serialNumber(new_server.cert)) == 0;
        EXPECT_EQ(same_serial, !c.new_server);
        EXPECT_TRUE(LCertificateIsCurrent(new_server.cert, now));
    }
}

TEST(Certificates, LostServerFileIsRemadeUnderTheSameRootAndPassword) {
    LTestRoot root;
    ASSERT_TRUE(Ensure());
    std::map<std::string, std::string> first = Contents(root);
    std::string password = StoredPassword();
    fs::remove(Crypt(root) + "/" + LServerPfxName);
    ASSERT_TRUE(Ensure());
    std::map<std::string, std::string> second = Contents(root);
    EXPECT_EQ(second[LRootPfxName], first[LRootPfxName]);
    EXPECT_EQ(second[LRootCerName], first[LRootCerName]);
    EXPECT_FALSE(second[LServerPfxName].empty());
    EXPECT_EQ(StoredPassword(), password);
}

TEST(Certificates, LegacyPasswordMovesIntoTheDatabase) {
    LTestRoot root;
    const std::string legacy = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    std::string bytes = legacy;
    ASSERT_NE(LValueCipherGet(), nullptr);
    LValueCipherGet()->Crypt(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    const char16_t* key = u"Software\\Vek Software\\Porlinex\\Crypt";
    ASSERT_TRUE(LRegWriteBinary(LRegHive::LocalMachine, key, u"_Password", bytes.data(), bytes.size()));
    ASSERT_TRUE(Ensure());
    EXPECT_EQ(StoredPassword(), legacy);
    LByteBuffer left;
    EXPECT_FALSE(LRegQueryBinary(LRegHive::LocalMachine, key, u"_Password", left));
    EXPECT_EQ(LTestRunTool({"openssl", "pkcs12", "-info", "-noout", "-in", Crypt(root) + "/" + LServerPfxName,
                            "-passin", "env:PW"},
                           {"PW=" + legacy})
                  .exit_code,
              0);
}

TEST(Certificates, LinksInPlaceOfCryptOrItsFilesAreNeverFollowed) {
    LTestRoot root;
    std::string outside = root.Path() + "/outside";
    fs::create_directories(outside);
    fs::create_directories(root.DataFolder());
    fs::create_directory_symlink(outside, Crypt(root));
    EXPECT_FALSE(Ensure());
    EXPECT_TRUE(fs::is_empty(outside));

    fs::remove(Crypt(root));
    ASSERT_TRUE(Ensure());
    // A link planted in place of a file is replaced, its target untouched.
    std::ofstream(outside + "/victim") << "keep";
    for (const char* name : {LServerPfxName, LCertificateStateName}) {
        fs::remove(Crypt(root) + "/" + name);
        fs::create_symlink(outside + "/victim", Crypt(root) + "/" + name);
    }
    ASSERT_TRUE(Ensure());
    EXPECT_EQ(LTestReadFile(outside + "/victim"), "keep");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Crypt(root) + "/" + LServerPfxName)));
}

TEST(Certificates, FailedServerCertificateKeepsTheRootAndItsPassword) {
    LTestRoot root;
    ASSERT_TRUE(Ensure());
    std::string root_p12 = LTestReadFile(Crypt(root) + "/" + LRootPfxName), password = StoredPassword();
    // Nothing can be written where the server certificate goes.
    fs::remove(Crypt(root) + "/" + LServerPfxName);
    fs::create_directory(Crypt(root) + "/" + LServerPfxName);
    fs::create_directory(Crypt(root) + "/" + LServerPfxName + "/x");
    EXPECT_FALSE(Ensure());
    EXPECT_EQ(LTestReadFile(Crypt(root) + "/" + LRootPfxName), root_p12);
    EXPECT_EQ(StoredPassword(), password);
}

}  // namespace

namespace {

// On a machine named "dev" the root may vouch for "dev" itself but not for
// a site under that top-level domain, even with its own key.
TEST(Certificates, RootVouchesForTheMachineNameButNothingBelowIt) {
    LTestRoot root;
    const int64_t now = static_cast<int64_t>(LNow());
    LCertificate ca;
    ASSERT_TRUE(LMakeRootCertificate({"dev", "", now}, ca));
    std::string dir = root.Path();
    std::ofstream(dir + "/root.pem") << LCertificatePem(ca.cert);
    std::string text = Text(dir + "/root.pem");
    EXPECT_NE(text.find("Excluded:"), std::string::npos) << text;
    EXPECT_NE(text.find("DNS:.dev"), std::string::npos) << text;
    struct {
        const char* name;
        bool verifies;
    } cases[] = {{"dev", true}, {"www.example.dev", false}, {"example.dev", false}, {"localhost", true}};
    for (const auto& c : cases) {
        LCertificate leaf;
        ASSERT_TRUE(LMakeServerCertificate(ca, {c.name, "", now}, leaf)) << c.name;
        std::string leaf_pem = dir + "/leaf-" + c.name + ".pem";
        std::ofstream(leaf_pem) << LCertificatePem(leaf.cert);
        LTestToolResult r = LTestRunTool({"openssl", "verify", "-CAfile", dir + "/root.pem", leaf_pem});
        EXPECT_EQ(r.exit_code == 0, c.verifies) << c.name << ": " << r.output;
        if (!c.verifies) {
            EXPECT_NE(r.output.find("excluded subtree violation"), std::string::npos) << r.output;
        }
    }
    EXPECT_TRUE(LRootFitsNames(ca.cert, {"dev", "", now}));
    EXPECT_FALSE(LRootFitsNames(ca.cert, {"other", "", now}));
}

}  // namespace
