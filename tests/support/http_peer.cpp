#include "tests/support/http_peer.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/tls_peer.h"

LTestHttpPeer::LTestHttpPeer(const std::string& folder, std::vector<std::string> args)
    : folder_(folder), port_(LTestFreePort()) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> argv{"/usr/bin/python3", std::string(PORLINEX_TEST_SOURCE_DIR) + "/tests/support/http_peer.py",
                                  "--port", std::to_string(port_), "--log", folder + "/log.jsonl", "--ready",
                                  folder + "/ready"};
    argv.insert(argv.end(), args.begin(), args.end());
    process_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(argv, "/dev/null", folder + "/peer.log"));
    ready_ = LTestWaitFor(20000, [&] { return std::filesystem::exists(folder + "/ready"); });
}

std::vector<std::string> LTestHttpPeer::Requests() const {
    std::vector<std::string> out;
    std::istringstream in(LTestReadFile(folder_ + "/log.jsonl"));
    std::string line;
    while (std::getline(in, line)) out.push_back(nlohmann::json::parse(line)["request"].get<std::string>());
    return out;
}
