// The routes backupsettings and backupstatus: the three settings of the
// backup in the registry section EmailBackup, and, in the status, what the
// worker recorded there of its rounds. They touch nothing else but the
// worker's wake event.
#include <initializer_list>

#include "foundation/files.h"
#include "foundation/json_value.h"
#include "foundation/reg_settings.h"
#include "mail/backup/email_backup.h"
#include "mail/mail_services.h"
#include "mail/routes/route_guard.h"
#include "platform/file.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

// Weak: the host answers through the desktop; test programs without it get
// "no folder".
__attribute__((weak)) bool LAskDesktopForFolder(char16_t out[260]) {
    out[0] = 0;
    return false;
}

namespace {

int64_t Number(const LJsonValue& body, const char* name) {
    const LJsonValue& v = body.Member(name);
    if (v.kind == LJsonBool) return v.payload.b ? 1 : 0;
    return v.AsInt64();
}

// A member of another type is refused rather than read as 0: "yes" would
// store the backup as off and answer OK.
bool HasKind(const LJsonValue& body, const char* name, std::initializer_list<uint32_t> kinds) {
    const LJsonValue* v = body.FindMember(name);
    if (!v) return true;
    for (uint32_t k : kinds)
        if (v->kind == k) return true;
    return false;
}

void Refuse(Weblet& request, const char* message) {
    request.SendJsonf("{\"errorcode\":400,\"errormsg\":\"%J\"}", message);
}

bool FolderExists(const char16_t* folder) {
    LPlatformFileInfo info;
    // A relative folder would depend on where the service happens to run.
    return folder[0] == u'/' && LPlatformGetFileInfo(LToUtf8(folder).c_str(), &info, true) && info.exists &&
           info.is_folder;
}

void LWebBackupSettings(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    static const char* const kTexts[] = {"folder"};
    if (!LMailRouteMembersFit(request, body, kTexts, 1)) return;
    if (!HasKind(body, "zip_after_months", {LJsonNumber}))
        return Refuse(request, "The archive age must be between 0 and 1200 months.");
    if (!HasKind(body, "enabled", {LJsonNumber, LJsonBool}))
        return Refuse(request, "The backup is turned on with 1 and off with 0.");
    if (!HasKind(body, "folder", {LJsonString})) return Refuse(request, "The backup folder does not exist.");
    int64_t months = Number(body, "zip_after_months");
    if (months < 0 || months > 1200) return Refuse(request, "The archive age must be between 0 and 1200 months.");
    bool enabled = Number(body, "enabled") != 0;
    char16_t folder[260];
    body.GetMemberText("folder", folder);
    if (enabled) {
        if (!folder[0] && !LAskDesktopForFolder(folder))
            return Refuse(request, "Could not find a cloud-synchronised folder. Choose a backup folder manually.");
        if (!FolderExists(folder)) return Refuse(request, "The backup folder does not exist.");
        if (!LIsFolderWritable(folder)) return Refuse(request, "The backup folder is not writable.");
    }
    LString text;
    text.Format(u"%d", enabled ? 1 : 0);
    bool stored = LRegSettingsSet(LEmailBackupSection, u"Enabled", text.c_str()) &&
                  LRegSettingsSet(LEmailBackupSection, u"Folder", folder);
    text.Format(u"%d", static_cast<int>(months));
    stored = stored && LRegSettingsSet(LEmailBackupSection, u"ZipAfterMonths", text.c_str());
    if (!stored) {
        request.SendJsonText("{\"errorcode\":500,\"errormsg\":\"Unable to store the backup settings.\"}");
        return;
    }
    LEmailBackupWake();
    request.SendJsonOk();
}

void LWebBackupStatus(Weblet& request, LJsonValue&) {
    if (!LMailRouteAllowed(request)) return;
    char16_t enabled[260], folder[260], months[260];
    LRegSettingsGet(LEmailBackupSection, u"Enabled", u"0", enabled);
    LRegSettingsGet(LEmailBackupSection, u"Folder", u"", folder);
    LRegSettingsGet(LEmailBackupSection, u"ZipAfterMonths", u"0", months);
    auto number = [](const char16_t* t) {
        long v = std::strtol(LToUtf8(t).c_str(), nullptr, 10);
        return static_cast<int>(v < 0 ? 0 : v > 1200 ? 1200 : v);
    };
    // The worker's record of its rounds; each is 0 or empty before the first.
    char16_t done[260], round[260], files[260], failures[260], error[260];
    LRegSettingsGet(LEmailBackupSection, u"LastDoneUTC", u"0", done);
    LRegSettingsGet(LEmailBackupSection, u"LastRoundUTC", u"0", round);
    LRegSettingsGet(LEmailBackupSection, u"LastRoundFiles", u"0", files);
    LRegSettingsGet(LEmailBackupSection, u"LastRoundFailures", u"0", failures);
    LRegSettingsGet(LEmailBackupSection, u"LastRoundError", u"", error);
    auto count = [](const char16_t* t) {
        long long v = std::strtoll(LToUtf8(t).c_str(), nullptr, 10);
        return static_cast<int64_t>(v < 0 ? 0 : v);
    };
    request.SendJsonf("{\"errorcode\":0,\"enabled\":%d,\"folder\":\"%J\",\"zip_after_months\":%d,"
                      "\"last_done_utc\":\"%I64d\",\"last_round_utc\":\"%I64d\",\"last_round_files\":%I64d,"
                      "\"last_round_failures\":%I64d,\"last_round_error\":\"%J\"}",
                      number(enabled) != 0 ? 1 : 0, folder, number(months), count(done), count(round), count(files),
                      count(failures), error);
}

[[maybe_unused]] const LWebletRoute* g_settings = LWebletRegisterJsonRoute(u"backupsettings", LWebBackupSettings, 1);
[[maybe_unused]] const LWebletRoute* g_status = LWebletRegisterJsonRoute(u"backupstatus", LWebBackupStatus, 1);

}  // namespace
