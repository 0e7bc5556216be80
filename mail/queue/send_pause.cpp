// An account whose server refused its sign-in sends nothing more until its
// settings change: providers lock an account after repeated failed
// sign-ins, and trying every row on its own back-off would do just that.
// The pause keeps a digest of the address, server and password it failed
// with (never the password itself); any change of them lifts it.
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/sha256.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/queue/send_rows.h"
#include "web/http/activity_log.h"

namespace {

LString SettingsDigest(const LEmailSendAccount& account) {
    std::string text = LToUtf8(account.email) + "\n" + LToUtf8(account.outgoing) + "\n" + LToUtf8(account.password);
    LSha256 sha;
    LSha256Init(sha);
    sha.Update(text.data(), static_cast<uint32_t>(text.size()));
    uint32_t words[8] = {0};
    sha.Final(words, sizeof words);
    char hex[65] = {0};
    for (int i = 0; i < 8; ++i) std::snprintf(hex + i * 8, 9, "%08x", words[i]);
    return LFromUtf8(hex);
}

}  // namespace

bool LSendQueuePauseAccount(LAppDatabaseAccount& db, const LEmailSendAccount& account, const LString& reason) {
    LString digest = SettingsDigest(account);
    bool ok = db.ExecF(u"INSERT OR REPLACE INTO %s.EMAIL_SEND_PAUSES (ACCOUNT_ID, SETTINGS_DIGEST, REASON, "
                       u"SINCE_UTC) VALUES ('%Q', '%Q', '%Q', %lld);",
                       u"main", account.id, digest, reason, static_cast<long long>(LNow()));
    LActivityLogError(u"Sending from account %s is paused until its password is changed: %s", account.id, reason);
    return ok;
}

void LSendQueueResumeChanged(LAppDatabaseAccount& db) {
    struct Pause {
        char16_t account[260] = {0};
        LString digest;
    };
    std::vector<Pause> pauses;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ACCOUNT_ID, SETTINGS_DIGEST FROM %s.EMAIL_SEND_PAUSES;", u"main");
        for (; c.HasRow(); c.Step()) {
            pauses.emplace_back();
            c.GetColumnText(0, u"", pauses.back().account);
            c.GetColumnString(1, pauses.back().digest);
        }
    }
    for (const Pause& p : pauses) {
        LEmailSendAccount account;
        bool live = LSendQueueAccountIsLive(db, p.account) && LEmailSendGetAccount(db, p.account, account);
        if (live && SettingsDigest(account).View() == p.digest.View()) continue;
        if (!db.ExecF(u"DELETE FROM %s.EMAIL_SEND_PAUSES WHERE ACCOUNT_ID='%Q';", u"main", p.account)) continue;
        if (live) LActivityLogEmail(u"Sending from account %s resumes: its settings were changed", p.account);
    }
}

bool LSendQueueHasPauses(LAppDatabaseAccount& db) {
    int32_t n = 0;
    return db.QueryInt(LString(u"SELECT COUNT(*) FROM main.EMAIL_SEND_PAUSES;").c_str(), &n) && n > 0;
}
