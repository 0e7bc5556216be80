#include "setup/version_check.h"

#include <charconv>
#include <cstring>
#include <string>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "net/http/http_client.h"
#include "setup/maker_hosts.h"

namespace {

constexpr uint32_t kVersionTimeoutMs = 17048;

// The value after key, searched from *from; moves *from past the value.
bool ValueAfter(const char*& from, const char* key, std::string& value) {
    const char* at = std::strstr(from, key);
    if (!at) return false;
    at += std::strlen(key);
    const char* end = std::strchr(at, '&');
    if (!end) end = at + std::strlen(at);
    if (end == at) return false;
    value.assign(at, size_t(end - at) > 259 ? 259 : size_t(end - at));
    from = end;
    return true;
}

void CopyWide(const std::string& utf8, char16_t out[260]) {
    LString w = LFromUtf8(utf8);
    size_t n = w.length > 259 ? 259 : w.length;
    std::memcpy(out, w.c_str(), n * sizeof(char16_t));
    out[n] = 0;
}

}  // namespace

int LParseVersionInfo(const char* text, LVersionInfo& out) {
    out = LVersionInfo{};
    const char* p = text;
    std::string version, info, download;
    if (!ValueAfter(p, "version=", version)) return 2;
    // from_chars ignores the locale: "2.05" is never read as 2 under a
    // locale whose decimal mark is a comma.
    double v = 0;
    std::from_chars(version.data(), version.data() + version.size(), v);
    if (!ValueAfter(p, "info=", info) || !ValueAfter(p, "download=", download)) return 2;
    out.version = v;
    CopyWide(info, out.info);
    CopyWide(download, out.download);
    return 0;
}

int LFetchVersionInfo(LTaskProgress& progress, LVersionInfo& out) {
    progress.SetStatusText(u"Checking for updated version...", 0);
    progress.SetStatusText(u"This should be quick. Please wait a moment...", 1);
    progress.SetProgress(0);
    if (progress.IsStopRequested()) return 1;
    std::string url = "http://" + LGetMakerDownloadHost() + "/versions/porlinex.txt";
    char buffer[2048] = {0};
    LNetOpResult r = LNetFailed;
    if (LHttpGetToBuffer(r, progress, url.c_str(), buffer, sizeof buffer, kVersionTimeoutMs) != LNetDone)
        return int(r);
    buffer[sizeof buffer - 1] = 0;
    if (int parsed = LParseVersionInfo(buffer, out); parsed != 0) return parsed;
    progress.SetProgress(1);
    return 0;
}

int LGetNewerVersionWith(const std::function<int(LVersionInfo&)>& fetch, double& version) {
    char16_t stored[260] = {0};
    LRegUserSettingsGet(u"Settings", u"NewerVersion", u"", stored);
    int n = 0;
    std::string text = LToUtf8(stored);
    std::from_chars(text.data(), text.data() + text.size(), n);
    if (n != 0 && n / 100.0 > LProgramVersion) {
        version = n / 100.0;
        return 0;
    }
    LVersionInfo info;
    if (int r = fetch(info); r != 0) return r;
    // Stored as hundredths, cut toward zero; the small nudge keeps 2.05
    // (204.999... in binary) from being stored as 204, and a hostile value
    // is clamped so the conversion stays defined.
    double hundredths = info.version * 100 + 1e-6;
    if (!(hundredths > -1e9 && hundredths < 1e9)) hundredths = 0;
    LRegUserSettingsSet(u"Settings", u"NewerVersion", LFromUtf8(std::to_string(int(hundredths))).c_str());
    version = info.version;
    return 0;
}

int LGetNewerVersion(LTaskProgress& progress, double& version) {
    return LGetNewerVersionWith([&](LVersionInfo& info) { return LFetchVersionInfo(progress, info); }, version);
}
