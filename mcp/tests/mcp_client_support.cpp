#include "mcp/tests/mcp_client_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/support/test_root.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

std::string LTestMcpClientFolder() {
    const std::string source = std::string(PORLINEX_SOURCE_DIR) + "/tests/mcp-client";
    const std::string folder = std::string(PORLINEX_BINARY_DIR) + "/mcp-client";
    fs::create_directories(folder);
    int lock = open((folder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) return "";
    std::string lockfile = LTestReadFile(source + "/package-lock.json");
    std::string stamp = std::to_string(std::hash<std::string>{}(lockfile));
    bool ok = true;
    if (LTestReadFile(folder + "/.installed") != stamp ||
        !fs::exists(folder + "/node_modules/@modelcontextprotocol/sdk/package.json")) {
        fs::copy_file(source + "/package.json", folder + "/package.json", fs::copy_options::overwrite_existing);
        fs::copy_file(source + "/package-lock.json", folder + "/package-lock.json", fs::copy_options::overwrite_existing);
        LTestCurlResult r = LTestRunCaptured(
            {"npm", "ci", "--prefix", folder, "--ignore-scripts", "--no-audit", "--no-fund", "--loglevel=error"}, 600000);
        ok = r.exit_code == 0;
        if (ok) std::ofstream(folder + "/.installed") << stamp;
        else fs::remove(folder + "/.installed");
    }
    for (const auto& e : fs::directory_iterator(source))
        if (e.path().extension() == ".mjs")
            fs::copy_file(e.path(), folder + "/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
    flock(lock, LOCK_UN);
    close(lock);
    return ok ? folder : "";
}

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
