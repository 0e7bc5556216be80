// A real browser and the local root: headless Chromium with a certificate
// store of its own refuses the service's HTTPS pages until the root is added
// to that store (certutil), then opens the start route without a warning.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "web/server/tests/tool_run.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kToken = "TlsBr0wserTokenTlsBr0wserTokenTlsBr0wser";
// The title of the home page, which the service installs and /start leads to.
constexpr const char* kMarker = "<title>Porlinex - Main</title>";

std::string Browser() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (access(p, X_OK) == 0) return p;
    return "";
}

TEST(CertificateBrowser, ChromiumTrustsTheLocalRootOnceItIsInItsStore) {
    std::string chromium = Browser();
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/packages/web.txt)";
    if (LTestRunTool({"sh", "-c", "command -v certutil"}).exit_code != 0)
        GTEST_SKIP() << "certutil is not installed (scripts/packages/web-certs.txt)";
    LTestRoot root;
    LTestUseFreeWebPorts();
    char16_t port[260];
    LRegSettingsGet(u"WebServer", u"SecurePort", u"", port);
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", LFromUtf8(kToken).c_str());
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime", LFromUtf8(std::to_string(LNow())).c_str());

    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    std::string url = "https://localhost:" + LToUtf8(port) + "/start?token=" + kToken;
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        return LTestRunTool({"curl", "-s", "-k", "-o", "/dev/null", "https://localhost:" + LToUtf8(port) + "/"})
                   .exit_code == 0;
    }));

    // Chromium keeps its trusted roots in $HOME/.pki/nssdb.
    std::string home = root.Path() + "/browser-home", db = "sql:" + home + "/.pki/nssdb";
    fs::create_directories(home + "/.pki/nssdb");
    ASSERT_EQ(LTestRunTool({"certutil", "-N", "-d", db, "--empty-password"}).exit_code, 0);
    auto open = [&](const std::string& profile) {
        return LTestRunTool({chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                             "--disable-component-update", "--no-first-run", "--user-data-dir=" + home + "/" + profile,
                             "--virtual-time-budget=5000", "--dump-dom", url},
                            {"HOME=" + home}, 60000);
    };
    LTestToolResult refused = open("before");
    EXPECT_EQ(refused.output.find(kMarker), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("ERR_CERT_AUTHORITY_INVALID"), std::string::npos) << refused.output;

    ASSERT_EQ(LTestRunTool({"certutil", "-A", "-d", db, "-n", "Porlinex Local Root CA", "-t", "C,,", "-i",
                            root.DataFolder() + "/Crypt/local-root-ca.cer"})
                  .exit_code,
              0);
    LTestToolResult trusted = open("after");
    EXPECT_NE(trusted.output.find(kMarker), std::string::npos) << trusted.output;
    EXPECT_EQ(trusted.output.find("ERR_CERT"), std::string::npos) << trusted.output;
    EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
