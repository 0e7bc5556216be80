#include "setup/desktop_user.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/log.h"
#include "host/entry_points.h"
#include "platform/folder_acl.h"
#include "platform/root.h"
#include "platform/spawn.h"
#include "setup/install_folder.h"

namespace {

bool ParseUid(const char* text, uint32_t& uid) {
    if (!text || !*text) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (*end || v == 0 || v > 0xFFFFFFFEul) return false;
    uid = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool LFindDesktopUser(LDesktopUser& user) {
    uint32_t uid = 0;
    if (!ParseUid(std::getenv("SUDO_UID"), uid) && !ParseUid(std::getenv("PKEXEC_UID"), uid)) return false;
    struct passwd pw, *found = nullptr;
    char buf[4096];
    if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) != 0 || !found) return false;
    user.uid = uid;
    user.gid = pw.pw_gid;
    user.name = pw.pw_name;
    user.home = pw.pw_dir;
    return true;
}

std::string LDesktopUserName() {
    LDesktopUser user;
    return LFindDesktopUser(user) ? user.name : LPlatformEffectiveUserName();
}

std::vector<std::string> LDesktopUserArgv(const LDesktopUser& user, const std::string& program,
                                          const std::vector<std::string>& arguments) {
    std::string uid = std::to_string(user.uid);
    std::vector<std::string> argv = {"setpriv",
                                     "--reuid=" + uid,
                                     "--regid=" + std::to_string(user.gid),
                                     "--init-groups",
                                     "--",
                                     "env",
                                     "-i",
                                     "HOME=" + user.home,
                                     "USER=" + user.name,
                                     "LOGNAME=" + user.name,
                                     "PATH=/usr/local/bin:/usr/bin:/bin"};
    // The session's own variables, as sudo and pkexec hand them on; the
    // runtime folder is the user's standard one when they did not.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "PORLINEX_ROOT"})
        if (const char* v = std::getenv(name); v && *v) argv.push_back(std::string(name) + "=" + v);
    argv.push_back("XDG_RUNTIME_DIR=/run/user/" + uid);
    argv.push_back(program);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

bool LRunAsDesktopUser(const std::string& program, const std::vector<std::string>& arguments) {
    if (access(program.c_str(), F_OK) != 0) return false;
    std::vector<std::string> argv;
    LDesktopUser user;
    if (geteuid() == 0 && LFindDesktopUser(user)) {
        argv = LDesktopUserArgv(user, program, arguments);
    } else if (geteuid() == 0 && (std::getenv("SUDO_UID") || std::getenv("PKEXEC_UID"))) {
        // A desktop user was named but is unknown: never fall back to root.
        LLogErrorF("Not starting %s: the desktop user is not in the password database.", program.c_str());
        return false;
    } else {
        argv.push_back(program);
        argv.insert(argv.end(), arguments.begin(), arguments.end());
    }
    LPlatformSpawnOptions options;
    options.newSession = true;
    LPlatformProcess process;
    if (!process.Start(argv, options)) return false;
    process.Detach();
    return true;
}

bool LScheduleTasksAsDesktopUser() {
    std::string folder;
    if (!LGetInstallerPath(folder)) return false;
    return LRunAsDesktopUser(LInstalledProgramPath(folder), {"-installsched"});
}

namespace {

// Runs argv as the user and waits for it.
void RunAsUser(const LDesktopUser& user, const std::string& program, const std::vector<std::string>& arguments) {
    LPlatformProcess process;
    if (process.Start(LDesktopUserArgv(user, program, arguments), {})) process.Wait(0xFFFFFFFF);
}

}  // namespace

void LRemoveDesktopUserEntries() {
    LDesktopUser user;
    if (geteuid() != 0 || !LPlatformRoot().empty() || !LFindDesktopUser(user) || user.home.empty()) return;
    const std::string units = user.home + "/.config/systemd/user";
    std::vector<std::string> timers, files;
    if (DIR* dir = opendir(units.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            const std::string prefix = "porlinex-", ext = ".timer";
            if (name.size() <= prefix.size() + ext.size() || name.rfind(prefix, 0) != 0 ||
                name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
                continue;
            timers.push_back(name);
            files.push_back(units + "/" + name);
            files.push_back(units + "/" + name.substr(0, name.size() - ext.size()) + ".service");
        }
        closedir(dir);
    }
    if (!timers.empty()) {
        std::vector<std::string> disable = {"--user", "disable", "--now"};
        disable.insert(disable.end(), timers.begin(), timers.end());
        RunAsUser(user, "systemctl", disable);
    }
    for (const char* entry : {"porlinex.desktop", "porlinex-runonstartup.desktop"})
        files.push_back(user.home + "/.config/autostart/" + entry);
    std::vector<std::string> remove = {"-f", "--"};
    remove.insert(remove.end(), files.begin(), files.end());
    RunAsUser(user, "rm", remove);
    if (!timers.empty()) RunAsUser(user, "systemctl", {"--user", "daemon-reload"});
}
