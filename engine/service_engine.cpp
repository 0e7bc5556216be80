#include "engine/service_engine.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/site_files.h"
#include "foundation/data_folder.h"
#include "foundation/database.h"
#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/workers.h"
#include "web/http/activity_log.h"
#include "web/http/session_store.h"
#include "web/server/certificate.h"

namespace {

std::atomic<LDesktopReplyHook> g_reply_hook{nullptr};

constexpr int64_t kSessionCleanInterval = 604800;

bool CreateTables() {
    LAppDatabaseAccount db(false);
    if (!db.TableExists(u"SESSION_DATA")) {
        LLog("LWebletSessionDataDBBased::CreateTable", LLogInfo);
        db.Exec(u"CREATE TABLE main.SESSION_DATA(ID CHAR(40) PRIMARY KEY NOT NULL, USER_EMAIL VARCHAR(260), "
                u"ACCOUNT_NAME VARCHAR(20), LAST_ACTIVE VARCHAR(14));");
    }
    if (!db.TableExistsInSchema(u"main", u"APPSETTINGS")) db.CreateRegisteredTables();
    db.EnsureTable(u"SSL_SETTINGS", LSslSettingsCreateStatement);
    // The first schema that fails ends the chain: no worker may run on a
    // half-made store.
    if (!LEmailAccountsCreateSchema(db)) return false;
    return LEmailStoreCreateSchema(db) == 0 && LRulesCreateSchema(db) == 0 && LAutorespondersCreateSchema(db) == 0;
}

void CleanSessionsWeekly() {
    char16_t v[260];
    LRegSettingsGet(u"Settings", u"LastSessionCleanTime", u"", v);
    int64_t last = std::strtoll(LToUtf8(v).c_str(), nullptr, 10);
    int64_t now = static_cast<int64_t>(time(nullptr));
    if (now - last < kSessionCleanInterval) return;
    LAppDatabaseAccount db(false);
    LWebletSessionDataDBBased::DeleteExpiredSessionData(db);
    char16_t text[260];
    LFormatEscPathW(text, u"%I64d", now);
    LRegSettingsSet(u"Settings", u"LastSessionCleanTime", text);
}

// The interface must match the program serving it: a page of an older
// version would call routes as they were.
void InstallSiteFiles() {
    char16_t web[260];
    if (!LGetDataSubfolder(u"Web", web)) {
        LLog("Web: the data folder's Web folder cannot be made; the interface pages are missing.", LLogError);
        return;
    }
    LWebSiteFilesInstall(LToUtf8(web));
}

}  // namespace

void LServiceEngineSetDesktopReplyHook(LDesktopReplyHook hook) { g_reply_hook = hook; }

void LServiceEngine::Start() {
    LActivityLogWrite("", "Application started");
    workers_started_ = CreateTables();
    if (workers_started_) {
        LSendQueueStart();
        LEmailBackupStart();
        LMailSyncStart();
        LEmailFtsBackfillStart();
    }
    LPlainWait never_cancelled;
    if (LEnsureHttpsCertificate(never_cancelled) && !LRegSettingsExists(u"WebServer", u"SecureEnabled"))
        LRegSettingsSet(u"WebServer", u"SecureEnabled", u"1");
    InstallSiteFiles();
    web_.Start();
    CleanSessionsWeekly();
}

void LServiceEngine::Stop() {
    LActivityLogWrite("", "Application stopped");
    LMailSyncSignalStop();
    LEmailBackupSignalStop();
    LEmailFtsBackfillSignalStop();
    LSendQueueStop();
    LEmailBackupStop();
    web_.StopListeners();
    LWebServerClearCurrent(&web_);
    LEmailFtsBackfillStop();
    if (workers_started_) {
        LMailSyncSignalStop();
        LMailSyncShutdown();
    }
}

uint64_t LServiceEngine::OnCommand(uint32_t type, const void* payload, uint32_t length) {
    switch (type) {
    case 1:
        web_.RestartNonSecure();
        web_.RestartSecure();
        return 0;
    case 2: {
        if (!payload || length != LDesktopReplySize) return 0;
        const auto* p = static_cast<const unsigned char*>(payload);
        uint32_t id, ok;
        std::memcpy(&id, p, 4);
        std::memcpy(&ok, p + 4, 4);
        // Both texts are terminated inside their fields, whatever was sent.
        char first[256], second[8192];
        std::memcpy(first, p + 8, sizeof first);
        std::memcpy(second, p + 8 + sizeof first, sizeof second);
        first[sizeof first - 1] = 0;
        second[sizeof second - 1] = 0;
        if (LDesktopReplyHook hook = g_reply_hook.load()) hook(id, ok != 0, first, second);
        return 0;
    }
    case 0x1000004:
        web_.RestartNonSecure();
        web_.RestartSecure();
        break;
    case 0x1000005:
        web_.RestartNonSecure();
        break;
    case 0x1000006:
        web_.RestartSecure();
        break;
    default:
        break;
    }
    return next_ ? next_->OnCommand(type, payload, length) : 0;
}
