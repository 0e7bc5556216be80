// The route emailget: one stored message as JSON for the reading pane.
#include "mail/routes/email_get.h"

#include "foundation/json_value.h"
#include "mail/routes/route_guard.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

void Error(LJsonWriter& json, int code, const char* key) {
    json.Int("errorcode", code);
    json.StringUTF8("errormsg", key);
    json.StringUTF8("error_key", key);
}

void LWebEmailGet(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    LMailRouteReplyObject(request, body, [](LAppDatabaseAccount* db, const LJsonValue& b, LJsonWriter& json) {
        char16_t id[260];
        b.GetMemberText("email_id", id);
        LEmailGetJson(db, id, json);
    });
}

// The attachments a reader saves, in the order of the message's parts;
// inline pictures belong to the HTML body and are left out. A message built
// to hold thousands of parts must not make the answer unbounded.
void WriteAttachments(LAppDatabaseAccount& db, const char16_t* email_id, LJsonWriter& json) {
    json.BeginArrayNamed("attachments");
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT COALESCE(FILENAME, ''), COALESCE(CONTENT_TYPE, ''), SIZE_BYTES FROM %s.EMAIL_MESSAGE_ATTACHMENTS "
             u"WHERE MESSAGE_ID='%Q' AND IS_INLINE=0 ORDER BY CAST(COALESCE(PART_ID, '') AS INTEGER), ID LIMIT 500;",
             u"main", email_id);
    LString text;
    for (; c.HasRow(); c.Step()) {
        json.BeginObject();
        c.GetColumnString(0, text);
        json.String("file_name", text.c_str());
        c.GetColumnString(1, text);
        json.String("content_type", text.length ? text.c_str() : u"application/octet-stream");
        json.Int64("size", c.GetColumnInt64(2));
        json.EndObject();
    }
    json.EndArray();
}

[[maybe_unused]] const LWebletRoute* g_route = LWebletRegisterJsonRoute(u"emailget", LWebEmailGet, 1);

}  // namespace

void LEmailGetJson(LAppDatabaseAccount* db, const char16_t* email_id, LJsonWriter& json) {
    if (!email_id || !email_id[0]) return Error(json, 400, "EMAILGET_EMAIL_ID_REQUIRED");
    LAppDatabaseCursor c;
    if (db)
        c.QueryF(*db,
                 u"SELECT m.ID, m.ACCOUNT_ID, COALESCE(ac.EMAIL, ''), m.MAILBOX_ID, COALESCE(b.IMAP_NAME, ''), "
                 u"m.SUBJECT, m.FROM_TEXT, m.TO_TEXT, m.CC_TEXT, m.REPLY_TO_TEXT, m.SENT_UTC, m.RECEIVED_UTC, "
                 u"m.FLAGS, m.BODY_TEXT, m.BODY_HTML, m.HAS_ATTACHMENTS FROM %s.EMAIL_MESSAGES m LEFT JOIN "
                 u"%s.EMAILACCOUNTS ac ON ac.ID=m.ACCOUNT_ID LEFT JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                 u"WHERE m.ID='%Q' AND m.IS_DELETED=0 LIMIT 1;",
                 u"main", u"main", u"main", email_id);
    if (!c.HasRow()) return Error(json, 404, "EMAILGET_NOT_FOUND");
    json.Int("errorcode", 0);
    json.StringUTF8("errormsg", "OK");
    json.BeginObjectNamed("email");
    static const char* const kTexts[] = {"id",      "account_id", "account_email", "mailbox_id", "mailbox_name",
                                         "subject", "from",       "to",            "cc",         "reply_to"};
    LString text;
    for (uint64_t i = 0; i < 10; ++i) {
        c.GetColumnString(i, text);
        json.String(kTexts[i], text.c_str());
    }
    json.Int64("sent_utc", c.GetColumnInt64(10));
    json.Int64("received_utc", c.GetColumnInt64(11));
    static const char* const kBodies[] = {"flags", "body_text", "body_html"};
    for (uint64_t i = 0; i < 3; ++i) {
        c.GetColumnString(12 + i, text);
        json.String(kBodies[i], text.c_str());
    }
    json.Bool("has_attachments", c.GetColumnInt(15) != 0);
    WriteAttachments(*db, email_id, json);
    json.EndObject();
}
