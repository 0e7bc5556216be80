#pragma once
// Opening the browser interface: a one-time launch token left in the
// machine settings for the service's start route, a Chromium-family
// browser found on PATH started as an application window with a private
// profile (else the default browser), and the launched browsers watched
// through their process descriptors.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/spawn.h"

constexpr size_t LLaunchTokenLength = 40;
constexpr size_t LMaxLaunchedBrowsers = 8;

// 40 characters of 0-9, a-z, A-Z from the kernel's random source, each
// equally likely; empty when the source gives nothing.
std::string LMakeLaunchToken();
// Makes a launch token, stores it for the service's start route and
// returns the start address "http://localhost:PORT/start?token=..."; empty
// (and logged) when no token could be made or stored.
std::string LMakeStartAddress(uint16_t port);
// For a user who must open the interface by hand: why no browser came up,
// and the start address, on standard error.
void LPrintStartAddress(const std::string& url, const char* reason);
// The first of the browser families on PATH (Chrome or Chromium, Edge,
// Brave, Vivaldi); empty when none is installed.
std::string LFindInterfaceBrowser();
// The browser's arguments after its path.
std::vector<std::string> LInterfaceBrowserArgs(const std::string& profile, const std::string& url);
// A new private profile folder (mode 0700) in the user's cache folder;
// empty on failure.
std::string LMakeBrowserProfileFolder();

class LWebAppLauncher {
public:
    LWebAppLauncher() = default;
    ~LWebAppLauncher();
    LWebAppLauncher(const LWebAppLauncher&) = delete;
    LWebAppLauncher& operator=(const LWebAppLauncher&) = delete;

    // Makes and stores a token and opens http://localhost:port/start?token=.
    // watch_for_thanks: the thanks path runs when this browser has gone.
    // True when a browser or the default handler was started.
    bool Open(uint16_t port, bool watch_for_thanks);
    // Descriptors to watch: each becomes readable when its browser ends.
    std::vector<int> Handles() const;
    // A browser's descriptor became readable: forget it, remove its
    // profile and, when it was watched for, run the thanks path once.
    void Ended(int handle);
    // Asks every browser launched here (and only those) to close.
    void CloseAll();
    size_t Count() const { return browsers_.size(); }

    // What Open starts when the browser is not on PATH (tests set it).
    std::string browser_override;
    std::function<void()> on_thanks;
    // Called with each new descriptor so the owner can watch it.
    std::function<void(int)> on_started;

private:
    struct Browser {
        std::unique_ptr<LPlatformProcess> process;
        std::string profile;
    };
    std::vector<Browser> browsers_;
    bool thanks_armed_ = false;
};
