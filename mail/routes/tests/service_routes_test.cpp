// The mail routes in the real service: a session from the start route opens
// them, and the backup worker that the service starts answers a settings
// change with a round.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "tests/support/service_harness.h"
#include "web/http/tests/http_harness.h"

namespace {

TEST(ServiceMailRoutes, StartRouteSessionReachesTheRoutesAndTheBackupWorker) {
    LTestRoot root;
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    ASSERT_TRUE(service.WaitWebListening());
    char16_t port[260];
    LRegSettingsGet(u"WebServer", u"Port", u"", port);
    std::string base = "http://127.0.0.1:" + LToUtf8(port);
    auto curl = [&](const std::vector<std::string>& args, const std::string& path) {
        std::vector<std::string> argv = {"curl", "-s", "-i", "--max-time", "15"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(base + path);
        std::string out = LTestRunCaptured(argv).output;
        return out;
    };
    auto body = [](const std::string& response) {
        size_t at = response.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : response.substr(at + 4);
    };

    const char16_t* token = u"MailR0utesMailR0utesMailR0utesMailR0utes";
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", token);
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime",
                    LFromUtf8(std::to_string(static_cast<int64_t>(LNow()))).c_str());
    std::string start = curl({}, "/start?token=" + LToUtf8(token));
    size_t at = start.find("porlinex_sess=");
    ASSERT_NE(at, std::string::npos) << start;
    std::string cookie = start.substr(at, start.find(';', at) - at);

    std::vector<std::string> post = {"-X", "POST", "-H", "X-AJAX: 1", "--data-binary"};
    auto call = [&](const std::string& route, const std::string& json, bool signed_in) {
        std::vector<std::string> args = post;
        args.push_back(json);
        if (signed_in) args.insert(args.end(), {"-b", cookie});
        return body(curl(args, "/" + route));
    };
    EXPECT_EQ(call("emailaccountstatus", "{}", false), "{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
    EXPECT_EQ(call("emailaccountstatus", "{}", true), "{\"accounts\":[]}");
    EXPECT_EQ(call("emailsearch", "{\"query\":\"x\"}", false), "{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");

    std::string folder = root.Path() + "/backup";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(call("backupsettings", "{\"enabled\":1,\"folder\":\"" + folder + "\"}", true),
              "{\"errorcode\":200,\"errormsg\":\"OK\"}");
    // The worker's round over the (empty) store completes and is recorded.
    EXPECT_TRUE(LTestWaitFor(30000, [] {
        char16_t done[260];
        return LRegSettingsGet(u"EmailBackup", u"LastDoneUTC", u"", done) && done[0];
    }));
    EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
