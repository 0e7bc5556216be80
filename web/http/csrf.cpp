#include "web/http/csrf.h"

#include <string>

#include "web/http/local_host.h"

bool LWebCsrfAccepts(bool secure, const char16_t* host, const char16_t* referer, const char16_t* origin,
                     const char16_t* x_ajax) {
    // A rebinding page sends its own name as Host, and its Origin and
    // Referer match it; so may its script set X-AJAX.
    if (!LWebHostNamesThisMachine(host)) return false;
    std::u16string self = secure ? u"https://" : u"http://";
    self += host ? host : u"";
    if (referer && *referer && std::u16string_view(referer).starts_with(self + u"/")) return true;
    if (origin && *origin && self == origin) return true;
    return x_ajax && *x_ajax;
}
