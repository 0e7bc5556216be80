// Where the desktop looks for a cloud-synchronised folder to hold the
// backup, in this order: the variables that cloud clients set, the folders
// that Linux clients make in the home folder, rclone mounts, and the
// drives that GNOME Online Accounts mounts through GVfs. The first that
// exists and can hold an "Email Backup" folder wins.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/folder.h"
#include "mail/backup/email_backup.h"
#include "mail/mail_services.h"
#include "platform/file.h"

namespace {

bool IsFolder(const std::string& path) {
    LPlatformFileInfo info;
    return !path.empty() && LPlatformGetFileInfo(path.c_str(), &info, true) && info.exists && info.is_folder;
}

// Mount points in /proc/self/mountinfo use octal escapes for blanks.
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        bool octal = field[i] == '\\';
        for (size_t k = 1; octal && k <= 3; ++k) octal = i + k < field.size() && field[i + k] >= '0' && field[i + k] <= '7';
        if (octal) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

void RcloneMounts(std::vector<std::string>& out) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    for (int lines = 0; lines < 10000 && std::getline(in, line); ++lines) {
        // "id parent major:minor root mount-point options ... - fstype source ..."
        size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string fstype;
        tail >> fstype;
        if (fstype != "fuse.rclone") continue;
        std::istringstream head(line.substr(0, dash));
        std::string field, mount;
        for (int i = 0; i < 5 && head >> field; ++i)
            if (i == 4) mount = Unescape(field);
        if (!mount.empty()) out.push_back(mount);
    }
}

void GvfsDrives(std::vector<std::string>& out) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return;
    std::string gvfs = std::string(runtime) + "/gvfs";
    LPlatformFolderReader reader;
    if (!reader.Open(gvfs.c_str())) return;
    const char* name;
    bool is_folder, is_link;
    while (reader.Next(&name, &is_folder, &is_link)) {
        std::string n = name;
        if (n.rfind("google-drive:", 0) == 0 || n.rfind("onedrive:", 0) == 0) out.push_back(gvfs + "/" + n);
    }
}

}  // namespace

bool LEmailBackupFolderPath(const char16_t* candidate, LString& out) {
    std::string base = LToUtf8(candidate);
    if (!IsFolder(base)) return false;
    std::string path = base + "/Email Backup";
    if (!IsFolder(path)) LCreateDirectoryTree(LFromUtf8(path).c_str());
    if (!IsFolder(path)) return false;
    out.Clear();
    out.AppendView(LFromUtf8(path).View());
    return true;
}

bool LEmailBackupFindCloudFolder(LString& path) {
    std::vector<std::string> candidates;
    for (const char* name : {"OneDrive", "OneDriveConsumer", "OneDriveCommercial", "Dropbox", "GoogleDrive",
                             "iCloudDrive"}) {
        const char* v = getenv(name);
        if (v && *v && strlen(v) < 260) candidates.push_back(v);
    }
    const char* home = getenv("HOME");
    if (home && *home)
        for (const char* name : {"Dropbox", "Nextcloud", "ownCloud", "OneDrive", "Google Drive", "GoogleDrive",
                                 "pCloudDrive", "MEGA", "iCloud Drive", "iCloudDrive"})
            candidates.push_back(std::string(home) + "/" + name);
    RcloneMounts(candidates);
    GvfsDrives(candidates);
    for (const std::string& c : candidates)
        if (LEmailBackupFolderPath(LFromUtf8(c).c_str(), path)) return true;
    path.Clear();
    return false;
}
