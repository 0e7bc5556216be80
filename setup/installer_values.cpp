#include "setup/installer_values.h"

#include <strings.h>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/cmdline.h"

namespace {

void StoreFromCommandLine(const char* name, const char16_t* value) {
    std::vector<std::string> args;
    for (int i = 0; i < LCmdLineCount(); ++i) args.push_back(LCmdLineArg(i));
    std::string found = LInstallerSwitchValue(args, name);
    if (!found.empty()) LRegSettingsSet(u"Software", value, LFromUtf8(found).c_str());
}

}  // namespace

std::string LInstallerSwitchValue(const std::vector<std::string>& args, const char* name) {
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (strcasecmp(args[i].c_str(), name) == 0) return args[i + 1];
    return {};
}

void LStoreInstallerSVar() { StoreFromCommandLine("-instsvar", u"InstallerSVar"); }
void LStoreInstallerRefData() { StoreFromCommandLine("-instrefdata", u"RefData"); }
