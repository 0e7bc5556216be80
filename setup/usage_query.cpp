#include "setup/usage_query.h"

#include <unistd.h>

#include "foundation/installation_id.h"
#include "foundation/reg_settings.h"
#include "foundation/system_random.h"
#include "foundation/system_shell.h"
#include "foundation/system_version.h"
#include "net/smtp/mail_discovery.h"
#include "platform/socket_address.h"
#include "setup/maker_hosts.h"
#include "setup/split_test.h"
#include "setup/usage_counters.h"

namespace {

// The word after "&domain=" naming the maker's web site.
constexpr const char16_t* kDomainWord = u"porlinex";

void Software(const char16_t* name, char16_t out[260]) { LRegSettingsGet(u"Software", name, u"", out); }

int64_t HelpOpens() {
    char16_t out[260] = {0};
    LRegUserSettingsGet(u"Software", u"HelpOpens", u"", out);
    return LParseCounter(out);
}

}  // namespace

void LAppendCommonQuery(LString& out) {
    out.AppendFormat(u"?software=Porlinex&appname=%s&version=2.01", u"Porlinex");
    if (LIsRunningUnderWine()) out.AppendFormat(u"&wine=1");
    if (LIsVirtualMachineByBios()) out.AppendFormat(u"&vm=1");
    out.AppendFormat(u"&appbits=64&base=email&domain=%s", kDomainWord);
    char16_t value[260] = {0};
    Software(u"Ref", value);
    if (value[0]) out.AppendFormat(u"&ref=%U", value);
    // The antivirus piece needs the security center's health function,
    // which this system does not have: it is left out.
    Software(u"InstalledBy", value);
    out.AppendFormat(u"&instby=%U", value[0] ? value : u"dl");
    LGetInstallationId(value);
    out.AppendFormat(u"&iid=%U", value);
    out.AppendFormat(u"&help=%I64d", HelpOpens());
    out.AppendFormat(u"&ostype=%u&osver=%d.%d", LGetWindowsProductType(), 10, 0);
    if (!LIsRunningUnderWine()) {
        LString svar = LFromUtf8(LReadSplitTestList());
        if (!svar.IsEmpty()) out.AppendFormat(u"&svar=%U", svar.c_str());
    }
}

void LAppendUsageSampleFrom(LString& out, const std::vector<LCommandCount>& table, int random) {
    size_t n = 0;
    while (n < table.size() && table[n].id != 0) ++n;
    if (n == 0) return;
    const LCommandCount& pick = table[static_cast<size_t>(random) % n];
    out.AppendFormat(u"&usage=%04X%02X", pick.id, pick.count > 255 ? 255u : pick.count);
}

void LAppendUsageSample(LString& out) { LAppendUsageSampleFrom(out, LCommandCounts(), LRand()); }

void LAppendDaysAndRuns(LString& out, int days) {
    out.AppendFormat(u"&days=%d&runs=%I64d", days, LReadCounter(u"Settings", u"Runs") + 1);
}

int LOsClassFromProductType(unsigned type) {
    switch (type) {
        case 0: case 11: case 47: case 66: case 121: case 122:
            return 0;
        case 2: case 3: case 5: case 26: case 67: case 68: case 98: case 99: case 100: case 101:
            return 1;
        case 6: case 16:
            return 3;
        case 1: case 4: case 27: case 28: case 70: case 71: case 72: case 125: case 126: case 129: case 130:
        case 133:
            return 4;
        default:
            return 2;
    }
}

const char16_t* LIpPrivClass(uint32_t address) {
    unsigned first = reinterpret_cast<const uint8_t*>(&address)[0];
    if (first >= 1 && first <= 126) return u"A";
    if (first >= 128 && first <= 191) return u"B";
    if (first >= 192 && first <= 223) return u"C";
    return u"";
}

void LAppendOsClass(LString& out) {
    char host[256] = {0};
    uint32_t address = 0;
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) LNetPickHostAddress(address, host);
    out.AppendFormat(u"&osclass=%d&ipprivclass=%s", LOsClassFromProductType(LGetWindowsProductType()),
                     LIpPrivClass(address));
}

void LAppendRefData(LString& out) {
    char16_t value[260] = {0};
    Software(u"RefData", value);
    if (value[0]) out.AppendFormat(u"&refdata=%U", value);
}

void LAppendInstallerSVar(LString& out) {
    char16_t value[260] = {0};
    Software(u"InstallerSVar", value);
    if (value[0]) out.AppendFormat(u"&instsvar=%U", value);
}

void LGetHelpPageUrl(LString& out, const char16_t* topic) {
    LString host = LFromUtf8(LGetMakerHelpHost());
    out.AppendFormat(u"http://%s/help/en/%s/win%s/%U.html", host.c_str(), u"porlinex", u"", topic ? topic : u"");
    LAppendCommonQuery(out);
    LAppendUsageSample(out);
    int days = 0;
    if (!LGetDaysSinceInstall(days)) days = 0;
    LAppendDaysAndRuns(out, days);
}

void LOpenHelpPage(const char16_t* topic) {
    LRegUserSettingsSet(u"Software", u"HelpOpens", LFromUtf8(std::to_string(HelpOpens() + 1)).c_str());
    LString url;
    LGetHelpPageUrl(url, topic);
    if (!url.IsEmpty()) LShellOpen(url.c_str());
}

void LOpenNewsletterPage() {
    char16_t server[260] = {0}, address[260] = {0};
    bool found = LDefaultMailAccountFind(server, address) && address[0];
    LString url;
    url.Format(u"https://%s/software/newsletter.html?software=Porlinex&appname=%s&version=2.01%s%U",
               LFromUtf8(LGetMakerWebHost()).c_str(), u"Porlinex", found ? u"&email=" : u"", found ? address : u"");
    LAppendRefData(url);
    LShellOpen(url.c_str());
}
