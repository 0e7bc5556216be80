#include "setup/on_demand_component.h"

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/component_install.h"
#include "setup/maker_hosts.h"
#include "setup/temp_folder.h"
#include "setup/verified_download.h"

namespace {

constexpr uint32_t kPollMs = 300;
constexpr uint32_t kRegisterMs = 10000;

// The name becomes part of an address and of a file name: letters,
// digits, '.', '_' and '-' only, not starting with '.'.
bool PlainName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

bool Registered(const char16_t* name) {
    char16_t path[260];
    return LGetComponentPath(name, path);
}

}  // namespace

std::string LComponentUrl(const std::string& host, const std::string& file) {
    return "http://" + host + "/components/" + file;
}

int LRunOnDemandComponent(LTaskProgress& progress, const char16_t* name, bool, const char* by,
                          const char16_t* display, bool quiet) {
    progress.SetStatusText(u"Initializing run on-demand...", 0);
    LString line;
    line.Format(u"%s...", display ? display : name);
    progress.SetStatusText(line.c_str(), 1);
    if (progress.IsStopRequested()) return 1;
    const std::string file = LToUtf8(name) + ".exe";
    if (!PlainName(file)) return 2;
    LSetupTempFolder folder;
    if (folder.Path().empty()) return 2;
    const std::string local = folder.Path() + "/" + file;
    int result = LDownloadVerifiedFromAny(
        progress, {LComponentUrl(LGetMakerComponentHost(), file), LComponentUrl(LGetMakerComponentHostB(), file)},
        local);
    if (result == 0) {
        progress.SetStatusText(u"Running install-on-demand", 0);
        result = LInstallComponentFile(local, by, quiet);
        // The setup program registers the component itself, in its own time;
        // one that does not within the limit has failed, whatever it said.
        uint32_t waited = 0;
        while (!Registered(name) && waited < kRegisterMs) {
            if (progress.WaitStop(kPollMs) == LWaitStopped) {
                result = 1;
                break;
            }
            waited += kPollMs;
        }
        if (result != 1 && !Registered(name)) result = 2;
        if (result == 0) progress.SetStatusText(u"Completed", 0);
    }
    progress.SetProgress(1);
    return result;
}
