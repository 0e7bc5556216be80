// `porlinex -mcpstdio` driven through its standard streams: what it writes to
// standard output is compared byte for byte, with the real service behind
// it, with no service at all, and with MCP switched off.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/utf8.h"
#include "mcp/mcp_auth.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"

extern char** environ;

namespace {

struct RelayRun {
    std::string out;
    std::string err;
    int exit_code = -1;
};

int WaitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// Runs the relay with `input` as its whole standard input (a file) and its
// standard output in a file; standard error goes to a file of its own.
RelayRun Relay(const std::string& folder, const std::string& input) {
    std::string in_path = folder + "/relay-in", out_path = folder + "/relay-out", err_path = folder + "/relay-err";
    {
        int fd = open(in_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
        close(fd);
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = LTestProgramPath();
    char* argv[] = {program.data(), const_cast<char*>("-mcpstdio"), nullptr};
    pid_t pid = -1;
    RelayRun run;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv, environ) == 0) run.exit_code = WaitExit(pid);
    posix_spawn_file_actions_destroy(&fa);
    run.out = LTestReadFile(out_path);
    run.err = LTestReadFile(err_path);
    return run;
}

void CreateTables() {
    LAppDatabaseAccount db(false);
    if (!db.TableExistsInSchema(u"main", u"APPSETTINGS")) db.CreateRegisteredTables();
}

void EnableMcp() {
    CreateTables();
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'Enabled', '1', '');"));
    ASSERT_TRUE(LMcpEnsureStdioToken(db));
}

const std::string kPing1 = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
const std::string kUnavailable = R"(,"error":{"code":-32000,"message":"Porlinex local MCP endpoint is unavailable."}})";

std::string Repeat(const std::string& text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
}

std::string Unavailable(const std::string& id) { return R"({"jsonrpc":"2.0","id":)" + id + kUnavailable + "\n"; }

class RelayWithService : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<LTestService>();
        ASSERT_TRUE(service->WaitRunning());
        EnableMcp();
    }
    LTestRoot root;
    std::unique_ptr<LTestService> service;
};

