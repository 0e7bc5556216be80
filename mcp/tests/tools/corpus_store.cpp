// corpus_store MAILDIR [ACCOUNT_EMAIL]: fills the store of the current
// PORLINEX_ROOT with one account whose mailboxes hold the messages of a
// Maildir++ tree (cur/ is INBOX, .Name/cur/ is Name), each parsed by the
// MIME parser into EMAIL_MESSAGES with its attachment rows and cached
// attachment files. It stands in for a first mirror of the same mail by the
// sync engine. Prints the number of messages stored.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "foundation/utf8.h"
#include "mail/store/mail_ids.h"
#include "mail/store/mail_schema.h"
#include "mail/store/store_transaction.h"
#include "mcp/tools/mail_rows.h"
#include "mcp/tools/search_engine.h"
#include "net/mime/mime_message.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A cache file name: no "/", no leading ".", at most 200 bytes.
std::string CacheName(const std::u16string_view name) {
    std::string n = LToUtf8(std::u16string(name).c_str());
    std::replace(n.begin(), n.end(), '/', '_');
    if (n.empty() || n[0] == '.') n = "_" + n;
    if (n.size() > 200) n.resize(200);
    return n;
}

bool StoreMessage(LAppDatabaseAccount& db, const std::string& account, const std::string& mailbox, int64_t uid,
                  const std::string& bytes, const std::string& cache_root) {
    EMLMimeMessage m;
    m.Parse(bytes);
    char16_t id[LEmailIdLength + 1];
    if (!LEmailNewRowId(db, u"EMAIL_MESSAGES", id)) return false;
    LString subject, from, to, cc, reply_to, message_id, date;
    m.GetHeader(u"subject", subject);
    m.GetHeader(u"from", from);
    m.GetHeader(u"to", to);
    m.GetHeader(u"cc", cc);
    m.GetHeader(u"reply-to", reply_to);
    m.GetHeader(u"message-id", message_id);
    m.GetHeader(u"date", date);
    int64_t sent = static_cast<int64_t>(LEmailParseDate(date.View()));
    char16_t preview[260];
    LEmailMakePreviewText(m.text, m.html, preview, 260);
    int has_attachments = 0;
    for (EMLMimeAttachment* a = m.attachments; a; a = a->next)
        if (!a->contentId[0]) has_attachments = 1;
    LString sql;
    sql.Format(u"INSERT INTO %s.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, MESSAGE_ID, SUBJECT, "
               u"FROM_TEXT, TO_TEXT, CC_TEXT, REPLY_TO_TEXT, SENT_UTC, RECEIVED_UTC, SIZE_BYTES, INTERNAL_DATE_UTC, "
               u"BODY_TEXT, BODY_HTML, BODY_PREVIEW, HAS_ATTACHMENTS, IS_DELETED, LAST_SEEN_UTC) VALUES ('%Q', '%Q', "
               u"'%Q', %I64d, 1, '%Q', '%Q', '%Q', '%Q', '%Q', '%Q', %I64d, %I64d, %I64d, %I64d, '%Q', '%Q', '%Q', %d, 0, "
               u"%I64d);",
               u"main", id, account, mailbox, uid, message_id, subject, from, to, cc, reply_to, sent, sent,
               static_cast<int64_t>(bytes.size()), sent, m.text, m.html, preview, has_attachments, sent);
    if (!db.Exec(sql.c_str())) return false;
    int part = 0;
    for (EMLMimeAttachment* a = m.attachments; a; a = a->next) {
        char16_t attachment[LEmailIdLength + 1];
        if (!LEmailNewRowId(db, u"EMAIL_MESSAGE_ATTACHMENTS", attachment)) return false;
        fs::path folder = fs::path(cache_root) / LToUtf8(id);
        fs::create_directories(folder);
        fs::path file = folder / (LToUtf8(attachment) + "-" + CacheName(a->fileName));
        std::ofstream(file, std::ios::binary)
            .write(static_cast<const char*>(a->data.block), a->data.block ? static_cast<std::streamsize>(a->size) : 0);
        char16_t part_id[32];
        LFormatEscPathW(part_id, u"%d", ++part);
        sql.Format(u"INSERT INTO %s.EMAIL_MESSAGE_ATTACHMENTS (ID, MESSAGE_ID, PART_ID, FILENAME, CONTENT_TYPE, "
                   u"CONTENT_ID, SIZE_BYTES, STORAGE_PATH, IS_INLINE) VALUES ('%Q', '%Q', '%Q', '%Q', '%Q', '%Q', %I64d, "
                   u"'%Q', %d);",
                   u"main", attachment, id, part_id, a->fileName, a->contentType, a->contentId, a->size,
                   file.string(), a->contentId[0] ? 1 : 0);
        if (!db.Exec(sql.c_str())) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: corpus_store MAILDIR [ACCOUNT_EMAIL]\n");
        return 2;
    }
    fs::path root = argv[1];
    std::string email = argc > 2 ? argv[2] : "bench@example.org";
    LAppDatabaseAccount db(false);
    db.CreateRegisteredTables();
    if (!LEmailAccountsCreateSchema(db) || LEmailStoreCreateSchema(db) != 0) {
        std::fprintf(stderr, "corpus_store: the mail schema could not be made\n");
        return 1;
    }
    char16_t account[LEmailIdLength + 1];
    LEmailNewRowId(db, u"EMAILACCOUNTS", account);
    db.ExecF(u"INSERT INTO %s.EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('%Q', '%Q', '127.0.0.1:993');",
             u"main", account, email);
    std::map<std::string, fs::path> folders = {{"INBOX", root / "cur"}};
    for (const auto& e : fs::directory_iterator(root)) {
        std::string name = e.path().filename().string();
        if (e.is_directory() && name.size() > 1 && name[0] == '.') folders[name.substr(1)] = e.path() / "cur";
    }
    std::string cache = LMcpAttachmentStoreFolder();
    int stored = 0;
    for (const auto& [imap_name, folder] : folders) {
        char16_t mailbox[LEmailIdLength + 1];
        LEmailNewRowId(db, u"EMAILMAILBOXES", mailbox);
        db.ExecF(u"INSERT INTO %s.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_UIDVALIDITY, LAST_SYNC_UTC) "
                 u"VALUES ('%Q', '%Q', '%Q', 1, datetime('now'));",
                 u"main", mailbox, account, imap_name);
        std::vector<fs::path> files;
        if (fs::exists(folder))
            for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (size_t i = 0; i < files.size();) {
            LStoreTransaction batch(db);
            for (size_t end = std::min(files.size(), i + 500); i < end; ++i) {
                if (!StoreMessage(db, LToUtf8(account), LToUtf8(mailbox), static_cast<int64_t>(i + 1),
                                  ReadAll(files[i]), cache)) {
                    std::fprintf(stderr, "corpus_store: %s could not be stored\n", files[i].c_str());
                    return 1;
                }
                ++stored;
            }
            if (!batch.Commit()) return 1;
        }
    }
    std::printf("%d\n", stored);
    return 0;
}
