#include "foundation/system_version.h"

#include <cstring>

#include "foundation/date_time.h"
#include "foundation/reg_settings.h"
#include "foundation/system_text.h"
#include "platform/system_info.h"

namespace {

constexpr const char16_t* kCurrentVersionKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
// The release a current system reports when the hive does not say otherwise.
constexpr const char16_t* kCurrentDisplayVersion = u"24H2";

}  // namespace

bool LIsWindowsVersionAtLeast(int major, int minor) { return major < 10 || (major == 10 && minor <= 0); }

bool LIsXPSP3OrLater() { return true; }

int LWindowsReleaseFromDisplayVersion(const char16_t* text) {
    if (!text || !text[0] || !text[1] || text[2] != u'H' || !text[3]) return 0;
    if (text[0] < u'0' || text[0] > u'9' || text[1] < u'0' || text[1] > u'9') return 0;
    int year = (text[0] - u'0') * 10 + (text[1] - u'0');
    return year * 100 + (text[3] == u'1' ? 4 : 9);
}

int LGetWindows10Release() {
    char16_t value[260];
    if (LRegReadString(LRegHive::LocalMachine, kCurrentVersionKey, u"DisplayVersion", u"", value) && value[0]) {
        if (int r = LWindowsReleaseFromDisplayVersion(value)) return r;
    }
    if (LRegReadString(LRegHive::LocalMachine, kCurrentVersionKey, u"ReleaseId", u"", value) && value[0]) {
        return static_cast<int>(LParseInt64W(value));
    }
    return LWindowsReleaseFromDisplayVersion(kCurrentDisplayVersion);
}

time_t LGetOSReleaseDate() {
    const int release = LGetWindows10Release();
    time_t t = 0;
    LMakeLocalTime(&t, 2000 + release / 100, release % 100, 1, 0, 0, 0);
    return t;
}

unsigned LGetWindowsProductType() { return 0; }

bool LIsRunningUnderWine() { return false; }

bool LIsVirtualMachineByCpuid() {
    static const char kSignatures[][13] = {
        {'K', 'V', 'M', 'K', 'V', 'M', 'K', 'V', 'M', 0, 0, 0, 0},
        "Microsoft Hv", "VMwareVMware", "XenVMMXenVMM", "prl hyperv  ", "VBoxVBoxVBox",
    };
    bool root = false;
    char vendor[13];
    if (!LPlatformCpuidHypervisor(&root, vendor) || root) return false;
    for (const char* s : kSignatures) {
        if (std::memcmp(vendor, s, 12) == 0) return true;
    }
    return false;
}

bool LIsVirtualMachineByBios() {
    return LPlatformDmiText("board_vendor") == "Microsoft Corporation" &&
           LPlatformDmiText("board_name") == "Virtual Machine";
}