TEST_F(RelayWithService, AnswersOneLinePerRequest) {
    struct Case {
        const char* name;
        std::string input;
        std::string out;
        int exit_code;
    };
    const Case cases[] = {
        {"CR LF, blank lines, a notification, a client response, a last line without LF",
         kPing1 + "\r\n\r\n\n \t\n" + R"({"jsonrpc":"2.0","method":"notifications/initialized"})" + "\n" +
             R"({"jsonrpc":"2.0","id":5,"result":{}})" + "\n" + R"({"jsonrpc":"2.0","id":7,"error":{"code":1,"message":"no"}})" +
             "\n" + R"({"jsonrpc":"2.0","id":"a","method":"ping"})",
         R"({"jsonrpc":"2.0","id":1,"result":{}})" "\n" R"({"jsonrpc":"2.0","id":"a","result":{}})" "\n", 0},
        {"ids as written", R"({"jsonrpc":"2.0","id":1.50,"method":"ping"})" "\n" R"({"id":-0,"jsonrpc":"2.0","method":"ping"})",
         R"({"jsonrpc":"2.0","id":1.50,"result":{}})" "\n" R"({"jsonrpc":"2.0","id":-0,"result":{}})" "\n", 0},
        {"a line that is not JSON", "hello\n" + kPing1 + "\n", Unavailable("null") + R"({"jsonrpc":"2.0","id":1,"result":{}})" "\n", 0},
        {"a line of the longest length is still a message", std::string(1048576, 'x') + "\n" + kPing1 + "\n",
         Unavailable("null") + R"({"jsonrpc":"2.0","id":1,"result":{}})" "\n", 0},
        {"one byte more without a line end", kPing1 + "\n" + std::string(1048577, 'x'),
         R"({"jsonrpc":"2.0","id":1,"result":{}})" "\n", 1},
        {"one byte more, with a line end after it", std::string(1048577, 'x') + "\n" + kPing1 + "\n", "", 1},
        // More messages than the web server takes new connections from one
        // address in its short window.
        {"200 messages in a row", Repeat(kPing1 + "\n", 200), Repeat(R"({"jsonrpc":"2.0","id":1,"result":{}})" "\n", 200), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RelayRun run = Relay(root.Path(), c.input);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_EQ(run.out, c.out);
    }
}

// A client that has gone away: the answer cannot be written, and the relay
// ends with 1 instead of dying of SIGPIPE.
TEST_F(RelayWithService, ClosedOutputEndsWithOne) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::string program = LTestProgramPath();
    char* argv[] = {program.data(), const_cast<char*>("-mcpstdio"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    close(out[0]);
    std::string line = kPing1 + "\n";
    ASSERT_EQ(write(in[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
    // Input stays open: only the failed write can end the relay.
    EXPECT_EQ(WaitExit(pid), 1);
    close(in[1]);
}

// No service, and none that can be started (it is not installed): every
// request still gets its line, with its own id.
TEST(RelayWithoutService, EveryRequestAnsweredUnavailable) {
    LTestRoot root;
    LTestUseFreeWebPorts();
    EnableMcp();
    std::string input = R"({"jsonrpc":"2.0","id":3,"method":"ping"})" "\n"
                        R"({"jsonrpc":"2.0","id":"a","method":"tools/list"})" "\n"
                        R"({"jsonrpc":"2.0","method":"notifications/initialized"})" "\n"
                        R"({"jsonrpc":"2.0","id":1.50,"method":"ping"})" "\n"
                        R"({"jsonrpc":"2.0","id":9007199254740993,"method":"ping"})" "\n"
                        R"({"jsonrpc":"2.0","id":"\u00e9\"","method":"ping"})" "\n"
                        R"({"jsonrpc":"2.0","id":true,"method":"ping"})" "\n"
                        "not json\n";
    RelayRun run = Relay(root.Path(), input);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, Unavailable("3") + Unavailable("\"a\"") + Unavailable("1.50") + Unavailable("9007199254740993") +
                           Unavailable(R"("\u00e9\"")") + Unavailable("null") + Unavailable("null"));
    EXPECT_EQ(LTestServiceStateWord(), "");
}

TEST(RelayWithoutService, DisabledMcpIsRefusedOnce) {
    const std::string refusal =
        R"({"jsonrpc":"2.0","id":null,"error":{"code":-32001,"message":"The current Windows user is not allowed to access Porlinex."}})"
        "\n";
    ASSERT_EQ(refusal.size(), 124u);
    LTestRoot root;
    LTestUseFreeWebPorts();
    // Neither with no database at all, nor with the setting off, nor without
    // a token; standard error says which.
    const std::string db_path = root.DataFolder() + "/main.db";
    struct {
        const char* setting;  // null: no database yet
        std::string cause;
    } rounds[] = {
        {nullptr,
         "The Porlinex database " + db_path +
             " cannot be opened for reading by this user (it is missing, or its folder or file does not allow it)."},
        {"0", "Porlinex MCP is turned off. Turn it on on the MCP page of Porlinex first."},
        {"1",
         "Porlinex MCP is on, but no stdio token has been made yet: the Porlinex service makes it on its first MCP "
         "request. Check that the service is running."},
    };
    for (const auto& r : rounds) {
        if (r.setting) {
            CreateTables();
            LAppDatabaseAccount db(false);
            ASSERT_TRUE(db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'Enabled', '%Q', '');",
                                 LFromUtf8(r.setting).c_str()));
            ASSERT_TRUE(db.Exec(u"DELETE FROM main.APPSETTINGS WHERE SECTION='MCP' AND ITEM='StdioAuthorization';"));
        }
        RelayRun run = Relay(root.Path(), kPing1 + "\n");
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.out, refusal);
        EXPECT_NE(run.err.find("porlinex -mcpstdio: " + r.cause + "\n"), std::string::npos) << run.err;
    }
}

}  // namespace
