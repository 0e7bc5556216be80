// The routes of the rules and autoresponders. Each answers 401 to a request
// without a session before anything else, then passes the CSRF check.
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "mail/rules/autoresponder.h"
#include "mail/rules/rules.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

bool Allowed(Weblet& request) {
    if (!request.session.HasSession()) {
        request.SendStatus(401, "Not Authorized");
        return false;
    }
    return request.CheckCSRF();
}

void LWebRulesReload(Weblet& request, LJsonValue&) {
    if (!Allowed(request)) return;
    LAppDatabaseAccount db(false);
    if (!db.handle || LRulesLoad(db) != 0) {
        request.SendJsonText("{\"errorcode\":500,\"errormsg\":\"Unable to reload the mail rules\"}");
        return;
    }
    request.SendJsonOk();
}

void LWebAutoresponderLoad(Weblet& request, LJsonValue&) {
    if (!Allowed(request)) return;
    LAppDatabaseAccount db(true);
    if (!db.handle) {
        request.SendJsonText("{\"ok\":false,\"error\":\"Database unavailable\"}");
        return;
    }
    LStringA out;
    LJsonWriter json(out);
    LAutoresponderWriteListJson(json, db);
    request.SendJson(out.c_str(), out.length);
}

void LWebAutoresponderSave(Weblet& request, LJsonValue& body) {
    if (!Allowed(request)) return;
    LAutoresponderInput input;
    if (!LAutoresponderParseJson(body, input)) {
        request.SendJsonText("{\"ok\":false,\"error\":\"Invalid autoresponder values\"}");
        return;
    }
    LAppDatabaseAccount db(false);
    if (!db.handle) {
        request.SendJsonText("{\"ok\":false,\"error\":\"Database unavailable\"}");
        return;
    }
    std::u16string id;
    if (!LAutoresponderSave(db, input, id)) {
        request.SendJsonText("{\"ok\":false,\"error\":\"Unable to save autoresponder\"}");
        return;
    }
    request.SendJsonf("{\"ok\":true,\"id\":\"%J\"}", id);
}

void LWebAutoresponderDelete(Weblet& request, LJsonValue& body) {
    if (!Allowed(request)) return;
    const LJsonValue* id = body.FindMember("id");
    LString text;
    if (id && id->IsString()) text = LFromUtf8(id->text.View());
    LAppDatabaseAccount db(false);
    if (text.IsEmpty() || text.length > 12 || !db.handle || !LAutoresponderDelete(db, text.c_str())) {
        request.SendJsonText("{\"ok\":false,\"error\":\"Unable to delete autoresponder\"}");
        return;
    }
    request.SendJsonText("{\"ok\":true}");
}

[[maybe_unused]] const LWebletRoute* g_reload = LWebletRegisterJsonRoute(u"rulesreload", LWebRulesReload, 1);
[[maybe_unused]] const LWebletRoute* g_load =
    LWebletRegisterJsonRoute(u"autoresponder-load", LWebAutoresponderLoad, 1);
[[maybe_unused]] const LWebletRoute* g_save =
    LWebletRegisterJsonRoute(u"autoresponder-save", LWebAutoresponderSave, 1);
[[maybe_unused]] const LWebletRoute* g_delete =
    LWebletRegisterJsonRoute(u"autoresponder-delete", LWebAutoresponderDelete, 1);

}  // namespace
