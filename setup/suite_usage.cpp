#include "setup/suite_usage.h"

#include <vector>

#include "foundation/settings_hive.h"
#include "foundation/system_random.h"
#include "setup/usage_counters.h"

const char16_t LSuiteUsageKey[] = u"Software\\Vek Software\\Porlinex\\SuiteUsage";

namespace {

// Enough for every distinct task of the largest table; beyond it a use is
// still counted in ar or ai but gets no subkey of its own.
constexpr int kMaxLinks = 5000;

const std::u16string kLinks = std::u16string(LSuiteUsageKey) + u"\\Links";

int64_t Counter(const LSettingsHive& hive, std::u16string_view path, std::u16string_view name) {
    const LHiveValue* v = hive.FindValue(path, name);
    return v && !v->binary ? LParseCounter(v->text.c_str()) : 0;
}

void Bump(LSettingsHive& hive, std::u16string_view path, std::u16string_view name, int64_t by) {
    int64_t value = Counter(hive, path, name);
    value = by > INT64_MAX - value ? INT64_MAX : value + by;
    std::string text = std::to_string(value);
    hive.SetText(path, name, std::u16string(text.begin(), text.end()));
}

std::u16string Text(const LSettingsHive& hive, std::u16string_view path, std::u16string_view name) {
    const LHiveValue* v = hive.FindValue(path, name);
    return v && !v->binary ? v->text : std::u16string();
}

void CountLink(LSettingsHive& hive, const std::u16string& key, const std::u16string& category,
               const std::u16string& task) {
    for (const std::u16string& sub : hive.Subkeys(kLinks)) {
        std::u16string path = kLinks + u"\\" + sub;
        // Program keys and categories compare as the launcher's tables do;
        // the task text is kept exactly.
        if (LHiveNamesEqual(Text(hive, path, u"lk"), key) && LHiveNamesEqual(Text(hive, path, u"lt"), category) &&
            Text(hive, path, u"lf") == task) {
            Bump(hive, path, u"lc", 1);
            return;
        }
    }
    for (int n = 1; n <= kMaxLinks; ++n) {
        std::string number = std::to_string(n);
        std::u16string path = kLinks + u"\\" + std::u16string(number.begin(), number.end());
        if (hive.KeyExists(path)) continue;
        hive.SetText(path, u"lk", key);
        hive.SetText(path, u"lt", category);
        hive.SetText(path, u"lf", task);
        hive.SetText(path, u"lc", u"1");
        return;
    }
}

std::u16string WithoutBlanks(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text)
        if (c != u' ' && c != u'\t') out += c;
    return out;
}

}  // namespace

int64_t LReadSuiteCounter(const char16_t* name) {
    LSettingsHive hive;
    if (!LHiveLoad(LRegHive::CurrentUser, hive)) return 0;
    return Counter(hive, LSuiteUsageKey, name);
}

void LCountSuiteOpening(bool withOwner) {
    LHiveUpdate(LRegHive::CurrentUser, [&](LSettingsHive& h) {
        Bump(h, LSuiteUsageKey, withOwner ? u"oi" : u"oe", 1);
        return true;
    });
}

void LAddSuiteOpenSeconds(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    LHiveUpdate(LRegHive::CurrentUser, [&](LSettingsHive& h) {
        Bump(h, LSuiteUsageKey, u"os", seconds);
        return true;
    });
}

void LCountSuiteUse(const std::u16string& key, const std::u16string& category, const std::u16string& task,
                    bool installed) {
    LHiveUpdate(LRegHive::CurrentUser, [&](LSettingsHive& h) {
        Bump(h, LSuiteUsageKey, installed ? u"ar" : u"ai", 1);
        CountLink(h, key, category, task);
        return true;
    });
}

void LSuiteUsageQueryWith(LString& out, int random) {
    LSettingsHive hive;
    LHiveLoad(LRegHive::CurrentUser, hive);
    std::vector<std::u16string> links = hive.Subkeys(kLinks);
    if (!links.empty()) {
        std::u16string path = kLinks + u"\\" + links[static_cast<size_t>(random) % links.size()];
        std::u16string category = Text(hive, path, u"lt").substr(0, 2);
        std::u16string task = WithoutBlanks(Text(hive, path, u"lf")).substr(0, 12);
        out.AppendFormat(u"lk=%U&lt=%U&lf=%U&lc=%I64d&", Text(hive, path, u"lk").c_str(), category.c_str(),
                         task.c_str(), Counter(hive, path, u"lc"));
    }
    out.AppendFormat(u"dt=%s&oi=%I64d&oe=%I64d&os=%I64d&ai=%I64d&ar=%I64d", u"Ut",
                     Counter(hive, LSuiteUsageKey, u"oi"), Counter(hive, LSuiteUsageKey, u"oe"),
                     Counter(hive, LSuiteUsageKey, u"os"), Counter(hive, LSuiteUsageKey, u"ai"),
                     Counter(hive, LSuiteUsageKey, u"ar"));
}

void LSuiteUsageQuery(LString& out) { LSuiteUsageQueryWith(out, LRand()); }
