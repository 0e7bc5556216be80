// The settings page's two routes of the access policy: settings/access-read
// and settings/access-save. The policy decides who may read the whole mail
// store, so both answer only a signed-in browser on this machine that asks
// by one of this machine's names (a page of another site, even one whose
// name was made to resolve to 127.0.0.1, is refused).
#include <mutex>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/utf8.h"
#include "web/http/access_policy.h"
#include "web/http/local_host.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

bool Allowed(Weblet& request) {
    std::string host = LToUtf8(request.HeaderText(u"Host"));
    std::string origin = LToUtf8(request.HeaderText(u"Origin"));
    std::string self = (request.connection.IsSecure() ? "https://" : "http://") + host;
    if (!request.IsLoopbackPeer() || !LWebHostNamesThisMachine(request.HeaderText(u"Host")) || (!origin.empty() && origin != self)) {
        request.SendStatus(403, "Forbidden");
        return false;
    }
    if (!request.session.HasSession()) {
        request.SendStatus(401, "Not Authorized");
        return false;
    }
    return true;
}

void Reply(Weblet& request, const char* error) { request.SendJsonf("{\"ok\":false,\"error\":\"%J\"}", error); }

struct StoredPolicy {
    bool present = false;
    bool all_users = true;
    std::string users;
};

StoredPolicy ReadStored(LAppDatabaseAccount& db) {
    StoredPolicy p;
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT ALL_USERS, USERS FROM %s.PORLINEX_ACCESS WHERE ID=1 LIMIT 1;", u"main");
    if (c.HasRow()) {
        p.present = true;
        p.all_users = c.GetColumnInt(0) != 0;
        LStringA users;
        c.GetColumnTextA(1, users);
        p.users.assign(users.View());
    }
    return p;
}

// The folder back under the stored policy after `users` were applied; with
// none stored, only their entries go (nothing else was ever applied).
void Restore(const std::string& folder, const StoredPolicy& stored, const std::string& users) {
    if (stored.present)
        LAccessApplyPolicy(folder, stored.all_users, users, stored.users);
    else
        LAccessApplyPolicy(folder, false, users, std::string());
}

// Two saves at once would each revoke the list the other is granting.
std::mutex& SaveLock() {
    static std::mutex lock;
    return lock;
}

void LWebSettingsAccessSave(Weblet& request, LJsonValue& body) {
    if (!Allowed(request) || !request.CheckCSRF()) return;
    // Only a real boolean decides: a text such as "false" must not be read
    // as anything, least of all as "everyone".
    const LJsonValue* all = body.FindMember("allUsers");
    if (all && all->kind != LJsonBool) return Reply(request, "allUsers must be true or false");
    bool all_users = !all || all->payload.b;
    const LJsonValue* member = body.FindMember("users");
    std::string users;
    if (!LAccessNormalizeUsers(member && member->IsString() ? std::string(member->text.View()) : std::string(), users))
        return Reply(request, "Invalid Windows user name");
    if (!all_users && users.empty()) return Reply(request, "At least one Windows user is required");

    std::lock_guard<std::mutex> serial(SaveLock());
    LAppDatabaseAccount db(false);
    if (!db.handle) return Reply(request, "Database unavailable");
    if (!LAccessTableEnsure(db)) return Reply(request, "Unable to create the Porlinex access table");
    StoredPolicy stored = ReadStored(db);
    std::string folder = LDataFolderPath();
    std::string why;
    if (!LAccessApplyPolicy(folder, all_users, stored.users, users, &why)) {
        // Nothing half done stays.
        if (!why.empty()) Restore(folder, stored, users);
        std::string text = "Unable to apply the Porlinex shared-folder ACL";
        if (!why.empty()) text += ": " + why;
        return Reply(request, text.c_str());
    }
    LString sql;
    sql.Format(u"INSERT OR REPLACE INTO %s.PORLINEX_ACCESS (ID, ALL_USERS, USERS) VALUES (1, %d, '%Q');", u"main",
               all_users ? 1 : 0, LFromUtf8(users).c_str());
    if (!db.Exec(sql.c_str())) {
        // The folder must not stay under a policy the table does not know.
        Restore(folder, stored, users);
        return Reply(request, "Unable to save the Porlinex access policy");
    }
    request.SendJsonText("{\"ok\":true}");
}

void LWebSettingsAccessRead(Weblet& request, LJsonValue&) {
    if (!Allowed(request)) return;
    LAppDatabaseAccount db(false);
    if (!LAccessTableEnsure(db))
        return Reply(request, "You do not have access to the database, please ask your admin to provide this");
    StoredPolicy stored = ReadStored(db);
    if (stored.users.empty()) stored.users = LComputerUserName();
    LStringA out;
    LJsonWriter json(out);
    json.BeginObject();
    json.Bool("ok", true);
    json.Bool("allUsers", stored.all_users);
    json.StringUTF8("users", stored.users.c_str());
    json.EndObject();
    request.SendJson(out.c_str(), out.length);
}

[[maybe_unused]] const LWebletRoute* g_save = LWebletRegisterJsonRoute(u"settings/access-save", LWebSettingsAccessSave, 1);
[[maybe_unused]] const LWebletRoute* g_read = LWebletRegisterJsonRoute(u"settings/access-read", LWebSettingsAccessRead, 1);

}  // namespace
