#include "setup/uninstall.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "foundation/named_mutex.h"
#include "foundation/system_shell.h"
#include "host/autostart.h"
#include "host/entry_points.h"
#include "host/service_access.h"
#include "host/service_control.h"
#include "platform/root.h"
#include "platform/service_state.h"
#include "setup/after_install.h"
#include "setup/command_counts.h"
#include "setup/desktop_entries.h"
#include "setup/desktop_user.h"
#include "setup/install_folder.h"
#include "setup/maker_hosts.h"
#include "setup/remove_tree.h"
#include "setup/scheduled_tasks.h"
#include "setup/setup_message.h"
#include "setup/uninstall_pages.h"
#include "toolkit/message_box.h"
#include "toolkit/window_layer.h"

pid_t LFindProgramUser(const std::string& program) {
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    pid_t self = getpid(), found = 0;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0 || pid == self) continue;
        char link[64], target[4096];
        snprintf(link, sizeof link, "/proc/%ld/exe", pid);
        ssize_t n = readlink(link, target, sizeof target - 1);
        if (n <= 0) continue;
        if (std::string(target, static_cast<size_t>(n)) == program) {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    closedir(proc);
    return found;
}

namespace {

// A user's copy that is closing gets a short while to end: pauses from
// 24 ms, doubling, while they fit in 3000 ms.
bool ProgramStaysInUse(const std::string& program) {
    uint32_t left = 3000, pause = 24;
    while (LFindProgramUser(program)) {
        if (pause >= left) return true;
        usleep(pause * 1000);
        left -= pause;
        pause *= 2;
    }
    return false;
}

}  // namespace

bool LRemoveInstallation(const LUninstallState& state) {
    std::string folder;
    bool installed = LGetInstallerPath(folder);
    std::string program = installed ? LInstalledProgramPath(folder) : std::string();
    // The service runs the installed program itself: it is stopped first, so
    // that what is left running belongs to a user.
    const bool was_running = LServiceStateQuery().state == LServiceState::Running;
    LServiceStop();
    // An uninstall that stops here leaves the machine as it found it.
    auto cancelled = [was_running] {
        if (was_running) LServiceStart();
        return false;
    };
    if (installed && ProgramStaysInUse(program)) {
        if (!state.quiet && LAskUninstallBlockedByOtherUser()) {
            LString page = LFromUtf8("https://" + LGetMakerWebHost() + "/kb/10275.html");
            LShellOpen(page.c_str());
        }
        LLogErrorF("Uninstall stopped: %s is still running.", program.c_str());
        return cancelled();
    }
    if (LServiceIsInstalled() && !LServiceRemove()) {
        LSetupMessage(u"To fully install or deactivate Porlinex as a service, Administrator Access is required. "
                      u"Please log in or run as Administrator and try again.",
                      u"Uninstall Software", u"Continue", true);
        return cancelled();
    }
    // Every entry: the user's own does not make the machine's go away.
    for (const std::string& entry : {LAutostartUserFolder() + "/porlinex.desktop",
                                     LAutostartUserFolder() + "/porlinex-runonstartup.desktop",
                                     LAutostartMachineFolder() + "/porlinex.desktop"})
        unlink(entry.c_str());
    LRemoveDesktopUserEntries();
    LServiceRemoveFile(LServicePolkitRulePath());
    if (state.delete_data_files) LRemoveTreeNoFollow(LDataFolderPath());
    if (installed) LRemoveDesktopEntries(program);
    if (installed) LRemoveTreeNoFollow(folder);
    LDeleteAllScheduledTasks();
    LDeleteKeyTree(true, LProductKey);
    LDeleteKeyTree(false, LProductKey);
    LRemoveUninstallEntry();
    LForgetInstallFolder();
    return true;
}

void LLaunchUninstallerCopy(bool quiet) {
    // A running program's file can be removed here, so the installed copy
    // uninstalls itself: no copy in a temporary folder is needed.
    LRunUninstall(quiet);
}

void LRunUninstall(bool quiet) {
    // Held while this run lasts: the like survey stays away meanwhile.
    LNamedMutex running(u"VekSoftware_InstanceUninst");
    running.Lock(0);
    LUninstallState state;
    state.quiet = quiet;
    if (!quiet) {
        // The pages need a display; the tests open a headless one first.
        if (!LWindowLayerIsOpen() && !LDesktopOpenDisplay()) return;
        LUninstallWizardState choice;
        if (!LRunUninstallDialogs(choice)) return;
        state.delete_data_files = choice.delete_data_files;
    }
    if (!LRemoveInstallation(state)) return;
    if (!quiet) {
        std::u16string text = u"Uninstall is complete. We are sorry to see you go. If you change your mind, you "
                              u"can reinstall Porlinex at any time from ";
        text += LFromUtf8(LGetMakerWebHost()).c_str();
        text += u".";
        LSetupMessage(text.c_str(), u"Uninstall Completed", u"Close", false);
    }
    LDeleteCommandCounts();
}
