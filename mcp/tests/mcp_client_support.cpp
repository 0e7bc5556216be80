#include "mcp/tests/mcp_client_support.h"

#include <cstdlib>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "mail/store/accounts.h"
#include "mail/workers.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/npm_folder.h"
#include "tests/support/test_root.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

std::string LTestMcpClientFolder() { return LTestNpmFolder("mcp-client", "@modelcontextprotocol/sdk"); }

std::string LTestRunStdioClient(const std::string& folder, const std::string& calls, LTestCurlResult& run) {
    std::string client = LTestMcpClientFolder();
    if (client.empty()) {
        run.output = "npm ci of tests/mcp-client failed";
        return "";
    }
    std::string calls_file = folder + "/calls.json", out_file = folder + "/client.json";
    std::ofstream(calls_file) << calls;
    fs::remove(out_file);
    run = LTestRunCaptured(
        {"node", client + "/client_check.mjs", "stdio:" + LTestProgramPath(), "-", calls_file, out_file}, 300000);
    return fs::exists(out_file) ? LTestReadFile(out_file) : "";
}

std::string LTestCorpusGenerator() {
    for (const std::string& p : {std::string(PORLINEX_SOURCE_DIR) + "/../shared/bench/gen_corpus.py",
                                 std::string("/work/shared/bench/gen_corpus.py")})
        if (fs::exists(p)) return fs::canonical(p).string();
    return "";
}

std::string LTestCorpusInDovecot(LTestDovecot& dovecot, int count, int seed, std::string& error) {
    LTestDovecotOptions options;
    options.users = {{"alice@example.org", "secret"}};
    if (!dovecot.Start(options)) {
        error = dovecot.Error();
        return "";
    }
    std::string generator = LTestCorpusGenerator();
    if (generator.empty()) {
        error = "shared/bench/gen_corpus.py not found beside the source tree";
        return "";
    }
    // Written straight into the user's maildir, as a delivery agent would.
    std::string home = dovecot.Folder() + "/home/alice@example.org";
    LTestCurlResult gen = LTestRunCaptured(
        {"/usr/bin/python3", generator, home + "/Maildir", std::to_string(count), "--seed", std::to_string(seed)},
        120000);
    size_t brace = gen.output.find('{');
    if (gen.exit_code != 0 || brace == std::string::npos) {
        error = gen.output;
        return "";
    }
    if (geteuid() == 0) LTestRunCaptured({"chown", "-R", "65534:65534", home});
    LAppDatabaseAccount db(false);
    std::string insert = "INSERT INTO main.EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('acc1', "
                         "'alice@example.org', '" + dovecot.Server() + "');";
    if (!LEmailAccountsCreateSchema(db) || LEmailStoreCreateSchema(db) != 0 || !db.Exec(LFromUtf8(insert).c_str()) ||
        !LEmailAccountPasswordSet(db, u"acc1", u"secret")) {
        error = "the account could not be stored";
        return "";
    }
    return gen.output.substr(brace);
}

bool LTestWaitForMirror(int count, int timeout_ms) {
    return LTestWaitFor(timeout_ms, [count] {
        LAppDatabaseAccount db(false);
        int64_t n = -1;
        return db.QueryInt64(u"SELECT COUNT(*) FROM main.EMAIL_MESSAGES;", &n) && n == count;
    });
}
