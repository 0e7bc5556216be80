#include "mcp/tests/mcp_client_support.h"

#include <filesystem>

#include "tests/support/npm_folder.h"

namespace fs = std::filesystem;

std::string LTestMcpClientFolder() { return LTestNpmFolder("mcp-client", "@modelcontextprotocol/sdk"); }

std::string LTestCorpusGenerator() {
    for (const std::string& p : {std::string(PORLINEX_SOURCE_DIR) + "/../shared/bench/gen_corpus.py",
                                 std::string("/work/shared/bench/gen_corpus.py")})
        if (fs::exists(p)) return fs::canonical(p).string();
    return "";
}
