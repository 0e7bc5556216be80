// The metrics pages of the running service, read with curl.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "tests/support/service_harness.h"
#include "web/http/tests/http_harness.h"

namespace {

class MetricsPages : public ::testing::Test {
protected:
    void SetUp() override {
        LTestUseFreeWebPorts();
        char16_t v[260];
        LRegSettingsGet(u"WebServer", u"Port", u"", v);
        port = LToUtf8(v);
        service = std::make_unique<LTestService>();
        ASSERT_TRUE(service->WaitRunning());
        ASSERT_TRUE(service->WaitWebListening());
        LAppDatabaseAccount db(false);
        char16_t id[19];
        LAppDatabaseAccount::CreateSessionID(db, id);
        ASSERT_TRUE(db.ExecF(u"INSERT INTO main.SESSION_DATA VALUES ('%s', 'local', 'main', '2099-01-01');", id));
        cookie = "porlinex_sess=" + LToUtf8(id);
    }
    void TearDown() override {
        if (service) {
            EXPECT_EQ(service->Stop(), 0);
        }
    }
    std::string Get(const std::string& path, std::vector<std::string> extra = {}) {
        std::vector<std::string> argv = {"curl", "-s", "-i", "--max-time", "15", "-b", cookie};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back("http://127.0.0.1:" + port + path);
        return LTestRunCaptured(argv).output;
    }
    static std::string Cell(const std::string& route, uint64_t count) {
        char padded[16];
        std::snprintf(padded, sizeof padded, "%08llu", static_cast<unsigned long long>(count));
        return "data-order='" + std::string(padded) + route + "'>" + std::to_string(count) + "</td>";
    }

    LTestRoot root;
    std::unique_ptr<LTestService> service;
    std::string port, cookie;
};

TEST_F(MetricsPages, CountsResetAndTheRunningRequest) {
    Get("/logon");
    Get("/dbtable-write", {"-X", "POST", "-H", "X-AJAX: 1", "--data-binary", "{}"});
    std::string page = Get("/_webscriptmetrics");
    EXPECT_NE(page.find("<title>Web Server Metrics</title>"), std::string::npos);
    EXPECT_NE(page.find(Cell("logon", 1)), std::string::npos) << page;
    EXPECT_NE(page.find(Cell("dbtable-write", 1)), std::string::npos);
    // A route never called: zero counts and empty averages.
    EXPECT_NE(page.find(Cell("lostpasswordsent", 0) + "<td class=hltd data-order='00000000lostpasswordsent'>0</td>"
                        "<td class=hltd data-order=></td>"),
              std::string::npos);

    std::string reset = Get("/_webscriptmetrics_reset");
    EXPECT_EQ(reset.substr(0, reset.find("\r\n")), "HTTP/1.1 302 Found");
    EXPECT_NE(reset.find("\r\nLocation: _webscriptmetrics\r\n"), std::string::npos);
    page = Get("/_webscriptmetrics");
    EXPECT_NE(page.find(Cell("logon", 0)), std::string::npos);
    EXPECT_NE(page.find(Cell("dbtable-write", 1)), std::string::npos);

    std::string current = Get("/_webscriptmetrics_current");
    EXPECT_NE(current.find("data-order='HTTP'>HTTP</td><td class=hltd style='text-align:left;' "
                           "data-order='_webscriptmetrics_current'>_webscriptmetrics_current</td>"),
              std::string::npos)
        << current;
}

TEST_F(MetricsPages, DownloadsOnlyFilesDirectlyInLang) {
    const std::string data = root.DataFolder();
    std::filesystem::create_directories(data + "/Lang/sub");
    std::ofstream(data + "/Lang/map.txt") << "lang map";
    std::ofstream(data + "/Lang/sub/inner.txt") << "inner";
    std::ofstream(data + "/secret.txt") << "secret";
    ASSERT_EQ(symlink("../secret.txt", (data + "/Lang/link.txt").c_str()), 0);
    struct Case {
        std::string file;  // URL-encoded
        bool served;
    };
    const Case cases[] = {
        {"map.txt", true},         {"x%2Fmap.txt", true},          {"..%5C..%5Cmap.txt", true},
        {"..", false},             {".", false},                   {"..%2Fmain.db", false},
        {"..%2Fsecret.txt", false}, {"C%3A", false},               {"link.txt", false},
        {"sub", false},            {"sub%2Finner.txt", false},     {"", false},
        {"%2e%2e", false},
    };
    for (const Case& c : cases) {
        std::string reply = Get("/_webscriptlxamapdownload?file=" + c.file);
        std::string status = reply.substr(0, reply.find("\r\n"));
        if (c.served) {
            EXPECT_EQ(status, "HTTP/1.1 200 OK") << c.file;
            EXPECT_EQ(reply.substr(reply.size() - 8), "lang map") << c.file;
        } else {
            EXPECT_EQ(status, "HTTP/1.1 404 Not Found") << c.file;
            EXPECT_EQ(reply.find("secret"), std::string::npos) << c.file;
        }
    }
}

}  // namespace
