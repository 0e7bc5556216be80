#include "host/cmdline.h"

#include <vector>

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
