// The AI-client install routes and install status in the real service: the
// service asks the desktop, and this test process is that desktop, with its
// own service proxy answering the requests through the real handler. Files
// land under the test root's home.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <future>
#include <string>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "host/desktop_requests.h"
#include "host/engine_proxy.h"
#include "host/tests/mcp_service_session.h"
#include "mcp/mcp_auth.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::json;

// The desktop's event handler, minus the window: requests go to the handler.
class Desktop : public LServiceEngineProxyOwner {
public:
    void OnServiceLogLine(const std::string&, const std::string&, int) override {}
    void OnServiceEvent(uint32_t code, const void*, uint32_t value) override { LDesktopRequestHandle(code, value); }
};

class InstallRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        LStartMcpServiceSession(run);
        ASSERT_FALSE(HasFatalFailure());
        port = run.port;
        session = run.session;
    }

    // curl's body of a POST (or a GET when `post` is false) from `host`.
    std::string Call(const std::string& path, bool post = true, bool with_session = true,
                     const std::string& host = "127.0.0.1") {
        std::vector<std::string> argv = {"curl", "-s", "--max-time", "90", "-H", "X-AJAX: 1"};
        if (with_session) argv.insert(argv.end(), {"-b", "porlinex_sess=" + session});
        if (post) argv.insert(argv.end(), {"-X", "POST", "--data-binary", "{}"});
        argv.push_back("http://" + host + ":" + port + path);
        return LTestRunCaptured(argv, 100000).output;
    }

    json Status() { return json::parse(Call("/mcp/status", false), nullptr, false); }

    LTestRoot root;
    LMcpServiceSession run;
    std::string port, session;
};

TEST_F(InstallRoutes, DesktopInstallsAndReportsEachClient) {
    Desktop desktop;
    LServiceEngineProxy proxy(&desktop);
    ASSERT_TRUE(proxy.Connect());
    json before = Status();
    ASSERT_FALSE(before.is_discarded());
    for (const char* client : {"claudeDesktop", "antigravity"}) {
        EXPECT_EQ(before[std::string(client) + "StatusUnknown"], false);
        EXPECT_EQ(before[std::string(client) + "Installed"], false);
        EXPECT_EQ(before[std::string(client) + "ConfigValid"], true);
    }
    EXPECT_EQ(before["codexInstalled"], false);

    for (const char* route : {"/mcp/claude-install", "/mcp/antigravity-install", "/mcp/codex-install"})
        EXPECT_EQ(Call(route), "{\"ok\":true}") << route;

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string home = root.Path() + "/home";
    EXPECT_EQ(LTestReadFile(home + "/.config/Claude/claude_desktop_config.json"),
              "{\"mcpServers\":{\"Porlinex\":{\"command\":\"" + self + "\",\"args\":[\"-mcpstdio\"]}}}");
    EXPECT_NE(LTestReadFile(home + "/.config/.gemini/config/mcp_config.json").find("\"porlinex\""), std::string::npos);
    EXPECT_NE(LTestReadFile(home + "/.codex/config.toml").find("url = \"http://127.0.0.1:" + port + "/mcp\""),
              std::string::npos);

    json after = Status();
    EXPECT_EQ(after["claudeDesktopConfigPath"], home + "/.config/Claude/claude_desktop_config.json");
    EXPECT_EQ(after["antigravityConfigPath"], home + "/.config/.gemini/config/mcp_config.json");
    for (const char* client : {"claudeDesktop", "antigravity"}) {
        SCOPED_TRACE(client);
        EXPECT_EQ(after[std::string(client) + "ConfigExists"], true);
        EXPECT_EQ(after[std::string(client) + "Installed"], true);
        EXPECT_EQ(after[std::string(client) + "InstallMatches"], true);
        EXPECT_EQ(after[std::string(client) + "StatusUnknown"], false);
    }
    EXPECT_EQ(after["codexConfigPath"], home + "/.codex/config.toml");
    EXPECT_EQ(after["codexInstalled"], true);

    // A refusal of the desktop's installer comes back as the route's error.
    fs::remove(home + "/.config/Claude/claude_desktop_config.json");
    fs::create_directories(home + "/.config/Claude/claude_desktop_config.json");
    EXPECT_EQ(Call("/mcp/claude-install"),
              "{\"ok\":false,\"error\":\"Claude Desktop config exists but is not valid JSON.\"}");
}

TEST_F(InstallRoutes, RefusedWithoutSessionOrFromAnotherMachine) {
    Desktop desktop;
    LServiceEngineProxy proxy(&desktop);
    ASSERT_TRUE(proxy.Connect());
    EXPECT_EQ(Call("/mcp/codex-install", true, false), "{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
    std::string outside = LTestOwnNonLoopbackAddress();
    ASSERT_FALSE(outside.empty()) << "the machine has no address outside 127.0.0.0/8";
    const std::pair<const char*, const char*> routes[] = {
        {"/mcp/claude-install", "Claude Desktop config can only be installed from localhost."},
        {"/mcp/antigravity-install", "Antigravity config can only be installed from localhost."},
        {"/mcp/codex-install", "Codex configuration can only be installed from localhost."},
    };
    for (const auto& [route, text] : routes)
        EXPECT_EQ(Call(route, true, true, outside), std::string("{\"ok\":false,\"error\":\"") + text + "\"}");
    for (const char* file : {"/home/.config/Claude", "/home/.config/.gemini", "/home/.codex"})
        EXPECT_FALSE(fs::exists(root.Path() + file)) << file;
}

// No desktop is connected: the install says so and the status reports the
// desktop clients' state as unknown, both without waiting for one.
TEST_F(InstallRoutes, NoDesktopAnswersAtOnceAndReportsUnknown) {
    auto asked = std::chrono::steady_clock::now();
    auto install = std::async(std::launch::async, [&] { return Call("/mcp/claude-install"); });
    json status = Status();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    const std::string installed = install.get();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    EXPECT_EQ(installed,
              "{\"ok\":false,\"error\":\"No Porlinex window is currently open to complete this. Open Porlinex and "
              "try again.\"}");
    ASSERT_FALSE(status.is_discarded());
    EXPECT_EQ(status["claudeDesktopStatusUnknown"], true);
    EXPECT_EQ(status["antigravityStatusUnknown"], true);
    EXPECT_EQ(status["claudeDesktopConfigPath"], "");
    EXPECT_EQ(status["claudeDesktopConfigValid"], true);
    EXPECT_EQ(status["codexConfigPath"], "");
    EXPECT_EQ(status["codexInstalled"], false);
    EXPECT_EQ(status["desktopWindowOpen"], false);
    EXPECT_EQ(status["desktopStatusMessage"],
              "No Porlinex window is open, so the AI clients' install state is unknown. Open Porlinex to see it.");
    EXPECT_FALSE(fs::exists(root.Path() + "/home/.config/Claude"));
}

}  // namespace
