#include "setup/usage_counters.h"

#include <cstdint>
#include <string>

#include "foundation/reg_settings.h"

namespace {

// The window thread's active-time clock and whether the thanks page had
// been shown when it was first asked; they live for the process.
time_t g_last_count = 0;
bool g_have_last = false;
int g_thanks_shown = -1;

}  // namespace

int64_t LParseCounter(const char16_t* text) {
    int64_t value = 0;
    for (const char16_t* p = text; *p; ++p) {
        if (*p < u'0' || *p > u'9' || value > (INT64_MAX - 9) / 10) return 0;
        value = value * 10 + (*p - u'0');
    }
    return value;
}

int64_t LReadCounter(const char16_t* section, const char16_t* name) {
    char16_t out[260] = {0};
    LRegSettingsGet(section, name, u"", out);
    return LParseCounter(out);
}

void LBumpCounter(const char16_t* section, const char16_t* name) {
    std::string next = std::to_string(LReadCounter(section, name) + 1);
    LRegSettingsSet(section, name, LFromUtf8(next).c_str());
}

bool LGetDaysSinceInstallAt(time_t now, int& days) {
    int64_t first = LReadCounter(u"Settings", u"InstallDateFirst");
    if (first == 0) return false;
    double d = (static_cast<double>(now) - static_cast<double>(first)) / 86400.0 + 0.5;
    // A first installation "in the future" (a clock set back) is today.
    days = d < 0 ? 0 : d > 1e6 ? 1000000 : static_cast<int>(d);
    return true;
}

bool LGetDaysSinceInstall(int& days) { return LGetDaysSinceInstallAt(time(nullptr), days); }

int64_t LGetFirstRunActiveTime() { return LReadCounter(u"Settings", u"FirstRunActive10sec"); }

void LCountActiveTimeAt(time_t now) {
    // A clock set back starts a new period rather than stopping the count
    // until the clock catches up again.
    if (g_have_last && now >= g_last_count && now - g_last_count <= 10) return;
    g_last_count = now;
    g_have_last = true;
    if (g_thanks_shown < 0) {
        char16_t thanks[260] = {0};
        LRegSettingsGet(u"Settings", u"Thanks", u"", thanks);
        g_thanks_shown = thanks[0] && !(thanks[0] == u'0' && thanks[1] == 0);
    }
    if (!g_thanks_shown) LBumpCounter(u"Settings", u"FirstRunActive10sec");
    LBumpCounter(u"Settings", u"RunActive10sec");
}

void LCountActiveTime() { LCountActiveTimeAt(time(nullptr)); }

void LResetActiveTimeClock() {
    g_have_last = false;
    g_last_count = 0;
    g_thanks_shown = -1;
}

bool LCountRun() {
    bool ratingDue = LReadCounter(u"Settings", u"Runs") == 8;
    LBumpCounter(u"Settings", u"Runs");
    LBumpCounter(u"Settings", u"RunsSinceLastInstall");
    return ratingDue;
}
