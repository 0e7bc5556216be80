#include "tests/support/service_harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"

namespace {

std::string Root() {
    const char* r = std::getenv("PORLINEX_ROOT");
    return r ? r : "";
}

// Every file in the data folder's Logs whose name holds `part`, joined.
std::string LogsWith(const char* part) {
    std::string out;
    std::error_code ec;
    std::string folder = Root() + "/var/lib/Vek Software/Porlinex/Logs";
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        if (e.path().filename().string().find(part) != std::string::npos) out += LTestReadFile(e.path().string());
    }
    return out;
}

bool Accepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

int WebPort(const char16_t* name) {
    char16_t text[260] = {0};
    LRegSettingsGet(u"WebServer", name, u"0", text);
    return std::atoi(LToUtf8(text).c_str());
}

}  // namespace

std::string LTestServiceStateWord() {
    std::string text = LTestReadFile(Root() + "/run/porlinex/PorlinexService.state");
    size_t at = text.find("State=");
    if (at == std::string::npos) return "";
    size_t end = text.find('\n', at);
    return text.substr(at + 6, end == std::string::npos ? std::string::npos : end - at - 6);
}

void LTestUseFreeWebPorts() {
    for (const char16_t* name : {u"Port", u"SecurePort"}) {
        if (LRegSettingsExists(u"WebServer", name)) continue;
        LRegSettingsSet(u"WebServer", name, LWideFromUTF8(std::to_string(LTestFreePort()).c_str()).text);
    }
}

LTestService::LTestService(const std::vector<std::string>& start_args) {
    LTestUseFreeWebPorts();
    std::vector<std::string> argv = {LTestProgramPath(), "-service"};
    argv.insert(argv.end(), start_args.begin(), start_args.end());
    process_ = std::make_unique<LTestProcess>(argv);
}

LTestService::~LTestService() {
    if (process_->Running()) Stop();
}

bool LTestService::WaitForState(const char* word, int timeout_ms) {
    return LTestWaitFor(timeout_ms, [&] { return LTestServiceStateWord() == word; });
}

bool LTestService::WaitWebListening(int timeout_ms) {
    int plain = WebPort(u"Port"), secure = WebPort(u"SecurePort");
    return LTestWaitFor(timeout_ms, [&] { return Accepts(plain) && Accepts(secure); });
}

int LTestService::Stop(int timeout_ms) { return process_->Signal(SIGTERM, timeout_ms); }

std::string LTestService::LogText() { return LogsWith("Log.txt"); }
std::string LTestService::ActivityText() { return LogsWith(".csv"); }
