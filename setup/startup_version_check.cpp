#include "setup/startup_version_check.h"

#include <charconv>
#include <string>

#include "foundation/date_time.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/system_cmdline.h"
#include "foundation/system_version.h"
#include "setup/version_check.h"

namespace {

constexpr int64_t kCrashCheckSpacing = 2419200;  // 28 days

std::string UserValue(const char16_t* name) {
    char16_t out[260] = {0};
    LRegUserSettingsGet(u"Settings", name, u"", out);
    return LToUtf8(out);
}

int64_t Number(const std::string& text, bool& present) {
    int64_t n = 0;
    present = std::from_chars(text.data(), text.data() + text.size(), n).ec == std::errc();
    return present ? n : 0;
}

void SetUserNumber(const char16_t* name, int64_t n) {
    LRegUserSettingsSet(u"Settings", name, LFromUtf8(std::to_string(n)).c_str());
}

bool IsSet(const std::string& v) { return !v.empty() && v != "0"; }

}  // namespace

LStartupFacts LCurrentStartupFacts() {
    LStartupFacts f;
    f.now = time(nullptr);
    LGetBuildDate(&f.build);
    f.osReleased = LGetOSReleaseDate();
    f.osVersion = 1000;
    f.osRelease = LGetWindows10Release();
    f.logon = LCmdLineHasSwitch(u"-logon");
    return f;
}

bool LCheckVersionAtStartupWith(const LStartupFacts& facts, const LStartupSteps& steps) {
    if (facts.logon) return true;
    // Read and deleted whatever follows, so one crash triggers one check.
    bool crashed = IsSet(UserValue(u"VersionCheckAfterCrash"));
    LRegUserSettingsDelete(u"VersionCheckAfterCrash");

    bool check = false;
    if (crashed) {
        bool present = false;
        int64_t last = Number(UserValue(u"LastCrashCheck"), present);
        time_t old = 0;
        bool buildOld = LAddMonths(facts.build, &old, 6) && facts.now > old;
        if (buildOld || !present || last + kCrashCheckSpacing < int64_t(facts.now)) {
            SetUserNumber(u"LastCrashCheck", facts.now);
            check = true;
        }
    }
    if (!check) {
        time_t fresh = 0;
        if (LAddMonths(facts.build, &fresh, 18) && facts.now < fresh) return true;
        bool present = false;
        if (Number(UserValue(u"OSCheck"), present) == facts.osVersion &&
            Number(UserValue(u"OSCheckWinRelease"), present) == facts.osRelease)
            return true;
    }
    time_t unsupported = 0;
    if (LAddMonths(facts.osReleased, &unsupported, 60) && facts.now >= unsupported) return true;

    double version = 0;
    int fetched = steps.getNewer(version);
    if (fetched == 1) return false;
    if (fetched != 0) return true;
    SetUserNumber(u"OSCheck", facts.osVersion);
    SetUserNumber(u"OSCheckWinRelease", facts.osRelease);
    if (!(version > LProgramVersion)) return true;

    char16_t disabled[260] = {0};
    LRegSettingsGet(u"Settings", u"PromptUpdateDisabled", u"", disabled);
    if (IsSet(LToUtf8(disabled))) return true;
    if (steps.askUpdate() && steps.downloadUpdate() != 2) return false;
    return true;
}
