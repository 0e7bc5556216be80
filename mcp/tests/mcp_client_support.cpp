#include "mcp/tests/mcp_client_support.h"

#include <cstdlib>
#include <filesystem>

#include "tests/support/npm_folder.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

std::string LTestMcpClientFolder() { return LTestNpmFolder("mcp-client", "@modelcontextprotocol/sdk"); }

std::string LTestCorpusGenerator() {
    for (const std::string& p : {std::string(PORLINEX_SOURCE_DIR) + "/../shared/bench/gen_corpus.py",
                                 std::string("/work/shared/bench/gen_corpus.py")})
        if (fs::exists(p)) return fs::canonical(p).string();
    return "";
}

std::string LTestMirrorCorpus(const std::string& folder, int count, int seed, std::string& error) {
    std::string generator = LTestCorpusGenerator();
    if (generator.empty()) {
        error = "shared/bench/gen_corpus.py not found beside the source tree";
        return "";
    }
    LTestCurlResult gen = LTestRunCaptured(
        {"/usr/bin/python3", generator, folder, std::to_string(count), "--seed", std::to_string(seed)}, 120000);
    size_t brace = gen.output.find('{');
    if (gen.exit_code != 0 || brace == std::string::npos) {
        error = gen.output;
        return "";
    }
    LTestCurlResult load =
        LTestRunCaptured({std::string(PORLINEX_BINARY_DIR) + "/mcp/tests/tools/corpus_store", folder}, 120000);
    if (load.exit_code != 0 || std::atoi(load.output.c_str()) != count) {
        error = load.output;
        return "";
    }
    return gen.output.substr(brace);
}
