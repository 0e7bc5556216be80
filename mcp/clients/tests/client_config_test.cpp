// The AI clients' configuration files as the installers leave them, read
// back with the parsers the clients use (Python's json and tomllib stand in
// for them): the program's entry changes and nothing else does.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "mcp/clients/client_files.h"
#include "mcp/clients/codex_config.h"
#include "mcp/clients/json_clients.h"
#include "mcp/mcp_auth.h"
#include "tests/support/test_root.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kTestData = std::string(PORLINEX_SOURCE_DIR) + "/mcp/clients/tests/testdata/";

std::string Python(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/python3", kTestData + "config_check.py"};
    argv.insert(argv.end(), args.begin(), args.end());
    LTestCurlResult r = LTestRunCaptured(argv);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    while (!r.output.empty() && r.output.back() == '\n') r.output.pop_back();
    return r.output;
}

void WriteFile(const std::string& path, const std::string& bytes, mode_t mode = 0600) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    chmod(path.c_str(), mode);
}

mode_t Mode(const std::string& path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

std::string Fresh(const char* key) {
    return "{\"mcpServers\":{\"" + std::string(key) + "\":{\"command\":\"" + LMcpProgramPath() +
           "\",\"args\":[\"-mcpstdio\"]}}}";
}

struct JsonClient {
    const char* key;
    std::string path;
    bool (*install)(std::string&);
    void (*check)(bool&, bool&, bool&, bool&);
    const char* invalid_text;
};

std::vector<JsonClient> JsonClients(const LTestRoot& root) {
    return {{"Porlinex", root.Path() + "/home/.config/Claude/claude_desktop_config.json", LClaudeDesktopConfigInstall,
             LClaudeDesktopConfigCheck, "Claude Desktop config exists but is not valid JSON."},
            {"porlinex", root.Path() + "/home/.config/.gemini/config/mcp_config.json", LAntigravityConfigInstall,
             LAntigravityConfigCheck, "Antigravity config exists but is not valid JSON."}};
}

TEST(JsonClientConfig, NewFileHoldsOnlyTheEntry) {
    LTestRoot root;
    for (const JsonClient& c : JsonClients(root)) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.path, c.key[0] == 'P' ? LClaudeDesktopConfigGetPath() : LAntigravityConfigGetPath());
        std::string error;
        ASSERT_TRUE(c.install(error)) << error;
        EXPECT_EQ(LTestReadFile(c.path), Fresh(c.key));
        EXPECT_EQ(Mode(c.path), 0600u);
        EXPECT_EQ(Mode(fs::path(c.path).parent_path()), 0700u);
        bool exists, valid, installed, matches;
        c.check(exists, valid, installed, matches);
        EXPECT_TRUE(exists && valid && installed && matches);
    }
}

TEST(JsonClientConfig, MergeKeepsEveryOtherByte) {
    LTestRoot root;
    const std::string fixture = LTestReadFile(kTestData + "claude_config.json");
    struct Case {
        const char* name;
        std::string before;
    };
    const Case cases[] = {
        {"other servers, env, odd numbers and escapes", fixture},
        {"entry of another kind", R"({"a":1,"mcpServers":{"x":{},"Porlinex":"old","porlinex":7}})"},
        {"servers of another kind", R"( {"mcpServers":[1,2], "b":"\u2028"} )"},
        {"a repeated entry: the last one is the client's", R"({"mcpServers":{"Porlinex":{},"porlinex":{},"Porlinex":{"command":1,"args":2,"args":3},"porlinex":{"args":[]}}})"},
        {"empty file", ""},
    };
    for (const JsonClient& c : JsonClients(root)) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(c.key) + ": " + k.name);
            WriteFile(c.path, k.before, 0640);
            std::string error;
            ASSERT_TRUE(c.install(error)) << error;
            std::string after = LTestReadFile(c.path);
            std::string before_path = root.Path() + "/before.json";
            WriteFile(before_path, k.before);
            EXPECT_EQ(Python({"json-merge", before_path, c.path, c.key, LMcpProgramPath()}), "ok") << after;
            EXPECT_EQ(Mode(c.path), 0640u);
            bool exists, valid, installed, matches;
            c.check(exists, valid, installed, matches);
            EXPECT_TRUE(exists && valid && installed && matches);
            // Number texts and escapes stay as the user wrote them.
            if (&k == &cases[0]) {
                for (const char* kept : {"1e-7", "9007199254740993", "2.50", R"(caf\u00e9 \"q\" \\ \/)", "ünïcode ☃",
                                         "\"zeta\": {\"command\": \"z\"}"})
                    EXPECT_NE(after.find(kept), std::string::npos) << kept;
            }
            // Installing again changes nothing.
            ASSERT_TRUE(c.install(error));
            EXPECT_EQ(LTestReadFile(c.path), after);
        }
    }
}

