#include "setup/install_worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/data_folder.h"
#include "foundation/system_cmdline.h"
#include "foundation/reg_settings.h"
#include "platform/nofollow_path.h"
#include "platform/spawn.h"
#include "setup/after_install.h"
#include "setup/install_data.h"
#include "setup/install_folder.h"
#include "setup/setup_message.h"

namespace {

// The program copy: written beside its name and renamed, so a running older
// copy keeps its file and a failure leaves the old one whole.
bool CopyProgram(const std::string& from, const std::string& folder) {
    LPlatformFd source(open(from.c_str(), O_RDONLY | O_CLOEXEC));
    LPlatformFd target;
    if (!source.IsValid() || LPlatformOpenFolderNoLinks(folder, false, 0755, {}, &target) != LPlatformWalk::Ok)
        return false;
    return LPlatformReplaceFileAt(target, "porlinex", source, 0755);
}

}  // namespace

bool LInstallWorker::Start() {
    std::string folder;
    if (!LPrepareInstallFolder(folder)) return false;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        LShowAdministratorMessage();
        return false;
    }
    status_ = LInstallStatusRunning;
    LThread::Start(LThreadPriorityLowest);
    return true;
}

int LInstallWorker::Wait() {
    while (IsRunning()) usleep(20000);
    LThread::Stop();
    return status_.load();
}

void LInstallWorker::Run() { status_ = Install(); }

int LInstallWorker::Install() {
    LSecureProductKey();
    std::string folder;
    if (!LPrepareInstallFolder(folder)) return LInstallStatusNoFolder;
    std::string data = data_path;
    if (data.empty()) {
        char16_t value[260];
        LCmdLineGetSwitchValue(u"-instdata", value);
        data = LToUtf8(value);
    }
    LInstallTargets targets{folder, LDataFolderPath()};
    // The web files' folder is made with the data folder's shared access
    // before any file goes in.
    char16_t web[260];
    LGetDataSubfolder(u"Web", web);
    int status = LUnpackInstallData(data, targets, this);
    if (status != LInstallStatusDone) return status;
    if (!CopyProgram(program_path.empty() ? LPlatformSelfExecutable() : program_path, folder))
        return LInstallStatusWriteFailed;
    if (IsStopRequested()) return LInstallStatusRunning;
    LString wide = LFromUtf8(folder);
    LRegUserSettingsSet(u"Settings", u"InstallerPath", wide.c_str());
    LRegSettingsSet(u"Settings", u"InstallerPath", wide.c_str());
    LConfigureAfterInstall(*this);
    return LInstallStatusDone;
}
