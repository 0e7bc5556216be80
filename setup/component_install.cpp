#include "setup/component_install.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "host/entry_points.h"
#include "platform/root.h"
#include "platform/spawn.h"
#include "setup/split_test.h"
#include "setup/zip_extract.h"

namespace {

constexpr const char* kComponentsPath = "/Vek Software/Components/Shared";

bool Usable(const std::string& folder) {
    return LPlatformCreateFolderTree(folder, 0755) && access(folder.c_str(), W_OK) == 0;
}

std::string StoredSoftwareValue(const char16_t* name) {
    char16_t out[260] = {0};
    LRegSettingsGet(u"Software", name, u"", out);
    return LToUtf8(out);
}

bool IsZip(const std::string& file) {
    return file.size() >= 4 && strcasecmp(file.c_str() + file.size() - 4, ".zip") == 0;
}

std::string BaseName(const std::string& file) {
    size_t slash = file.rfind('/');
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    return name.substr(0, name.size() - 4);
}

int InstallZip(const std::string& file) {
    std::string folder;
    bool machine = LGetComponentsFolder(folder);
    if (!machine && !LGetSharedComponentsFolder(folder)) return 2;
    if (!LExtractZipArchive(LFromUtf8(file).c_str(), LFromUtf8(folder).c_str())) return 2;
    std::string name = BaseName(file);
    std::string path = folder + "/" + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 2;
    LString key = LFromUtf8("Software\\WOW6432Node\\Vek Software\\Components\\" + name);
    LString wide = LFromUtf8(path);
    bool ok = LRegWriteString(LRegHive::CurrentUser, key.c_str(), u"Path", wide.c_str());
    if (machine) ok = LRegWriteString(LRegHive::LocalMachine, key.c_str(), u"Path", wide.c_str()) && ok;
    return ok ? 0 : 2;
}

int RunSetupProgram(const std::string& file, const char* by, bool quiet) {
    // A downloaded file carries no execute bit; only its owner may run it.
    if (chmod(file.c_str(), 0700) != 0) return 2;
    std::vector<std::string> argv{file};
    std::vector<std::string> args = LInstallerArguments(by, quiet);
    argv.insert(argv.end(), args.begin(), args.end());
    // The setup program reads LQUIET from its environment; this process's
    // own value is restored once it has started.
    const char* before = std::getenv("LQUIET");
    bool had = before != nullptr;
    if (quiet) setenv("LQUIET", "1", 1);
    LPlatformProcess process;
    LPlatformSpawnOptions options;
    options.newSession = true;
    bool started = process.Start(argv, options);
    if (quiet && !had) unsetenv("LQUIET");
    if (quiet && had) setenv("LQUIET", "1", 1);
    if (!started) return 2;
    process.Detach();
    return 0;
}

}  // namespace

bool LGetComponentsFolder(std::string& out) {
    out = LPlatformRoot() + "/opt/porlinex" + kComponentsPath;
    return Usable(out);
}

bool LGetSharedComponentsFolder(std::string& out) {
    out = LPlatformKnownFolder(LKnownFolder::UserAppData) + kComponentsPath;
    return Usable(out);
}

std::vector<std::string> LInstallerArguments(const char* by, bool quiet) {
    std::vector<std::string> args;
    if (quiet) args.push_back("-LQUIET");
    args.push_back("-instby");
    args.push_back(std::string(by ? by : "") + "Porlinex");
    std::string svar = LReadSplitTestList();
    if (!svar.empty()) args.insert(args.end(), {"-instsvar", svar});
    std::string refdata = StoredSoftwareValue(u"RefData");
    if (!refdata.empty()) args.insert(args.end(), {"-instrefdata", refdata});
    return args;
}

int LInstallComponentFile(const std::string& file, const char* by, bool quiet) {
    return IsZip(file) ? InstallZip(file) : RunSetupProgram(file, by, quiet);
}

void LInstallComponent(const std::string& file, const std::string&, const char* by, int quiet) {
    // The requester's process id named the event an elevated copy would
    // signal; nothing is elevated here, so the result goes to the log.
    if (LInstallComponentFile(file, by, quiet != 0) == 0)
        LLogInfoF("Component installed from %.200s.", file.c_str());
    else
        LLogWarningF("Component could not be installed from %.200s.", file.c_str());
}
