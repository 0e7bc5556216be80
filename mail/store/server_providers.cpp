#include <string_view>

#include "mail/store/server_discovery.h"

// Large public mail services with the hosts their help pages give for IMAP
// over TLS (993) and submission (587).
constexpr LEmailProvider LEmailProviders[27] = {
    {"163.com", "imap.163.com", "smtp.163.com"},
    {"aol.com", "imap.aol.com", "smtp.aol.com"},
    {"att.net", "imap.mail.att.net", "smtp.mail.att.net"},
    {"comcast.net", "imap.comcast.net", "smtp.comcast.net"},
    {"fastmail.com", "imap.fastmail.com", "smtp.fastmail.com"},
    {"gmail.com", "imap.gmail.com", "smtp.gmail.com"},
    {"gmx.com", "imap.gmx.com", "mail.gmx.com"},
    {"gmx.de", "imap.gmx.net", "mail.gmx.net"},
    {"gmx.net", "imap.gmx.net", "mail.gmx.net"},
    {"googlemail.com", "imap.gmail.com", "smtp.gmail.com"},
    {"hotmail.com", "outlook.office365.com", "smtp-mail.outlook.com"},
    {"icloud.com", "imap.mail.me.com", "smtp.mail.me.com"},
    {"live.com", "outlook.office365.com", "smtp-mail.outlook.com"},
    {"mac.com", "imap.mail.me.com", "smtp.mail.me.com"},
    {"mail.com", "imap.mail.com", "smtp.mail.com"},
    {"mail.ru", "imap.mail.ru", "smtp.mail.ru"},
    {"me.com", "imap.mail.me.com", "smtp.mail.me.com"},
    {"msn.com", "outlook.office365.com", "smtp-mail.outlook.com"},
    {"naver.com", "imap.naver.com", "smtp.naver.com"},
    {"outlook.com", "outlook.office365.com", "smtp-mail.outlook.com"},
    {"qq.com", "imap.qq.com", "smtp.qq.com"},
    {"web.de", "imap.web.de", "smtp.web.de"},
    {"yahoo.com", "imap.mail.yahoo.com", "smtp.mail.yahoo.com"},
    {"yandex.com", "imap.yandex.com", "smtp.yandex.com"},
    {"yandex.ru", "imap.yandex.ru", "smtp.yandex.ru"},
    {"ymail.com", "imap.mail.yahoo.com", "smtp.mail.yahoo.com"},
    {"zoho.com", "imap.zoho.com", "smtp.zoho.com"},
};

// Exchanger suffixes of providers that host other domains' mail, with the
// provider row whose hosts serve those domains too.
constexpr LEmailMxProvider LEmailMxProviders[7] = {
    {"google.com", "gmail.com"},
    {"icloud.com", "icloud.com"},
    {"messagingengine.com", "fastmail.com"},
    {"protection.outlook.com", "outlook.com"},
    {"yahoodns.net", "yahoo.com"},
    {"yandex.net", "yandex.com"},
    {"zoho.com", "zoho.com"},
};

namespace {

// The lookup is a binary search: the table must stay sorted.
constexpr bool SortedByDomain() {
    for (size_t i = 1; i < sizeof LEmailProviders / sizeof LEmailProviders[0]; ++i)
        if (!(std::string_view(LEmailProviders[i - 1].domain) < std::string_view(LEmailProviders[i].domain)))
            return false;
    return true;
}
static_assert(SortedByDomain(), "LEmailProviders must be sorted by domain in byte order");

}  // namespace
