#include "mail/routes/route_guard.h"

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "web/http/weblet.h"

bool LMailRouteAllowed(Weblet& request) {
    if (!request.CheckCSRF()) return false;
    if (!request.session.HasSession()) {
        request.SendJsonText("{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
        return false;
    }
    return true;
}

bool LMailRouteMembersFit(Weblet& request, const LJsonValue& body, const char* const* names, int count) {
    for (int i = 0; i < count; ++i) {
        const LJsonValue* v = body.FindMember(names[i]);
        if (v && v->IsString() && v->text.length > 259) {
            request.SendJsonf("{\"errorcode\":400,\"errormsg\":\"%J is longer than 259 bytes.\"}", names[i]);
            return false;
        }
    }
    return true;
}

void LMailRouteReplyObject(Weblet& request, const LJsonValue& body, LMailRouteObjectWriter write) {
    LAppDatabaseAccount db(true);
    LStringA out;
    LJsonWriter json(out);
    json.BeginObject();
    write(db.handle ? &db : nullptr, body, json);
    json.EndObject();
    request.SendJson(out.c_str(), out.length);
}
