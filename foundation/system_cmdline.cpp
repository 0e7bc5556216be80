#include "foundation/system_cmdline.h"

#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/utf8.h"
#include "platform/system_info.h"

namespace {

// Built once, thread-safely, on first use.
const std::vector<LString>& Arguments() {
    static const std::vector<LString> args = [] {
        std::vector<LString> wide;
        for (const std::string& a : LPlatformCommandLine()) wide.push_back(LFromUtf8(a));
        return wide;
    }();
    return args;
}

bool Equals(const LString& a, const char16_t* b) { return a.View() == std::u16string_view(b ? b : u""); }

}  // namespace

bool LCmdLineHasSwitch(const char16_t* text) {
    const auto& args = Arguments();
    for (size_t i = 1; i < args.size(); ++i) {
        if (Equals(args[i], text)) return true;
    }
    return false;
}

void LCmdLineGetSwitchValue(const char16_t* name, char16_t out[260]) {
    out[0] = 0;
    const auto& args = Arguments();
    for (size_t i = 1; i < args.size(); ++i) {
        if (!Equals(args[i], name)) continue;
        if (i + 1 < args.size()) LCopyField(out, args[i + 1].c_str());
        return;
    }
}
