#include "setup/push_notifications.h"

#include <cmath>
#include <set>

#include "foundation/date_time.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/string_map.h"
#include "foundation/system_version.h"
#include "foundation/time_source.h"
#include "foundation/url_decode.h"
#include "platform/file.h"
#include "setup/version_check.h"

namespace {

constexpr char16_t kStateKey[] = u"Software\\Vek Software\\Porlinex\\PushNotifications";
constexpr time_t kRemindAfter = 43200;  // 12 hours

constexpr const char16_t* kActions[] = {u"", u"webpage", u"install", u"later"};
constexpr const char16_t* kOses[] = {u"", u"mac", u"win"};

template <size_t N>
int WordIndex(const char16_t* const (&table)[N], const std::u16string& word) {
    for (size_t i = 0; i < N; ++i)
        if (word == table[i]) return int(i);
    return -1;
}

std::u16string Cut(const LString* value, size_t max = LPushFieldMax) {
    if (!value || !value->buffer) return {};
    return std::u16string(value->c_str(), value->length > max ? max : value->length);
}

// The leading decimal digits; a value past INT_MAX stays at INT_MAX.
int LeadingNumber(const std::u16string& text) {
    long long n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        n = n * 10 + (c - u'0');
        if (n > INT_MAX) return INT_MAX;
    }
    return int(n);
}

// A notice's id names its own subkey: nothing that would reach another key
// or break the settings file.
bool IdUsable(const std::u16string& id) {
    if (id.empty()) return false;
    for (char16_t c : id)
        if (c < 0x20 || c == u'\\' || c == u']' || c == 0x7F) return false;
    return true;
}

std::u16string StateKey(const std::u16string& id) { return std::u16string(kStateKey) + u"\\" + id; }

void ApplyButtonData(LPushNotificationButton& button, const LString* data) {
    if (button.action == LPushActionWebpage) {
        button.data = Cut(data, LPushDataMax);
    } else if (button.action == LPushActionInstall && data && data->buffer) {
        LStringMap nested;
        LParseUrlEncodedFormW(nested, data->c_str());
        button.comp = Cut(nested.Find(u"comp"));
        button.key = Cut(nested.Find(u"key"));
        const LString* dalmor = nested.Find(u"dalmor");
        button.dalmor = dalmor && dalmor->length > 0 && dalmor->c_str()[0] == u'1';
    }
}

// 2.01 as 201. Worked out in numbers: a text made by the formatter would
// read "2,01" under a locale with a decimal comma.
int ProgramVersionNumber() {
    int major = int(LProgramVersion);
    return major * 100 + int(std::lround((LProgramVersion - major) * 100));
}

}  // namespace

bool LPushNotificationData::Parse(std::string_view line, bool& usable) {
    Clear();
    usable = true;
    if (line.empty()) return false;
    // A line past the bound is not read at all: a cut line would be a
    // different notice.
    if (line.size() > LPushLineMax) {
        usable = false;
        return true;
    }
    LStringMap form;
    LParseUrlEncodedForm(form, std::string(line).c_str());
    const LString* vital = nullptr;
    const LString* data1 = nullptr;
    const LString* data2 = nullptr;
    std::set<std::u16string> unknown;
    form.ForEach([&](const LStringMapNode& n) {
        std::u16string key(n.key.c_str(), n.key.length);
        std::u16string value = Cut(n.value);
        if (key == u"id") id = value;
        else if (key == u"os") os = WordIndex(kOses, value);
        else if (key == u"osmin") osmin = LeadingNumber(value);
        else if (key == u"osmax") osmax = LeadingNumber(value);
        else if (key == u"appmin") appmin = LeadingNumber(value);
        else if (key == u"appmax") appmax = LeadingNumber(value);
        else if (key == u"svnmin") svnmin = LeadingNumber(value);
        else if (key == u"svnmax") svnmax = LeadingNumber(value);
        else if (key == u"datemin") datemin = value;
        else if (key == u"datemax") datemax = value;
        else if (key == u"body") body = value;
        else if (key == u"btn1act") button1.action = WordIndex(kActions, value);
        else if (key == u"btn2act") button2.action = WordIndex(kActions, value);
        else if (key == u"btn1label") button1.label = value;
        else if (key == u"btn2label") button2.label = value;
        else if (key == u"vital") vital = n.value;
        else if (key == u"btn1data") data1 = n.value;
        else if (key == u"btn2data") data2 = n.value;
        else unknown.insert(key);
    });
    ApplyButtonData(button1, data1);
    ApplyButtonData(button2, data2);
    // A notice that depends on a field this client does not know is never
    // shown.
    if (vital && vital->buffer) {
        std::u16string list(vital->c_str(), vital->length);
        for (size_t from = 0; from <= list.size();) {
            size_t comma = list.find(u',', from);
            if (comma == std::u16string::npos) comma = list.size();
            std::u16string name = list.substr(from, comma - from);
            if (name.empty()) break;
            if (unknown.count(name)) usable = false;
            from = comma + 1;
        }
    }
    if (!IdUsable(id)) usable = false;
    return true;
}

