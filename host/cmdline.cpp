#include "host/cmdline.h"

namespace {

std::vector<std::string>& Args() {
    static std::vector<std::string> args;
    return args;
}

}  // namespace

void LCmdLineInit(int argc, char** argv) {
    Args().assign(argv, argv + argc);
}

int LCmdLineCount() { return static_cast<int>(Args().size()); }

const std::string& LCmdLineArg(int i) {
    static const std::string empty;
    return (i >= 0 && i < LCmdLineCount()) ? Args()[static_cast<size_t>(i)] : empty;
}

void LCmdLineShift() {
    if (Args().size() > 1) Args().erase(Args().begin() + 1);
}

bool LCmdLineHasSwitch(const char* text) {
    for (size_t i = 1; i < Args().size(); ++i)
        if (Args()[i] == text) return true;
    return false;
}

std::string LCmdLineGetSwitchValue(const char* name) {
    for (size_t i = 1; i + 1 < Args().size(); ++i)
        if (Args()[i] == name) return Args()[i + 1].substr(0, 259);
    return "";
}
