#include "web/http/file_miss_clock.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "foundation/format.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "platform/root.h"

namespace {

constexpr int64_t kStoreIntervalSeconds = 60;

struct MissValues {
    std::string hive;  // the settings file the values belong to
    int64_t installed = 0;
    int64_t last_miss = 0;
    int64_t stored_at = 0;  // when last_miss was last written; 0 never
    bool dirty = false;
};

struct MissClock {
    std::mutex lock;
    MissValues v;
};

// Never destroyed: a connection thread may still miss a file at exit.
MissClock& Clock() {
    static MissClock* clock = new MissClock;
    return *clock;
}

int64_t ReadSeconds(const char16_t* name) {
    char16_t text[260];
    LRegSettingsGet(u"Settings", name, u"", text);
    return std::strtoll(LToUtf8(text).c_str(), nullptr, 10);
}

void Store(MissValues& c, int64_t now) {
    char16_t value[260];
    LFormatEscPathW(value, u"%I64d", c.last_miss);
    LRegSettingsSet(u"Settings", u"LastWebletErrorFileNotFound", value);
    c.stored_at = now;
    c.dirty = false;
}

}  // namespace

LWebFileMissTimes LWebRecordFileMiss(int64_t now) {
    std::lock_guard<std::mutex> guard(Clock().lock);
    MissValues& c = Clock().v;
    // Read once per settings file (tests move the root under a process).
    std::string hive = LPlatformKnownFolder(LKnownFolder::MachineHive);
    if (hive != c.hive) {
        c = MissValues{};
        c.hive = hive;
        c.installed = ReadSeconds(u"InstallDateFirst");
        c.last_miss = ReadSeconds(u"LastWebletErrorFileNotFound");
    }
    LWebFileMissTimes times{c.installed, c.last_miss};
    c.last_miss = now;
    c.dirty = true;
    if (c.stored_at == 0 || now - c.stored_at >= kStoreIntervalSeconds) Store(c, now);
    return times;
}

void LWebStoreFileMissTime() {
    std::lock_guard<std::mutex> guard(Clock().lock);
    MissValues& c = Clock().v;
    if (c.dirty && c.hive == LPlatformKnownFolder(LKnownFolder::MachineHive)) Store(c, c.last_miss);
}
