#include "tests/support/smtp_server.h"

#include "tests/support/tls_peer.h"

#include <signal.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

LTestSmtpServer::LTestSmtpServer(const std::string& folder, const LTestSmtpServerOptions& o) : folder_(folder) {
    std::filesystem::create_directories(folder);
    port_ = o.port ? o.port : LTestFreePort();
    messages_ = folder + "/messages.jsonl";
    commands_ = folder + "/commands.jsonl";
    std::string ready = folder + "/ready";
    std::vector<std::string> argv{"/usr/bin/python3", std::string(PORLINEX_TEST_SOURCE_DIR) + "/tests/support/smtp_server.py",
                                  "--port", std::to_string(port_), "--messages", messages_, "--commands", commands_,
                                  "--ready", ready};
    if (o.startTls || o.implicitTls) {
        argv.insert(argv.end(), {"--cert", o.certPath, "--key", o.keyPath});
        argv.push_back(o.implicitTls ? "--implicit-tls" : "--starttls");
    }
    if (o.closeAfterData) argv.push_back("--close-after-data");
    if (!o.authUser.empty()) argv.insert(argv.end(), {"--auth", o.authUser + ":" + o.authPassword});
    if (o.authInClear) argv.push_back("--auth-in-clear");
    for (const auto& r : o.refuse) argv.insert(argv.end(), {"--refuse", r});
    if (!o.dataReply.empty()) argv.insert(argv.end(), {"--data-reply", o.dataReply});
    for (const auto& f : o.faults) argv.insert(argv.end(), {"--fault", f});
    if (o.faultTimes) argv.insert(argv.end(), {"--fault-times", std::to_string(o.faultTimes)});
    // The server's own complaints (a client that gave up on the handshake)
    // go to its log, not into the test's output.
    process_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(argv, "/dev/null", folder + "/server.log"));
    ready_ = LTestWaitFor(20000, [&] { return std::filesystem::exists(ready) || !process_->Running(); }) &&
             process_->Running();
}

LTestSmtpServer::~LTestSmtpServer() {
    if (process_ && process_->Running() && process_->Signal(SIGTERM, 5000) == -1) process_->Signal(SIGKILL, 5000);
}

namespace {

std::vector<nlohmann::json> JsonLines(const std::string& path) {
    std::vector<nlohmann::json> out;
    std::istringstream in(LTestReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        auto j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_discarded()) out.push_back(std::move(j));
    }
    return out;
}

}  // namespace

std::vector<LTestSmtpMessage> LTestSmtpServer::Messages() const {
    std::vector<LTestSmtpMessage> out;
    for (const auto& j : JsonLines(messages_)) {
        LTestSmtpMessage m;
        m.mailFrom = j.value("mail_from", "");
        m.rcptTos = j.value("rcpt_tos", std::vector<std::string>{});
        m.data = j.value("data", "");
        m.tls = j.value("tls", false);
        m.authUser = j.value("auth", "");
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<LTestSmtpCommand> LTestSmtpServer::Commands() const {
    std::vector<LTestSmtpCommand> out;
    for (const auto& j : JsonLines(commands_)) out.push_back({j.value("cmd", ""), j.value("arg", ""), j.value("tls", false)});
    return out;
}

bool LTestSmtpServer::WaitForMessages(size_t n, int timeout_ms) const {
    return LTestWaitFor(timeout_ms, [&] { return Messages().size() >= n; });
}

std::unique_ptr<LTestSmtpServer> LTestStartTlsSmtpServer(const std::string& folder, LTestCertificateAuthority& ca,
                                                         const std::string& user, const std::string& password,
                                                         LTestSmtpServerOptions options) {
    LTestIssuedCertificate cert = ca.Issue(std::filesystem::path(folder).filename().string(), {});
    options.startTls = true;
    options.authUser = user;
    options.authPassword = password;
    options.certPath = cert.chain_path;
    options.keyPath = cert.key_path;
    return std::make_unique<LTestSmtpServer>(folder, options);
}
