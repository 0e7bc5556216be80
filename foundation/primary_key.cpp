#include "foundation/primary_key.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "foundation/database.h"
#include "foundation/log.h"
#include "foundation/time_source.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "platform/secure_random.h"

namespace {

// Counter values are 1513728000 (Dec 2017) based seconds x 800 on a fresh
// install: room for 800 keys a second before a restart could catch up.
constexpr int64_t kKeyEpoch = 1513728000;

uint16_t g_server = 0;
char16_t g_server_digits[2] = {u'0', u'0'};
uint64_t g_counter = 0;
std::mutex g_key_lock;

char16_t Base36(uint64_t v) { return v < 10 ? static_cast<char16_t>(u'0' + v) : static_cast<char16_t>(u'a' + v - 10); }

// A uniform value below `bound`: bytes at or above the largest multiple of
// the bound are drawn again.
bool RandomBelow(uint32_t bound, uint32_t* out) {
    const uint32_t limit = 256 - 256 % bound;
    for (;;) {
        unsigned char b;
        if (!LPlatformRandomBytes(&b, 1)) return false;
        if (b < limit) {
            *out = b % bound;
            return true;
        }
    }
}

uint64_t ParseU64Saturating(const char16_t* text) {
    uint64_t v = 0;
    for (const char16_t* p = text; *p >= u'0' && *p <= u'9'; ++p) {
        if (v > (UINT64_MAX - 9) / 10) return UINT64_MAX;
        v = v * 10 + (*p - u'0');
    }
    return v;
}

void EnsureServerNumber() {
    if (g_server != 0) return;
    char16_t text[260];
    LRegSettingsGet(u"Settings", u"SQLPrimaryKeyServerID", u"", text);
    uint16_t server = static_cast<uint16_t>(std::strtol(LToUtf8(text).c_str(), nullptr, 10));
    if (server == 0) {
        uint32_t r = 0;
        RandomBelow(255, &r);
        server = static_cast<uint16_t>(r + 1);
        char16_t value[260];
        LFormatEscPathW(value, u"%d", static_cast<int>(server));
        LRegSettingsSet(u"Settings", u"SQLPrimaryKeyServerID", value);
    } else if (server <= 255) {
        char line[260];
        LFormatEscPathA(line, "%s%d", "LAppDatabaseAccount::SQLCreatePrimaryKey unique server ID is: ",
                        static_cast<int>(server));
        LLog(line, LLogInfo);
    } else {
        LLog("LAppDatabaseAccount::SQLCreatePrimaryKey server unique ID must not > 255", LLogError);
    }
    g_server_digits[0] = Base36((server / 36) % 36);
    g_server_digits[1] = Base36(server % 36);
    g_server = server;
}

}  // namespace

void LPrimaryKeyFormat(uint64_t counter, uint16_t server, char16_t out[11]) {
    for (int i = 0; i < 8; ++i) {
        out[i] = Base36(counter % 36);
        counter /= 36;
    }
    out[8] = Base36((server / 36) % 36);
    out[9] = Base36(server % 36);
    out[10] = 0;
}

bool LRandomLettersSecure(char16_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t r;
        if (!RandomBelow(26, &r)) {
            out[0] = 0;
            return false;
        }
        out[i] = static_cast<char16_t>(u'a' + r);
    }
    out[n] = 0;
    return true;
}

void LPrimaryKeyResetProcessState() {
    std::lock_guard<std::mutex> lock(g_key_lock);
    g_server = 0;
    g_counter = 0;
}

void LAppDatabaseAccount::SQLCreatePrimaryKey(char16_t out[11]) {
    EnsureServerNumber();
    bool first = false, reset = false;
    uint64_t key = 0, next = 0;
    {
        std::lock_guard<std::mutex> lock(g_key_lock);
        if (g_counter == 0) {
            first = true;
            char16_t text[260];
            LRegSettingsGet(u"Settings", u"SQLPrimaryKeyID", u"", text);
            g_counter = ParseU64Saturating(text);
            if (g_counter == 0) {
                g_counter = static_cast<uint64_t>(static_cast<int64_t>(LNow()) - kKeyEpoch) * 800;
                reset = true;
            }
            g_counter += 256;
        }
        key = g_counter;
        g_counter = key + 1 == 0 ? 1 : key + 1;
        next = g_counter;
    }
    if (reset) LLog("LAppDatabaseAccount::SQLCreatePrimaryKey reset starting ID - must be a new install", LLogInfo);
    if (first || next % 64 == 0) {
        char16_t value[260];
        LFormatEscPathW(value, u"%I64d", static_cast<int64_t>(next));
        LRegSettingsSet(u"Settings", u"SQLPrimaryKeyID", value);
    }
    LPrimaryKeyFormat(key, g_server, out);
}

void LAppDatabaseAccount::CreateSessionID(LAppDatabaseAccount& db, char16_t out[19]) {
    for (;;) {
        SQLCreatePrimaryKey(out);
        if (!LRandomLettersSecure(out + 10, 8)) {
            out[0] = 0;
            return;
        }
        LAppDatabaseCursor cursor;
        cursor.QueryF(db, u"SELECT %s FROM %s.%s WHERE %s = '%Q';", u"ID", u"main", u"SESSION_DATA", u"ID", out);
        if (!cursor.HasRow()) return;
    }
}
