#include "mcp/tools/tests/tool_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/json_writer.h"
#include "foundation/utf8.h"
#include "mail/store/mail_ids.h"
#include "mail/store/mail_schema.h"
#include "mcp/jsonrpc_body.h"
#include "mcp/tools/mail_rows.h"
#include "mcp/tools/tool_dispatch.h"

LTestToolStore::LTestToolStore(bool with_index) {
    db.CreateRegisteredTables();
    LEmailAccountsCreateSchema(db);
    LEmailStoreCreateSchema(db);
    if (!with_index) {
        db.Exec(u"DROP TRIGGER main.EMAIL_MESSAGES_FTS_AI; DROP TRIGGER main.EMAIL_MESSAGES_FTS_AD; DROP TRIGGER "
                u"main.EMAIL_MESSAGES_FTS_AU; DROP TABLE main.EMAIL_MESSAGES_FTS; DROP TABLE main.EMAIL_MESSAGES_FTS_STATE;");
    }
    db.ExecF(u"INSERT INTO main.EMAILACCOUNTS (ID, EMAIL) VALUES ('%Q', 'Alice@Example.com'), ('%Q', "
             u"'bob@example.net');",
             LFromUtf8(account_a).c_str(), LFromUtf8(account_b).c_str());
    db.ExecF(u"INSERT INTO main.EMAILACCOUNTS (ID, EMAIL, DELETED) VALUES ('acctgone00', 'gone@example.org', "
             u"'2024-01-01 00:00:00');");
    db.ExecF(u"INSERT INTO main.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS, LAST_SYNC_UTC) VALUES "
             u"('%Q', '%Q', 'INBOX', '', '2024-05-01 10:00:00'), ('%Q', '%Q', 'Archive', '\\Archive', NULL), ('%Q', "
             u"'%Q', 'INBOX', NULL, NULL), ('mboxgone00', '%Q', 'Old', NULL, NULL);",
             LFromUtf8(inbox_a).c_str(), LFromUtf8(account_a).c_str(), LFromUtf8(archive_a).c_str(),
             LFromUtf8(account_a).c_str(), LFromUtf8(inbox_b).c_str(), LFromUtf8(account_b).c_str(),
             LFromUtf8(account_a).c_str());
    db.Exec(u"UPDATE main.EMAILMAILBOXES SET DELETED='2024-01-01 00:00:00' WHERE ID='mboxgone00';");
}

std::string LTestToolStore::CacheFolder() const { return LMcpAttachmentStoreFolder(); }

std::string LTestToolStore::AddMessage(const std::string& account, const std::string& mailbox,
                                       const std::string& subject, const std::string& body_text,
                                       const std::string& body_html, int64_t received, int deleted) {
    char16_t id[LEmailIdLength + 1];
    LEmailNewRowId(db, u"EMAIL_MESSAGES", id);
    db.ExecF(u"INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, MESSAGE_ID, SUBJECT, "
             u"FROM_TEXT, TO_TEXT, CC_TEXT, REPLY_TO_TEXT, SENT_UTC, RECEIVED_UTC, SIZE_BYTES, FLAGS, BODY_TEXT, "
             u"BODY_HTML, BODY_PREVIEW, IS_DELETED) VALUES ('%Q', '%Q', '%Q', %d, 1, '<%Q@example.com>', '%Q', "
             u"'Alice <alice@example.com>', 'Bob <bob@example.net>', '', '', %I64d, %I64d, 100, '\\Seen', '%Q', '%Q', "
             u"'', %d);",
             id, LFromUtf8(account).c_str(), LFromUtf8(mailbox).c_str(), next_uid_++, id, LFromUtf8(subject).c_str(),
             received - 60, received, LFromUtf8(body_text).c_str(), LFromUtf8(body_html).c_str(), deleted);
    return LToUtf8(id);
}

std::string LTestToolStore::AddAttachment(const std::string& message, const std::string& name,
                                          const std::string* content, const std::string& storage_path_override) {
    char16_t id[LEmailIdLength + 1];
    LEmailNewRowId(db, u"EMAIL_MESSAGE_ATTACHMENTS", id);
    std::string path = storage_path_override;
    if (content) {
        std::filesystem::path folder = std::filesystem::path(CacheFolder()) / message;
        std::filesystem::create_directories(folder);
        path = (folder / (LToUtf8(id) + "-" + name)).string();
        std::ofstream(path, std::ios::binary) << *content;
    }
    db.ExecF(u"INSERT INTO main.EMAIL_MESSAGE_ATTACHMENTS (ID, MESSAGE_ID, PART_ID, FILENAME, CONTENT_TYPE, "
             u"CONTENT_ID, SIZE_BYTES, STORAGE_PATH, IS_INLINE) VALUES ('%Q', '%Q', '2', '%Q', 'application/pdf', '', "
             u"%d, '%Q', 0);",
             id, LFromUtf8(message).c_str(), LFromUtf8(name).c_str(), content ? static_cast<int>(content->size()) : 0,
             LFromUtf8(path).c_str());
    return LToUtf8(id);
}

LTestToolAnswer LTestToolStore::Call(const std::string& tool, const std::string& args, LAppDatabaseAccount* on) {
    LMcpRequestBody parsed;
    LTestToolAnswer a;
    if (!LMcpParseRequestBody(args.data(), args.size(), parsed)) {
        ADD_FAILURE() << "arguments are no JSON: " << args;
        return a;
    }
    LStringA text;
    LJsonWriter answer(text);
    answer.BeginObject();
    LMcpDispatchTool(answer, on ? *on : db, tool.c_str(), parsed.value, nullptr);
    answer.EndObject();
    nlohmann::json whole = nlohmann::json::parse(text.Str(), nullptr, false);
    if (whole.is_discarded()) {
        ADD_FAILURE() << "the answer is no JSON: " << text.Str();
        return a;
    }
    a.result = whole.contains("result") ? whole["result"] : whole;
    a.is_error = a.result.value("isError", false);
    if (a.result.contains("content")) a.text = a.result["content"][0]["text"];
    size_t lf = a.text.find('\n');
    a.summary = a.text.substr(0, lf);
    if (lf != std::string::npos) a.structured = nlohmann::json::parse(a.text.substr(lf + 1), nullptr, false);
    return a;
}
