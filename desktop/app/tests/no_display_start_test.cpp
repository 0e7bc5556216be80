// The desktop start on a machine without a display (a server, an SSH
// session): the real program leaves the interface's one-time start address
// on standard error, and that address signs a browser in on this machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

// Sets or clears an environment variable for the object's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(NoDisplayStart, PrintsAStartAddressThatSignsInOnce) {
    LTestRoot root;
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    ASSERT_TRUE(service.WaitWebListening());
    char16_t port[260];
    LRegSettingsGet(u"WebServer", u"Port", u"", port);

    ScopedEnv no_x("DISPLAY", nullptr), no_wayland("WAYLAND_DISPLAY", nullptr);
    // No look for a newer version on the network from a test.
    ScopedEnv quiet("LQUIET", "1");
    int code = -1;
    std::string err = LTestRunCapture({LTestProgramPath()}, 60000, &code, true);
    EXPECT_EQ(code, 0) << err;
    std::smatch m;
    std::regex address("Open this address in a browser on this machine[^\n]*:\n  (http://localhost:" + LToUtf8(port) +
                       "/start\\?token=[0-9a-zA-Z]{40})\n");
    ASSERT_TRUE(std::regex_search(err, m, address)) << err;
    const std::string url = m[1];

    const std::string jar = root.Path() + "/cookies";
    std::string followed = LTestRunCapture(
        {"curl", "-s", "-L", "-c", jar, "-D", "-", "-o", "/dev/null", "-w", "END %{url_effective}", url}, 20000);
    EXPECT_NE(followed.find("HTTP/1.1 302 Found"), std::string::npos) << followed;
    EXPECT_NE(followed.find("END http://localhost:" + LToUtf8(port) + "/index.html"), std::string::npos) << followed;
    // The cookie it set is a session the service knows.
    std::string status = LTestRunCapture({"curl", "-s", "-b", jar, "-o", "/dev/null", "-w", "%{http_code}",
                                          "http://localhost:" + LToUtf8(port) + "/emailaccountstatus"},
                                         20000);
    EXPECT_EQ(status, "200");
    // Used once, the address signs nobody else in.
    std::string again = LTestRunCapture({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", url}, 20000);
    EXPECT_EQ(again, "401");
}

}  // namespace