TEST(JsonClientConfig, RefusedFilesStayUntouched) {
    LTestRoot root;
    for (const JsonClient& c : JsonClients(root)) {
        for (const std::string bad : {"[]", "{\"a\":1", "{\"a\":1}x", "\xEF\xBB\xBF{}", "{\"a\":\"\xff\"}"}) {
            SCOPED_TRACE(bad);
            WriteFile(c.path, bad);
            std::string error;
            EXPECT_FALSE(c.install(error));
            EXPECT_EQ(error, c.invalid_text);
            EXPECT_EQ(LTestReadFile(c.path), bad);
            bool exists, valid, installed, matches;
            c.check(exists, valid, installed, matches);
            EXPECT_TRUE(exists);
            EXPECT_FALSE(valid || installed || matches);
        }
    }
}

TEST(JsonClientConfig, EntryMatchesOnlyThisProgramExactly) {
    const std::string self = LMcpProgramPath();
    std::string upper = self;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    struct Case {
        std::string entry;
        bool matches;
    };
    const Case cases[] = {
        {"{\"command\":\"" + self + "\",\"args\":[\"-mcpstdio\"]}", true},
        {"{\"args\":[\"-x\"],\"command\":\"" + self + "\",\"args\":[\"-mcpstdio\"],\"env\":{}}", true},
        {"{\"command\":\"" + upper + "\",\"args\":[\"-mcpstdio\"]}", false},
        {"{\"command\":\"/other/porlinex\",\"args\":[\"-mcpstdio\"]}", false},
        {"{\"command\":\"" + self + "\",\"args\":[\"-mcpstdio\",\"-x\"]}", false},
        {"{\"command\":\"" + self + "\"}", false},
        {"\"" + self + "\"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LMcpConfigEntryMatches(c.entry, self), c.matches) << c.entry;
}

// A file system without room for the new copy: the old file stays whole and
// no temporary file is left behind.
TEST(JsonClientConfig, FullDiskLeavesTheOldFile) {
    LTestRoot root;
    std::string folder = root.Path() + "/home/.config/Claude";
    fs::create_directories(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=8k,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    std::string path = folder + "/claude_desktop_config.json";
    std::string old = "{\"note\":\"" + std::string(5000, 'x') + "\"}";
    WriteFile(path, old);
    std::string error;
    EXPECT_FALSE(LClaudeDesktopConfigInstall(error));
    EXPECT_EQ(error, "Unable to write the Claude Desktop config file.");
    EXPECT_EQ(LTestReadFile(path), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    umount(folder.c_str());
}

class CodexConfig : public ::testing::Test {
protected:
    void SetUp() override {
        LAppDatabaseAccount db(false);
        db.CreateRegisteredTables();
        ASSERT_TRUE(db.Exec(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'Enabled', '1', '');"));
        ASSERT_TRUE(LMcpEnsureStdioToken(db));
        LRegSettingsSet(u"WebServer", u"Port", u"4242");
        char16_t t[260];
        ASSERT_TRUE(LMcpGetStdioToken(t));
        for (char16_t ch : std::u16string_view(t)) token += static_cast<char>(ch);
        path = root.Path() + "/home/.codex/config.toml";
    }

    // The file as tomllib reads it; discarded when it does not parse.
    nlohmann::json Parse(const std::string& file) {
        std::string out = Python({"toml", file});
        EXPECT_EQ(out.rfind("ERROR", 0), std::string::npos) << out << "\n" << LTestReadFile(file);
        return nlohmann::json::parse(out, nullptr, false);
    }

    LTestRoot root;
    std::string token, path;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(CodexConfig, TableReplacedWhateverItsHeaderLooksLike) {
    const std::string fixture = LTestReadFile(kTestData + "codex_config.toml");
    for (const char* header : {"[mcp_servers.porlinex]", "[ mcp_servers . porlinex ]", "[mcp_servers.\"porlinex\"]",
                               "[mcp_servers.porlinex]   # the old entry", "['mcp_servers'.\"porl\\u0069nex\"]"}) {
        for (const char* eol : {"\n", "\r\n"}) {
            SCOPED_TRACE(std::string(header) + (eol[1] ? " CR LF" : " LF"));
            std::string before = Replace(Replace(fixture, "HEADER", header), "\n", eol);
            WriteFile(path, before, 0644);
            nlohmann::json want = Parse(path);
            ASSERT_FALSE(want.is_discarded());
            want["mcp_servers"]["porlinex"] = {{"env", {{"KEEP", "yes"}}},
                                               {"url", "http://127.0.0.1:4242/mcp"},
                                               {"http_headers", {{"Authorization", "Bearer " + token}}}};
            std::string error;
            ASSERT_TRUE(LCodexConfigInstall(error)) << error;
            EXPECT_EQ(Parse(path), want) << LTestReadFile(path);
            std::string after = LTestReadFile(path);
            EXPECT_EQ(Replace(after, "\r\n", "").find('\n'), eol[1] ? std::string::npos : after.find('\n'));
            EXPECT_EQ(Mode(path), 0644u);
            ASSERT_TRUE(LCodexConfigInstall(error));
            EXPECT_EQ(LTestReadFile(path), after);
            std::string status;
            EXPECT_TRUE(LCodexConfigStatusJson(status));
            EXPECT_EQ(status, "{\"configPath\":\"" + path +
                                  "\",\"configExists\":true,\"configValid\":true,\"installed\":true}");
        }
    }
}

TEST_F(CodexConfig, NewFileAndPortChange) {
    std::string status;
    EXPECT_TRUE(LCodexConfigStatusJson(status));
    EXPECT_EQ(status, "{\"configPath\":\"" + path + "\",\"configExists\":false,\"configValid\":true,\"installed\":false}");
    std::string error;
    ASSERT_TRUE(LCodexConfigInstall(error)) << error;
    EXPECT_EQ(LTestReadFile(path), "\n[mcp_servers.porlinex]\nurl = \"http://127.0.0.1:4242/mcp\"\n"
                                   "http_headers = { Authorization = \"Bearer " + token + "\" }\n");
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(fs::path(path).parent_path()), 0700u);
    EXPECT_FALSE(Parse(path).is_discarded());
    LRegSettingsSet(u"WebServer", u"Port", u"4243");
    EXPECT_TRUE(LCodexConfigStatusJson(status));
    EXPECT_NE(status.find("\"installed\":false"), std::string::npos);
    ASSERT_TRUE(LCodexConfigInstall(error));
    EXPECT_TRUE(LCodexConfigStatusJson(status));
    EXPECT_NE(status.find("\"installed\":true"), std::string::npos);
}

TEST_F(CodexConfig, RefusedFilesStayUntouched) {
    struct Case {
        std::string text;
        const char* error;
    };
    const char* unreadable = "Unable to read the Codex configuration file.";
    const char* elsewhere = "The Codex configuration defines mcp_servers.porlinex with keys; remove them and install again.";
    const Case cases[] = {
        {std::string("a = 1\n\0[x]\n", 12), unreadable},
        {"a = \"\xC3\x28\"\n", unreadable},
        {"a = \"\"\"\n[mcp_servers.porlinex]\n", unreadable},
        {"[mcp_servers]\nporlinex = { url = \"x\" }\n", elsewhere},
        {"mcp_servers.porlinex.url = \"x\"\n", elsewhere},
        {"mcp_servers = {}\n", elsewhere},
        {"[[mcp_servers.porlinex]]\nurl = \"x\"\n", elsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFile(path, c.text);
        std::string error;
        EXPECT_FALSE(LCodexConfigInstall(error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(LTestReadFile(path), c.text);
    }
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"UPDATE main.APPSETTINGS SET VALUE = '0' WHERE SECTION = 'MCP' AND ITEM = 'Enabled';"));
    std::string error;
    EXPECT_FALSE(LCodexConfigInstall(error));
    EXPECT_EQ(error, "Enable MCP before installing the Codex configuration.");
}

}  // namespace
