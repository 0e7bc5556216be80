#include "setup/maker_hosts.h"

#include "foundation/reg_settings.h"
#include "net/http/http_client.h"

namespace {

std::string MakerValue(const char16_t* name, const char16_t* fallback) {
    char16_t out[260] = {0};
    LRegSettingsGet(u"Maker", name, fallback, out);
    return out[0] ? LToUtf8(out) : LToUtf8(fallback);
}

}  // namespace

std::string LGetMakerWebHost() { return MakerValue(u"WebHost", u"www.porlinex.invalid"); }
std::string LGetMakerHelpHost() { return MakerValue(u"HelpHost", u"help.porlinex.invalid"); }
std::string LGetMakerDownloadHost() { return MakerValue(u"DownloadHost", u"download.porlinex.invalid"); }
std::string LGetMakerDownloadHostB() { return MakerValue(u"DownloadHostB", u"download2.porlinex.invalid"); }
std::string LGetMakerComponentHost() { return MakerValue(u"ComponentHost", u"components.porlinex.invalid"); }
std::string LGetMakerComponentHostB() { return MakerValue(u"ComponentHostB", u"components2.porlinex.invalid"); }
std::string LGetMakerReportHost() { return MakerValue(u"ReportHost", LFromUtf8(LHttpProblemReportHost).c_str()); }
