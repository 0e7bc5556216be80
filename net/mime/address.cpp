// E-mail address lists: iteration, domains and syntax checks.
#include "net/mime/address.h"

#include <string_view>

namespace {

bool IsAlnum(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'); }

bool LocalPartOk(std::u16string_view s) {
    if (s.empty() || s.size() > 64 || s.front() == u'.' || s.back() == u'.') return false;
    if (s.find(u"..") != s.npos) return false;
    constexpr std::u16string_view specials = u"!#$%&'*+-./=?^_`{|}~";
    for (char16_t c : s)
        if (!IsAlnum(c) && specials.find(c) == specials.npos) return false;
    return true;
}

bool DomainOk(std::u16string_view s) {
    if (s.empty() || s.size() > 255 || s.find(u'.') == s.npos || s.find(u"..") != s.npos) return false;
    if (!IsAlnum(s.front()) || !IsAlnum(s.back())) return false;
    for (char16_t c : s)
        if (!IsAlnum(c) && c != u'-' && c != u'.') return false;
    return true;
}

}  // namespace

void LEmailAddressCursor::Take() {
    size_t n = 0;
    while (*cursor && *cursor != u' ' && *cursor != u'\t' && *cursor != u',') {
        if (n < 259) address[n++] = *cursor;
        ++cursor;
    }
    address[n] = 0;
    while (*cursor && *cursor != u',' && *cursor <= u' ') ++cursor;
}

void LEmailAddressCursor::Begin(const char16_t* list) {
    cursor = list ? list : u"";
    Take();
}

bool LEmailAddressCursor::Next() {
    if (!address[0]) return false;
    if (*cursor != u',') {
        address[0] = 0;
        return false;
    }
    ++cursor;
    while (*cursor == u' ' || *cursor == u'\t') ++cursor;
    Take();
    return address[0] != 0;
}

bool LEmailAddressDomain(const char16_t* address, char16_t out[260]) {
    out[0] = 0;
    std::u16string_view a = address ? address : u"";
    size_t at = a.rfind(u'@');
    if (at == a.npos || at + 1 >= a.size()) return false;
    std::u16string_view d = a.substr(at + 1, 259);
    d.copy(out, d.size());
    out[d.size()] = 0;
    return true;
}

bool LEmailAddressIsValid(const char16_t* address) {
    std::u16string_view a = address ? address : u"";
    size_t at = a.find(u'@');
    if (at == a.npos) return false;
    std::u16string_view local = a.substr(0, at), domain = a.substr(at + 1);
    // Only the first 259 characters of each side are looked at, as the fixed
    // fields that hold them keep no more.
    return LocalPartOk(local.substr(0, 259)) && DomainOk(domain.substr(0, 259));
}

bool LEmailAddressListIsValid(const char16_t* list) {
    std::u16string_view s = list ? list : u"";
    size_t i = 0;
    bool any = false;
    while (true) {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
        size_t start = i;
        while (i < s.size() && s[i] != u',' && s[i] != u' ' && s[i] != u'\t') ++i;
        std::u16string_view one = s.substr(start, i - start);
        if (one.empty() || one.size() > 320) return false;
        char16_t buf[321];
        one.copy(buf, one.size());
        buf[one.size()] = 0;
        if (!LEmailAddressIsValid(buf)) return false;
        any = true;
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
        if (i >= s.size()) return any;
        if (s[i] != u',') return false;  // two addresses separated by a blank only
        ++i;
    }
}