bool LPushNotificationData::IsDue(time_t now) const {
    LRegKey state;
    if (state.Open(LRegHive::CurrentUser, StateKey(id).c_str())) {
        char16_t text[260];
        LRegQueryStringFixed(state, u"Viewed", u"", text);
        if (LeadingNumber(text) > 0) return false;
        LRegQueryStringFixed(state, u"RemindLater", u"", text);
        time_t remind = LeadingNumber(text);
        if (remind > 0 && now < remind + kRemindAfter) return false;
    }
    if (os != LPushOsAny && os != LPushOsWin) return false;
    if (osmin > 0 && !LIsWindowsVersionAtLeast(osmin / 100, osmin % 100)) return false;
    if (osmax != INT_MAX && LIsWindowsVersionAtLeast(osmax / 100, osmax % 100 + 1)) return false;
    int app = ProgramVersionNumber();
    if (appmin >= 1 && app < appmin) return false;
    if (appmax != INT_MAX && app > appmax) return false;
    int svn = LeadingNumber(LFromUtf8(LSourceRevisionText).c_str());
    if (svnmin > 0 && svn < svnmin) return false;
    if (svnmax != INT_MAX && svn > svnmax) return false;
    time_t limit = 0;
    if (!datemin.empty() && LParseLocalDateAndTime(&limit, datemin.c_str(), u"00:00:00") && now < limit) return false;
    limit = 0;
    if (!datemax.empty() && LParseLocalDateAndTime(&limit, datemax.c_str(), u"23:59:59") && now > limit) return false;
    return true;
}

bool LPushNotificationData::IsValid() const {
    return !id.empty() && os >= 0 && os <= 2 && osmin <= osmax && appmin <= appmax && svnmin <= svnmax &&
           !body.empty() && !(button1.action == LPushActionNone && button2.action != LPushActionNone);
}

void LPushNotificationData::MarkViewed() const {
    if (!IdUsable(id)) return;
    std::u16string key = StateKey(id);
    LRegWriteString(LRegHive::CurrentUser, key.c_str(), u"Viewed", LFromUtf8(std::to_string(int32_t(LNow()))).c_str());
    LRegDeleteValue(LRegHive::CurrentUser, key.c_str(), u"RemindLater");
}

void LPushNotificationData::RemindLater() const {
    if (!IdUsable(id)) return;
    std::u16string key = StateKey(id);
    LRegWriteString(LRegHive::CurrentUser, key.c_str(), u"RemindLater",
                    LFromUtf8(std::to_string(int32_t(LNow()))).c_str());
    LRegDeleteValue(LRegHive::CurrentUser, key.c_str(), u"Viewed");
}

void LNotificationListFree(LPushNotificationData* head) {
    while (head) {
        LPushNotificationData* next = head->next;
        delete head;
        head = next;
    }
}

bool LPushNotificationReader::Open(const std::string& path) {
    text_.clear();
    at_ = 0;
    LPlatformFile file;
    if (!file.Open(path.c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting)) return false;
    text_.resize(LPushFileMax);
    size_t have = 0;
    uint32_t got = 0;
    while (have < text_.size() && file.Read(text_.data() + have, uint32_t(text_.size() - have), &got) && got > 0)
        have += got;
    text_.resize(have);
    return true;
}

bool LPushNotificationReader::NextLine(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    size_t end = text_.find_first_of("\r\n", at_);
    if (end == std::string::npos) end = text_.size();
    line = std::string_view(text_).substr(at_, end - at_);
    at_ = end;
    if (at_ < text_.size()) {
        char first = text_[at_++];
        // The other kind of line-end character belongs to the same line end.
        if (at_ < text_.size() && text_[at_] == (first == '\r' ? '\n' : '\r')) ++at_;
    }
    return true;
}

std::vector<LPushNotificationData> LReadPushNotifications(const std::string& path) {
    std::vector<LPushNotificationData> notices;
    LPushNotificationReader reader;
    if (!reader.Open(path)) return notices;
    std::string_view line;
    LPushNotificationData record;
    bool usable = false;
    while (notices.size() < LPushNoticesMax && reader.NextLine(line) && record.Parse(line, usable))
        if (usable) notices.push_back(record);
    return notices;
}

