#include "tests/support/service_harness.h"

#include <signal.h>

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

int LTestService::Stop(int timeout_ms) { return process_->Signal(SIGTERM, timeout_ms); }

std::string LTestService::LogText() { return LogsWith("Log.txt"); }
std::string LTestService::ActivityText() { return LogsWith(".csv"); }
