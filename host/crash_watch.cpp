#include "host/crash_watch.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <ctime>

#include "foundation/data_folder.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "host/entry_points.h"
#include "platform/root.h"
#include "toolkit/message_box.h"

namespace {

std::atomic<LBootTickFunc> g_boot_tick{nullptr};
std::atomic<LCrashAskFunc> g_ask{nullptr};
// Read by the crash path: a plain int, closed once.
volatile int g_marker = -1;

constexpr const char16_t* kTitle = u"Abnormal Termination Detected";

bool Ask(LHwnd parent, const char16_t* text, const char16_t* first, const char16_t* second) {
    if (LCrashAskFunc f = g_ask.load()) return f(parent, text, kTitle, first, second);
    return LAskYesNoCustom(parent, text, kTitle, first, second);
}

std::string UserFolder() {
    char16_t folder[260];
    LGetUserAppDataFolder(folder);
    return LToUtf8(folder);
}

std::string UserName() {
    struct passwd* pw = getpwuid(getuid());
    return pw && pw->pw_name ? pw->pw_name : std::to_string(getuid());
}

void AskAboutLastRun(LHwnd parent) {
    if (!Ask(parent,
             u"Did Porlinex hang or crash when last run?\r\n\r\nClick 'It Crashed' if Porlinex failed. Click "
             u"'Something Else' if it was because of something else (a hard logoff for example) or if you did not "
             u"notice anything wrong or don't remember.",
             u"It Crashed", u"Something Else"))
        return;
    usleep(600 * 1000);
    LCrashAskAbnormalTermination(parent, false, "AbTerm");
}

// Kept ready for the crash path, which may not build paths.
char g_marker_path[4096];
char g_dump_paths[2][4096];

void Keep(char* out, const std::string& text) {
    size_t n = text.size() < 4095 ? text.size() : 4095;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

}  // namespace

void LCrashAskAbnormalTermination(LHwnd parent, bool write_dump, const char* reason) {
    if (Ask(parent,
            u"Oops! Porlinex had an abnormal termination. Help us fix this problem by clicking 'Report Bug' below and "
            u"entering a bug report for our developers.\r\n\r\nWe appreciate your help!",
            u"Report Bug", u"No"))
        LCrashReportUpload(write_dump, reason, parent);
}

void LCrashWatchStopSignalSafe() {
    if (g_marker >= 0) close(g_marker);
    g_marker = -1;
    if (g_marker_path[0]) unlink(g_marker_path);
    for (const char* dump : g_dump_paths)
        if (dump[0]) unlink(dump);
}

uint64_t LBootTickMs() {
    if (LBootTickFunc f = g_boot_tick.load()) return f();
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void LSetBootTickFuncForTests(LBootTickFunc f) { g_boot_tick = f; }
void LSetCrashAskFuncForTests(LCrashAskFunc f) { g_ask = f; }

// In the user's own folder, not the shared temporary one, where another
// user could plant a file or a link under the name.
std::string LCrashMarkerPath() { return UserFolder() + "/_porlinex_rl_" + UserName(); }

void LCrashWatchStart(LHwnd parent) {
    std::string path = LCrashMarkerPath();
    Keep(g_marker_path, path);
    Keep(g_dump_paths[0], UserFolder() + "/Porlinex_IP_878949.dmp");
    Keep(g_dump_paths[1], UserFolder() + "/Porlinex_HM_878949.dmp");
    LPlatformCreateFolderTree(UserFolder(), 0700);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        int64_t record[2] = {static_cast<int64_t>(LNow()), static_cast<int64_t>(LBootTickMs())};
        if (write(fd, record, sizeof record) != static_cast<ssize_t>(sizeof record)) {
            close(fd);
            unlink(path.c_str());
            return;
        }
        g_marker = fd;
        return;
    }
    if (errno != EEXIST) return;
    // The last run did not end through the clean exit.
    int64_t record[2] = {0, 0};
    int in = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    bool whole = in >= 0 && read(in, record, sizeof record) == static_cast<ssize_t>(sizeof record);
    if (in >= 0) close(in);
    unlink(path.c_str());
    if (!whole) return;
    // With the boot clock gone on since then, the machine did not restart.
    int64_t expected = record[1] + (static_cast<int64_t>(LNow()) - record[0]) * 1000;
    int64_t now = static_cast<int64_t>(LBootTickMs());
    if (now > expected - 2000 && now < expected + 2000) AskAboutLastRun(parent);
}

void LCrashWatchStop() {
    if (g_marker >= 0) {
        close(g_marker);
        g_marker = -1;
    }
    unlink(LCrashMarkerPath().c_str());
    std::string folder = UserFolder();
    unlink((folder + "/Porlinex_IP_878949.dmp").c_str());
    unlink((folder + "/Porlinex_HM_878949.dmp").c_str());
}
