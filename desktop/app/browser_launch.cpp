#include "desktop/app/browser_launch.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "platform/file.h"
#include "platform/secure_random.h"
#include "platform/shell_open.h"

namespace {

constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Each family in the order it is preferred, with the names its packages
// install.
constexpr const char* kBrowsers[] = {
    "google-chrome", "google-chrome-stable", "chromium", "chromium-browser",  // Chrome, Chromium
    "microsoft-edge", "microsoft-edge-stable",                               // Edge
    "brave-browser", "brave",                                                // Brave
    "vivaldi", "vivaldi-stable",                                             // Vivaldi
};

// How long a closing browser is given to end before its profile is left.
constexpr uint32_t kCloseWaitMs = 3000;

std::string CacheFolder() {
    const char* xdg = getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/porlinex";
    const char* home = getenv("HOME");
    if (!home || *home != '/') return {};
    return std::string(home) + "/.cache/porlinex";
}

// Without any opener the address is still of use to whoever started us.
bool OpenWithDefaultHandler(const std::string& url) {
    if (LPlatformShellOpen(url.c_str())) return true;
    LPrintStartAddress(url, "no browser could be started (neither a Chromium-family browser nor xdg-open was found)");
    return false;
}

}  // namespace

std::string LMakeLaunchToken() {
    // Bytes of 248 and above are dropped, so that each of the 62
    // characters is equally likely (248 = 4 x 62).
    std::string token;
    unsigned char buf[64];
    while (token.size() < LLaunchTokenLength) {
        if (!LPlatformRandomBytes(buf, sizeof buf)) return {};
        for (unsigned char b : buf) {
            if (b >= 248 || token.size() == LLaunchTokenLength) continue;
            token += kAlphabet[b % 62];
        }
    }
    return token;
}

std::string LMakeStartAddress(uint16_t port) {
    std::string token = LMakeLaunchToken();
    if (token.empty()) {
        LLog("Desktop: no random bytes for the launch token.", 1);
        return {};
    }
    if (!LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", LFromUtf8(token).c_str()) ||
        !LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime", LFromUtf8(std::to_string(LNow())).c_str())) {
        LLog("Desktop: the launch token cannot be stored in the machine settings.", 1);
        return {};
    }
    return "http://localhost:" + std::to_string(port) + "/start?token=" + token;
}

void LPrintStartAddress(const std::string& url, const char* reason) {
    std::string text = std::string("Porlinex: ") + reason +
                       ".\nOpen this address in a browser on this machine within 5 minutes (it signs in once):\n  " +
                       url + "\n";
    LPlatformWriteStandardError(text.data(), text.size());
}

std::string LFindInterfaceBrowser() {
    for (const char* name : kBrowsers) {
        std::string path = LPlatformFindOnPath(name);
        if (!path.empty()) return path;
    }
    return {};
}

std::vector<std::string> LInterfaceBrowserArgs(const std::string& profile, const std::string& url) {
    return {"--user-data-dir=" + profile, "--no-first-run", "--no-default-browser-check", "--app=" + url,
            "--start-maximized"};
}

std::string LMakeBrowserProfileFolder() {
    std::string base = CacheFolder();
    if (base.empty()) return {};
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    chmod(base.c_str(), 0700);
    std::string pattern = base + "/webapp-XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

LWebAppLauncher::~LWebAppLauncher() { CloseAll(); }

bool LWebAppLauncher::Open(uint16_t port, bool watch_for_thanks) {
    std::string url = LMakeStartAddress(port);
    if (url.empty()) return false;

    std::string browser = browser_override.empty() ? LFindInterfaceBrowser() : browser_override;
    std::string profile = browser.empty() ? std::string() : LMakeBrowserProfileFolder();
    if (browser.empty() || profile.empty()) return OpenWithDefaultHandler(url);

    std::vector<std::string> argv = {browser};
    for (std::string& a : LInterfaceBrowserArgs(profile, url)) argv.push_back(std::move(a));
    LPlatformSpawnOptions options;
    options.newSession = true;
    auto process = std::make_unique<LPlatformProcess>();
    if (!process->Start(argv, options)) {
        std::error_code ec;
        std::filesystem::remove_all(profile, ec);
        return OpenWithDefaultHandler(url);
    }
    if (browsers_.size() >= LMaxLaunchedBrowsers) {
        // Not recorded: it runs on and its profile stays.
        process->Detach();
        return true;
    }
    int handle = process->Handle();
    browsers_.push_back({std::move(process), profile});
    if (watch_for_thanks) thanks_armed_ = true;
    if (on_started) on_started(handle);
    return true;
}

std::vector<int> LWebAppLauncher::Handles() const {
    std::vector<int> out;
    for (const Browser& b : browsers_) out.push_back(b.process->Handle());
    return out;
}

void LWebAppLauncher::Ended(int handle) {
    for (size_t i = 0; i < browsers_.size(); ++i) {
        if (browsers_[i].process->Handle() != handle) continue;
        browsers_[i].process->Wait(0);
        std::error_code ec;
        std::filesystem::remove_all(browsers_[i].profile, ec);
        browsers_.erase(browsers_.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    if (thanks_armed_ && browsers_.empty()) {
        thanks_armed_ = false;
        if (on_thanks) on_thanks();
    }
}

void LWebAppLauncher::CloseAll() {
    // The signal goes through the process descriptor, so it reaches only a
    // browser started here even if its process id was reused.
    for (Browser& b : browsers_) syscall(SYS_pidfd_send_signal, b.process->Handle(), SIGTERM, nullptr, 0);
    for (Browser& b : browsers_) {
        if (b.process->Wait(kCloseWaitMs)) {
            std::error_code ec;
            std::filesystem::remove_all(b.profile, ec);
        } else {
            b.process->Detach();
        }
    }
    browsers_.clear();
}
