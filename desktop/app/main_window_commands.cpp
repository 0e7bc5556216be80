// The maker's commands of the main window: pages of the maker and of the
// social networks, the suggestion and bug-report pages, and sharing the
// product page. Every address comes from the machine-wide section "Maker"
// with defaults under .invalid, so nothing leaves the machine until an
// administrator has configured them.
#include "desktop/app/app_entry_points.h"
#include "foundation/lstring.h"
#include "foundation/system_shell.h"
#include "foundation/utf8.h"
#include "setup/closing_prompts.h"
#include "setup/maker_hosts.h"

namespace {

std::u16string OnWebHost(const char* path) { return LFromUtf8("https://" + LGetMakerWebHost() + path).c_str(); }

std::u16string ProductPage() { return LGetMakerPage(u"ProductPage", OnWebHost("/email/index.html")); }

// A share service's address with the product page (or the text around
// it) appended under the service's own query key.
void Share(const char16_t* name, const char16_t* fallback, const std::u16string& text) {
    LString address;
    address.Format(u"%s%U", LGetMakerPage(name, fallback).c_str(), text.c_str());
    LOpenWebAddress(address.View());
}

}  // namespace

bool LRunMainWindowCommand(LWindow*, int id) {
    switch (id) {
    case 9005: LOpenWebAddress(ProductPage()); return true;
    case 9006: LOpenWebAddress(LGetMakerPage(u"SupportPage", OnWebHost("/email/support.html"))); return true;
    case 9007: LOpenSuggestionPage(); return true;
    case 9008: LOpenBugReportPage(); return true;
    case 9012: LOpenWebAddress(LGetMakerPage(u"UtilitiesPage", OnWebHost("/software/index.html"))); return true;
    case 9014: LOpenWebAddress(LGetMakerPage(u"ForumPage", OnWebHost("/forum/index.html"))); return true;
    case 9030: LOpenWebAddress(LGetMakerPage(u"FacebookPage", u"https://facebook.porlinex.invalid/")); return true;
    case 9031: LOpenWebAddress(LGetMakerPage(u"XPage", u"https://x.porlinex.invalid/")); return true;
    case 9310:
        Share(u"ShareFacebook", u"https://facebook.porlinex.invalid/sharer/sharer.php?u=", ProductPage());
        return true;
    case 9311:
        Share(u"ShareX", u"https://x.porlinex.invalid/intent/tweet?status=",
              u"I just downloaded Porlinex. Try it here: " + ProductPage());
        return true;
    case 9316:
        Share(u"ShareLinkedIn", u"https://linkedin.porlinex.invalid/shareArticle?url=", ProductPage());
        return true;
    default: return false;
    }
}
