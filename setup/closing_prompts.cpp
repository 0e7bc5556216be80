#include "setup/closing_prompts.h"

#include <cstdint>
#include <string>

#include "foundation/date_time.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "foundation/system_version.h"
#include "foundation/time_source.h"
#include "host/entry_points.h"
#include "setup/install_folder.h"
#include "setup/like_survey.h"
#include "setup/maker_hosts.h"
#include "setup/rating_prompt.h"
#include "setup/split_test.h"
#include "setup/usage_counters.h"
#include "setup/usage_query.h"
#include "toolkit/window.h"

namespace {

// Three weeks after the build a release counts as settled, and the survey
// is offered to fewer closings.
constexpr int64_t kNewReleaseSeconds = 1814400;
constexpr int64_t kSoonSeconds = 45;
constexpr int64_t kLaterSeconds = 172800;

bool IsSet(const char16_t* section, const char16_t* name) {
    char16_t v[260] = {0};
    LRegSettingsGet(section, name, u"", v);
    return v[0] && !(v[0] == u'0' && v[1] == 0);
}

LString FromView(std::u16string_view v) {
    LString s;
    s.AppendView(v);
    return s;
}

LString WebHost() { return LFromUtf8(LGetMakerWebHost()); }

bool NameChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
}

// A host name with an optional port of one to five digits.
bool IsHostValue(std::u16string_view v) {
    size_t colon = v.find(u':');
    std::u16string_view name = v.substr(0, colon);
    if (name.empty() || name.size() > 253 || name.front() == u'.' || name.front() == u'-') return false;
    for (char16_t c : name)
        if (!NameChar(c)) return false;
    if (colon == std::u16string_view::npos) return true;
    std::u16string_view port = v.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    for (char16_t c : port)
        if (c < u'0' || c > u'9') return false;
    return true;
}

}  // namespace

LString LMakerHostOr(const char16_t* value, const LString& fallback) {
    std::u16string_view v = value ? value : u"";
    return IsHostValue(v) ? FromView(v) : FromView(fallback.View());
}

LString LGetMakerSecureHost() {
    char16_t v[260] = {0};
    LRegSettingsGet(u"Maker", u"SecureHost", u"", v);
    return LMakerHostOr(v, LString(u"secure.porlinex.invalid"));
}

LString LRefDataValue(const char16_t* refdata, const char16_t* key) {
    std::u16string_view data = refdata ? refdata : u"";
    std::u16string first = std::u16string(key) + u"=";
    size_t at = std::u16string_view::npos;
    if (data.substr(0, first.size()) == first) {
        at = first.size();
    } else {
        size_t p = data.find(u"&" + first);
        if (p != std::u16string_view::npos) at = p + 1 + first.size();
    }
    if (at == std::u16string_view::npos) return LString();
    size_t end = data.find(u'&', at);
    return FromView(data.substr(at, end == std::u16string_view::npos ? std::u16string_view::npos : end - at));
}

void LShowThanksPage() {
    if (IsSet(u"Settings", u"Thanks")) return;
    // Written first: a page that fails to open is not offered again.
    LRegSettingsSet(u"Settings", u"Thanks", u"1");
    char16_t refdata[260] = {0}, domain[260] = {0};
    LRegSettingsGet(u"Software", u"RefData", u"", refdata);
    LRegSettingsGet(u"Software", u"InstallerDomain", u"", domain);
    bool referred = !LRefDataValue(refdata, u"ref").IsEmpty() && !LRefDataValue(refdata, u"refdate").IsEmpty();
    LString host = referred ? LGetMakerSecureHost() : LMakerHostOr(domain, WebHost());
    LString url;
    url.Format(u"https://%s/software/thanks.html", host.c_str());
    LAppendCommonQuery(url);
    LAppendUsageSample(url);
    int64_t seconds = LReadCounter(u"Settings", u"FirstRunDurationSeconds");
    if (seconds > 0) url.AppendFormat(u"&secsfr=%I64d", seconds);
    url.AppendFormat(u"&active10s=%I64d", LGetFirstRunActiveTime());
    LAppendRefData(url);
    LOpenWebAddress(url.View());

    if (!LSplitTestIsOn("FG5h")) return;
    const int32_t now = static_cast<int32_t>(LNow());
    time_t build = 0;
    LGetBuildDate(&build);
    const int32_t d = static_cast<int64_t>(now) - static_cast<int64_t>(build) < kNewReleaseSeconds ? 2 : 10;
    if (now % d == 0) LScheduleSurvey((now / d) % 2 == 0);
}

bool LShowLongTermThanks() {
    const int64_t shown = LReadCounter(u"Settings", u"LongTermDays");
    int days = 0;
    if (shown > 364 || !LGetDaysSinceInstallAt(LNow(), days) || days < 180 || (days < 365 && shown > 179)) return false;
    LString url;
    url.Format(u"https://%s/software/thanksforusing.html", WebHost().c_str());
    LAppendCommonQuery(url);
    LAppendUsageSample(url);
    LAppendDaysAndRuns(url, days);
    LAppendRefData(url);
    LOpenWebAddress(url.View());
    LRegSettingsSet(u"Settings", u"LongTermDays", LFromUtf8(std::to_string(days)).c_str());
    return true;
}

void LScheduleSurvey(bool immediate) {
    if (LIsRunningUnderWine()) return;
    std::string folder;
    if (!LGetInstallerPath(folder) || folder.empty()) return;
    const int64_t at = static_cast<int64_t>(LNow()) + (immediate ? kSoonSeconds : kLaterSeconds);
    if (immediate) LRegSettingsSet(u"Software", u"ShowSurveyNow", u"1");
    LScheduleTask("LikeSurvey", LInstalledProgramPath(folder), "-surveysched", at);
}

void LShowClosingPrompts(LWindow* main_window) {
    if (main_window && main_window->balloon.tip != LHwnd::Null) main_window->CloseBalloonTip(main_window->balloon);
    LShowLongTermThanks();
    LShowThanksPage();
    if (IsSet(u"Software", u"ShowSurvey")) {
        LRegSettingsDelete(u"Software", u"ShowSurvey");
        LRegSettingsSet(u"Software", u"ShowSurveyNow", u"1");
        LShowLikeSurvey();
    } else if (LCountRun()) {
        LShowRatingPrompt();
    }
    if (main_window && main_window->hwnd != LHwnd::Null) LShowWindow(main_window->hwnd, LSW_HIDE);
}

// The main window's names for the two.
void LRunClosingPrompts(LWindow* main_window) { LShowClosingPrompts(main_window); }
void LOpenThanksPage() { LShowThanksPage(); }
