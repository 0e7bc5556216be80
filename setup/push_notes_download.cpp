// The weekly download of the maker's notes file into the user's data folder.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "net/http/http_client.h"
#include "platform/file.h"
#include "setup/maker_hosts.h"
#include "setup/push_notifications.h"

namespace {

constexpr time_t kPollEvery = 604800;  // 7 days

bool Exists(const std::string& path) {
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(path.c_str(), &info, true) && info.exists && !info.is_folder;
}

}  // namespace

bool LDownloadPushNotifications(LTaskProgress& progress, std::string& path) {
    char16_t folder[260];
    if (!LCreateUserDataFolder(folder)) return false;
    path = LToUtf8(folder) + "/notifications-en.txt";
    char16_t polled[260];
    LRegUserSettingsGet(u"PushNotifications", u"Polled", u"", polled);
    long long last = std::atoll(LToUtf8(polled).c_str());
    time_t now = LNow();
    // A time after now (the clock was once set ahead) would hold off every
    // download until that day: it counts as an old attempt.
    if (last > 0 && last <= now && !(last + kPollEvery < now)) return Exists(path);

    // A name nobody can guess or take first, in the target's own folder, so
    // the rename below is atomic and never follows someone else's link.
    std::string temp = LToUtf8(folder) + "/.notifications.XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    close(fd);
    std::string url = "http://" + LGetMakerDownloadHost() + "/components/notifications/porlinex.txt";
    LNetOpResult result = LNetFailed;
    LHttpDownloadToFile(result, progress, url.c_str(), LFromUtf8(temp).c_str());
    // A failed attempt counts too: it is retried only after seven days.
    if (result != LNetStopped)
        LRegUserSettingsSet(u"PushNotifications", u"Polled", LFromUtf8(std::to_string((long long)now)).c_str());
    if (result == LNetDone && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    unlink(temp.c_str());
    return false;
}
