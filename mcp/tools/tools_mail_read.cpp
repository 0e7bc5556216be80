// get_mail, get_mail_batch, get_mail_headers, get_mail_attachments, and the
// row writer they share with the thread and listing tools.
#include "foundation/data_folder.h"
#include "foundation/utf8.h"
#include "mcp/tools/mail_rows.h"
#include "mcp/tools/send_status.h"
#include "mcp/tools/tools.h"

namespace {

constexpr const char16_t* kMessageQuery =
    u"SELECT %s FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;";

}  // namespace

void LMcpWriteMailRow(LJsonWriter& answer, LAppDatabaseCursor& c, const LMcpBodyOptions& options) {
    static constexpr const char* kTexts[] = {"id", "account_id", "mailbox_id", "subject", "from", "to", "cc", "reply_to"};
    for (uint64_t i = 0; i < 8; ++i) LMcpWriteColumn(answer, kTexts[i], c, i);
    LMcpWriteColumnInt64(answer, "sent_utc", c, 8);
    LMcpWriteColumnInt64(answer, "received_utc", c, 9);
    LMcpWriteColumn(answer, "flags", c, 10);
    LString text, html;
    c.GetColumnString(11, text);
    c.GetColumnString(12, html);
    LMcpWriteBody(answer, text, html, options);
}

std::string LMcpAttachmentStoreFolder() {
    char16_t folder[260];
    if (!LCreateUserDataFolder(folder)) return {};
    return LToUtf8(folder) + "/CachedAttachments";
}

bool LMcpOpenStoredAttachment(const std::string& storage_path, LPlatformFd* file) {
    std::string root = LMcpAttachmentStoreFolder();
    if (root.empty() || storage_path.size() <= root.size() + 1 || storage_path.compare(0, root.size(), root) != 0 ||
        storage_path[root.size()] != '/')
        return false;
    return LPlatformOpenRegularFileBeneath(root, storage_path.substr(root.size() + 1), file);
}

void LMcpToolGetMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t id[260];
    if (!LMcpGetTextArg(args, "email_id", id) || !id[0]) {
        LMcpWriteToolError(answer, u"get_mail requires email_id.");
        return;
    }
    LMcpBodyOptions options;
    if (!LMcpGetBodyOptions(args, true, &options)) {
        LMcpWriteToolError(answer,
                           u"get_mail requires body_format text, html, or both and max_body_chars between 1 and 16777216.");
        return;
    }
    LAppDatabaseCursor c;
    c.QueryF(db, kMessageQuery, LMcpMailRowColumns, u"main", id);
    if (!c.HasRow()) {
        LMcpWriteToolError(answer, u"Stored email was not found.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("email");
    LMcpWriteMailRow(json, c, options);
    json.EndObject();
    LString failure;
    LMcpWriteDelivery(json, db, id, failure);
    json.EndObject();
    LString subject;
    c.GetColumnString(3, subject);
    LString summary;
    summary.Format(u"Loaded email %s: %s", id, subject);
    if (!failure.IsEmpty()) summary.AppendFormat(u" (not delivered: %s)", failure);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolGetMailBatch(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    const LJsonValue* ids = args.kind == LJsonObject ? args.FindMember("email_ids") : nullptr;
    if (!ids || ids->kind != LJsonArray || ids->count < 1 || ids->count > 50) {
        LMcpWriteToolError(answer, u"get_mail_batch requires between 1 and 50 email_ids.");
        return;
    }
    LMcpBodyOptions options;
    if (!LMcpGetBodyOptions(args, true, &options)) {
        LMcpWriteToolError(answer, u"get_mail_batch requires body_format text, html, or both and max_body_chars "
                                   u"between 1 and 16777216.");
        return;
    }
    char16_t wanted[50][260];
    for (size_t i = 0; i < ids->count; ++i) {
        const LJsonValue& e = ids->elements[i];
        wanted[i][0] = 0;
        if (e.IsString()) {
            LString wide;
            wide.SetUtf8N(e.text.c_str(), e.text.length);
            if (wide.length <= 259) LCopyField(wanted[i], wide.c_str());
        }
        LMcpTrimSpaces(wanted[i]);
        if (!wanted[i][0]) {
            LMcpWriteToolError(answer, u"get_mail_batch email_ids must contain non-empty strings.");
            return;
        }
    }
    LStringA text, missing;
    LJsonWriter json(text), missing_json(missing);
    json.BeginObject();
    json.BeginArrayNamed("emails");
    int32_t found = 0;
    for (size_t i = 0; i < ids->count; ++i) {
        LAppDatabaseCursor c;
        c.QueryF(db, kMessageQuery, LMcpMailRowColumns, u"main", wanted[i]);
        if (!c.HasRow()) {
            missing_json.String(nullptr, wanted[i]);
            continue;
        }
        json.BeginObject();
        LMcpWriteMailRow(json, c, options);
        json.EndObject();
        ++found;
    }
    json.EndArray();
    json.BeginArrayNamed("not_found_ids");
    json.out_raw->AppendBulk(missing.c_str(), missing.length);
    json.out_raw->Terminate();
    json.EndArray();
    json.Int("requested_count", static_cast<int32_t>(ids->count));
    json.Int("found_count", found);
    json.EndObject();
    LString summary;
    summary.Format(u"Loaded %d of %d requested email(s).", found, static_cast<int32_t>(ids->count));
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolGetMailHeaders(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t id[260];
    if (!LMcpGetTextArg(args, "email_id", id) || !id[0]) {
        LMcpWriteToolError(answer, u"get_mail_headers requires email_id.");
        return;
    }
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, b.IMAP_NAME, m.SUBJECT, m.MESSAGE_ID, m.THREAD_ID, "
             u"m.IN_REPLY_TO, m.REFERENCES_TEXT, m.FROM_TEXT, m.TO_TEXT, m.CC_TEXT, m.BCC_TEXT, m.REPLY_TO_TEXT, "
             u"SENT_UTC, RECEIVED_UTC, m.FLAGS, HAS_ATTACHMENTS, SIZE_BYTES, INTERNAL_DATE_UTC FROM %s.EMAIL_MESSAGES m "
             u"LEFT JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE m.ID='%Q' AND m.IS_DELETED=0 LIMIT 1;",
             u"main", u"main", id);
    if (!c.HasRow()) {
        LMcpWriteToolError(answer, u"Stored email was not found.");
        return;
    }
    static constexpr const char* kTexts[] = {"account_id", "mailbox_id", "mailbox_name", "subject", "message_id",
                                             "thread_id",  "in_reply_to", "references", "from", "to",
                                             "cc",         "bcc",        "reply_to"};
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("headers");
    json.String("email_id", id);
    for (uint64_t i = 0; i < 13; ++i) LMcpWriteColumn(json, kTexts[i], c, i + 1);
    LMcpWriteColumnInt64(json, "sent_utc", c, 14);
    LMcpWriteColumnInt64(json, "received_utc", c, 15);
    LMcpWriteColumn(json, "flags", c, 16);
    json.Bool("has_attachments", c.GetColumnInt64(17) != 0);
    LMcpWriteColumnInt64(json, "size_bytes", c, 18);
    LMcpWriteColumnInt64(json, "internal_date_utc", c, 19);
    json.Bool("raw_headers_available", false);
    json.StringUTF8("header_source", "imported_fields");
    json.EndObject();
    json.StringUTF8("raw_headers_note", "Raw RFC822 headers are not stored in the local mirror.");
    json.EndObject();
    LString subject, summary;
    c.GetColumnString(4, subject);
    summary.Format(u"Loaded stored headers for email %s: %s", id, subject);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolGetMailAttachments(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t id[260];
    if (!LMcpGetTextArg(args, "email_id", id) || !id[0]) {
        LMcpWriteToolError(answer, u"get_mail_attachments requires email_id.");
        return;
    }
    LAppDatabaseCursor m;
    m.QueryF(db,
             u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, b.IMAP_NAME, m.SUBJECT, m.HAS_ATTACHMENTS FROM "
             u"%s.EMAIL_MESSAGES m LEFT JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE m.ID='%Q' AND "
             u"m.IS_DELETED=0 LIMIT 1;",
             u"main", u"main", id);
    if (!m.HasRow()) {
        LMcpWriteToolError(answer, u"Stored email was not found.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("attachments");
    json.String("email_id", id);
    LMcpWriteColumn(json, "account_id", m, 1);
    LMcpWriteColumn(json, "mailbox_id", m, 2);
    LMcpWriteColumn(json, "mailbox_name", m, 3);
    LMcpWriteColumn(json, "subject", m, 4);
    json.Bool("message_has_attachments", m.GetColumnInt64(5) != 0);
    json.BeginArrayNamed("items");
    int32_t count = 0;
    LAppDatabaseCursor a;
    for (a.QueryF(db,
                  u"SELECT ID, PART_ID, FILENAME, CONTENT_TYPE, CONTENT_ID, SIZE_BYTES, STORAGE_PATH, IS_INLINE FROM "
                  u"%s.EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID='%Q' ORDER BY IS_INLINE ASC, COALESCE(PART_ID, ''), ID;",
                  u"main", id);
         a.HasRow(); a.Step()) {
        json.BeginObject();
        LMcpWriteColumn(json, "attachment_id", a, 0);
        LMcpWriteColumn(json, "part_id", a, 1);
        LMcpWriteColumn(json, "filename", a, 2);
        LMcpWriteColumn(json, "content_type", a, 3);
        LMcpWriteColumn(json, "content_id", a, 4);
        LMcpWriteColumnInt64(json, "size_bytes", a, 5);
        json.Bool("is_inline", a.GetColumnInt64(7) != 0);
        LStringA path;
        a.GetColumnTextA(6, path);
        LPlatformFd file;
        json.Bool("stored_content_available", !path.IsEmpty() && LMcpOpenStoredAttachment(path.Str(), &file));
        json.EndObject();
        ++count;
    }
    json.EndArray();
    json.Int("attachment_count", count);
    json.EndObject();
    json.EndObject();
    LString subject, summary;
    m.GetColumnString(4, subject);
    summary.Format(u"Loaded %d attachment(s) for email %s: %s", count, id, subject);
    LMcpWriteToolResult(answer, summary, text);
}
