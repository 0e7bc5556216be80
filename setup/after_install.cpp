#include "setup/after_install.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "foundation/data_folder.h"
#include "foundation/installation_id.h"
#include "foundation/reg_settings.h"
#include "foundation/system_cmdline.h"
#include "host/autostart.h"
#include "host/service_access.h"
#include "host/service_control.h"
#include "platform/nofollow_path.h"
#include "setup/desktop_entries.h"
#include "setup/desktop_user.h"
#include "setup/install_folder.h"
#include "setup/maker_hosts.h"
#include "web/server/certificate.h"

namespace {

uint64_t g_tree_size = 0;

int AddSize(const char*, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_F) g_tree_size += static_cast<uint64_t>(st->st_size);
    return 0;
}

// Sum of the files' sizes below a folder, links not followed.
uint64_t FolderSize(const std::string& folder) {
    g_tree_size = 0;
    nftw(folder.c_str(), AddSize, 16, FTW_PHYS);
    return g_tree_size;
}

bool IsZero(const char16_t* v) { return !v[0] || (v[0] == u'0' && !v[1]); }

std::u16string Text(int64_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

bool KeyIsUnder(std::u16string_view path, std::u16string_view key) {
    if (path.size() < key.size() || !LHiveNamesEqual(path.substr(0, key.size()), key)) return false;
    return path.size() == key.size() || path[key.size()] == u'\\';
}

std::string SwitchValue(const char16_t* name) {
    char16_t value[260];
    LCmdLineGetSwitchValue(name, value);
    return LToUtf8(value);
}

// "/a/b/PorlinexSetup.run" -> "porlinexsetup".
std::u16string InstallerName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    LString wide = LFromUtf8(name);
    return std::u16string(wide.c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void KeepSetupProgram(const std::string& setup, const std::string& folder) {
    std::string kept = folder + "/" + LKeptSetupName;
    if (!SameFile(setup, kept)) {
        LPlatformFd source(open(setup.c_str(), O_RDONLY | O_CLOEXEC));
        LPlatformFd target;
        if (!source.IsValid() || LPlatformOpenFolderNoLinks(folder, false, 0755, {}, &target) != LPlatformWalk::Ok ||
            !LPlatformReplaceFileAt(target, LKeptSetupName, source, 0755))
            return;
    }
    char16_t old[260];
    LString wide = LFromUtf8(kept);
    if (!LRegSettingsGet(u"Software", u"Installer", u"", old) || LToUtf8(old) != kept)
        LRegSettingsSet(u"Software", u"Installer", wide.c_str());
}

}  // namespace

void LDeleteKeyTree(bool machine, const std::u16string& key) {
    LHiveUpdate(machine ? LRegHive::LocalMachine : LRegHive::CurrentUser, [&](LSettingsHive& h) {
        size_t before = h.sections.size();
        std::erase_if(h.sections, [&](const LHiveSection& s) { return KeyIsUnder(s.path, key); });
        return h.sections.size() != before;
    });
}

void LSecureProductKey() { LServiceApplyAccess(); }

void LRegisterUninstallEntry(const std::string& program) {
    std::string folder = program.substr(0, program.rfind('/'));
    LString path = LFromUtf8(program), location = LFromUtf8(folder);
    LString command = LFromUtf8("\"" + program + "\" -uninstall");
    uint64_t kb = (FolderSize(folder) + FolderSize(LDataFolderPath())) / 1024;
    std::u16string size = Text(static_cast<int64_t>(static_cast<uint32_t>(kb)));
    // The maker's web host as configured, without scheme.
    const std::u16string host = LFromUtf8(LGetMakerWebHost()).c_str();
    const std::u16string about = host + u"/email/support.html", product = host + u"/email/index.html";
    const std::pair<const char16_t*, const char16_t*> values[] = {
        {u"DisplayName", u"Porlinex"},
        {u"Publisher", u"Vek Software"},
        {u"UninstallString", command.c_str()},
        {u"DisplayIcon", path.c_str()},
        {u"Version", LProductVersion},
        {u"DisplayVersion", LProductVersion},
        {u"EstimatedSize", size.c_str()},
        {u"URLInfoAbout", about.c_str()},
        {u"URLUpdateInfo", product.c_str()},
        {u"VersionMajor", u"2"},
        {u"VersionMinor", u"01"},
        {u"InstallLocation", location.c_str()},
    };
    LHiveUpdate(LRegHive::LocalMachine, [&](LSettingsHive& h) {
        for (const auto& [name, value] : values) h.SetText(LUninstallKey, name, value);
        return true;
    });
}

void LRemoveUninstallEntry() {
    LDeleteKeyTree(true, LUninstallKey);
    LDeleteKeyTree(false, LUninstallKey);
}

void LConfigureAfterInstall(LTaskProgress& progress) {
    std::string folder;
    LPrepareInstallFolder(folder);
    std::string program = LInstalledProgramPath(folder);
    LWriteDesktopEntries(program);

    char16_t current[260], date[260], first[260];
    LRegSettingsGet(u"Settings", u"CurrentVersion", u"", current);
    if (!current[0] || LRunOnStartupIsSet()) LRunOnStartupSet(program);
    LServiceInstall(program);
    std::string setup = SwitchValue(u"-installer");
    if (!setup.empty()) LRegSettingsSet(u"Settings", u"InstallerName", InstallerName(setup).c_str());

    LRegSettingsGet(u"Settings", u"InstallDate", u"", date);
    if (IsZero(date)) {
        // The service's first user is the one who installed it, not root.
        LString user = LFromUtf8(LDesktopUserName());
        LRegSettingsSet(u"Service", u"Access", u"2");
        LRegSettingsSet(u"Service", u"Granted", user.c_str());
        LServiceApplyAccess();
    }

    LEnsureHttpsCertificate(progress);
    LServiceStart();

    LRegSettingsDelete(u"Software", u"ShowSurvey");
    LRegSettingsDelete(u"Software", u"ShowSurveyNow");
    std::u16string now = Text(static_cast<int64_t>(time(nullptr)));
    LRegSettingsSet(u"Settings", u"InstallDate", now.c_str());
    LRegSettingsGet(u"Settings", u"InstallDateFirst", u"", first);
    if (IsZero(first)) LRegSettingsSet(u"Settings", u"InstallDateFirst", now.c_str());
    for (const char16_t* name : {u"RunsSinceLastInstall", u"MinutesRunSinceLastInstall", u"FirstRunDurationSeconds"})
        LRegSettingsSet(u"Settings", name, u"0");
    LDeleteKeyTree(true, std::u16string(LProductKey) + u"\\RDF");
    LDeleteKeyTree(false, std::u16string(LProductKey) + u"\\RDF");
    LDeleteKeyTree(false, std::u16string(LProductKey) + u"\\SuiteUsage");
    if (current[0] && std::u16string_view(current) != LProductVersion)
        LRegSettingsSet(u"Settings", u"PreviousVersion", current);
    LRegSettingsSet(u"Settings", u"CurrentVersion", LProductVersion);

    if (!setup.empty()) KeepSetupProgram(setup, folder);
    std::string by = SwitchValue(u"-instby");
    if (!by.empty()) {
        LString wide = LFromUtf8(by);
        LRegSettingsSet(u"Software", u"InstalledBy", wide.c_str());
    } else {
        LRegSettingsDelete(u"Software", u"InstalledBy");
    }
    char16_t iid[260];
    LRegSettingsGet(u"Software", u"IID", u"", iid);
    if (!iid[0]) LCreateInstallationId();
    LRegisterUninstallEntry(program);
}
