#include "mail/store/message_store.h"

#include <array>
#include <string_view>

#include "foundation/log.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/store/mail_ids.h"
#include "platform/file.h"

namespace {

constexpr size_t kPreviewChars = 260;
constexpr size_t kMaxDateChars = 259;
// The thread links kept of one message: a reply names one parent; a long
// References chain keeps its newest ids (the end), cut at an id's start.
constexpr size_t kMaxInReplyToChars = 512;
constexpr size_t kMaxReferencesChars = 8192;

void KeepEnd(LString& text, size_t max) {
    std::u16string_view v = text.View();
    if (v.size() <= max) return;
    v = v.substr(v.size() - max);
    size_t open = v.find(u'<');
    if (open != std::u16string_view::npos) v = v.substr(open);
    LString kept;
    kept.AppendView(v);
    kept.Terminate();
    text = std::move(kept);
}

struct Headers {
    LString subject, from, to, cc, date, bcc, message_id, reply_to, auto_submitted, precedence, list_id, return_path,
        content_type, in_reply_to, references;
    explicit Headers(const EMLMimeMessage& m) {
        m.GetHeader(u"in-reply-to", in_reply_to);
        m.GetHeader(u"references", references);
        if (in_reply_to.length > kMaxInReplyToChars) in_reply_to.Clear();
        KeepEnd(references, kMaxReferencesChars);
        m.GetHeader(u"subject", subject);
        m.GetHeader(u"from", from);
        m.GetHeader(u"to", to);
        m.GetHeader(u"cc", cc);
        m.GetHeader(u"date", date);
        m.GetHeader(u"bcc", bcc);
        m.GetHeader(u"message-id", message_id);
        m.GetHeader(u"reply-to", reply_to);
        m.GetHeader(u"auto-submitted", auto_submitted);
        m.GetHeader(u"precedence", precedence);
        m.GetHeader(u"list-id", list_id);
        m.GetHeader(u"return-path", return_path);
        m.GetHeader(u"content-type", content_type);
    }
};

void RemoveFiles(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) LPlatformDeleteFile(p.c_str());
}

// The INSERT of a new row carries the message's bodies, most of what a
// first mirror writes. Made as text, every body would be copied into the
// statement quoted, converted to UTF-8 and parsed back out by SQLite, once
// for each message; so this one statement is prepared once for the batch
// and each message's values are bound to it. Its text and its effect are
// those of the formatted statement: the same columns, the texts converted to
// UTF-8 as a formatted statement converts them (up to a first NUL), the
// numbers as integers.
constexpr const char* kInsertMessage =
    "INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, MESSAGE_ID, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, "
    "BODY_TEXT, BODY_HTML, BODY_PREVIEW, IN_REPLY_TO, REFERENCES_TEXT, FLAGS, UID, UIDVALIDITY, SENT_UTC, "
    "RECEIVED_UTC, SIZE_BYTES, INTERNAL_DATE_UTC, LAST_SEEN_UTC) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?, ?, ?, ?, ?, ?);";
constexpr int kInsertTexts = 14;
constexpr int kInsertNumbers = 7;

// The look-ups of the row that holds a message already, in their order
// (see LEmailFindStoredMessage), asked for every message a batch stores:
// prepared once for the batch like the INSERT (preparing them for each
// message was most of a first mirror's look-up time). Their parameters:
// ?1 account, ?2 mailbox, ?3 UIDVALIDITY, ?4 UID, ?5 Message-ID, ?6 size.
constexpr const char* kFindStored[] = {
    "SELECT ID FROM main.EMAIL_MESSAGES WHERE ACCOUNT_ID=?1 AND MAILBOX_ID=?2 AND UIDVALIDITY=?3 AND UID=?4 LIMIT 1;",
    // A message that survived a UIDVALIDITY change.
    "SELECT ID FROM main.EMAIL_MESSAGES WHERE ACCOUNT_ID=?1 AND MAILBOX_ID=?2 AND UIDVALIDITY<>?3 AND MESSAGE_ID=?5 "
    "AND SIZE_BYTES=?6 ORDER BY COALESCE(LAST_SEEN_UTC, 0) DESC LIMIT 1;",
    // A row moved here whose server copy was not linked yet: this is it.
    "SELECT ID FROM main.EMAIL_MESSAGES WHERE ACCOUNT_ID=?1 AND MAILBOX_ID=?2 AND UID<0 AND MESSAGE_ID=?5 AND "
    "SIZE_BYTES=?6 ORDER BY COALESCE(LAST_SEEN_UTC, 0) DESC LIMIT 1;"};
constexpr int kFindStoredCount = 3;

}  // namespace

// The statements with the UTF-8 buffers their texts are bound from: kept for
// the batch, so a body's bytes are not allocated afresh for each message.
struct LEmailBatchStatements {
    sqlite3_stmt* statement = nullptr;
    std::array<LStringA, kInsertTexts> utf8;
    std::array<sqlite3_stmt*, kFindStoredCount> find{};
    LEmailBatchStatements() = default;
    LEmailBatchStatements(const LEmailBatchStatements&) = delete;
    LEmailBatchStatements& operator=(const LEmailBatchStatements&) = delete;
    ~LEmailBatchStatements() {
        sqlite3_finalize(statement);
        for (sqlite3_stmt* st : find) sqlite3_finalize(st);
    }
};

namespace {

bool FindStored(LAppDatabaseAccount& db, LEmailBatchStatements& statements, LString& row_id, const char16_t* account_id,
                const char16_t* mailbox_id, uint32_t uid, uint32_t uidvalidity, uint64_t size,
                const char16_t* message_id) {
    row_id.Clear();
    const int asked = message_id && *message_id ? kFindStoredCount : 1;
    struct Text {
        int slot;
        LStringA utf8;
    } texts[] = {{1, {}}, {2, {}}, {5, {}}};
    const char16_t* wide[] = {account_id, mailbox_id, message_id};
    for (int k = 0; k < 3; ++k) LStringAAppendWide(texts[k].utf8, wide[k], wide[k] ? LTextLength(wide[k]) : 0);
    const struct {
        int slot;
        long long value;
    } numbers[] = {{3, uidvalidity}, {4, uid}, {6, static_cast<long long>(size)}};
    for (int i = 0; i < asked && row_id.IsEmpty(); ++i) {
        sqlite3_stmt*& st = statements.find[i];
        if (!st && db.PrepareA(kFindStored[i], &st) != SQLITE_OK) {
            sqlite3_finalize(st);
            st = nullptr;
            return false;
        }
        // The first look-up has no ?5 and ?6.
        const int slots = sqlite3_bind_parameter_count(st);
        bool bound = true;
        for (const Text& t : texts)
            bound = bound && (t.slot > slots || sqlite3_bind_text(st, t.slot, t.utf8.c_str(),
                                                                  static_cast<int>(t.utf8.length),
                                                                  SQLITE_STATIC) == SQLITE_OK);
        for (const auto& n : numbers)
            bound = bound && (n.slot > slots || sqlite3_bind_int64(st, n.slot, n.value) == SQLITE_OK);
        if (bound && sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            if (t) row_id.SetUtf8N(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(st, 0)));
        }
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    }
    return !row_id.IsEmpty();
}

bool InsertNew(LAppDatabaseAccount& db, LEmailBatchStatements& insert, const char16_t* const (&texts)[kInsertTexts],
               const long long (&numbers)[kInsertNumbers]) {
    if (!insert.statement && db.PrepareA(kInsertMessage, &insert.statement) != SQLITE_OK) {
        sqlite3_finalize(insert.statement);
        insert.statement = nullptr;
        return false;
    }
    sqlite3_stmt* st = insert.statement;
    bool bound = true;
    for (int i = 0; i < kInsertTexts; ++i) {
        LStringA& utf8 = insert.utf8[i];
        utf8.Clear();
        LStringAAppendWide(utf8, texts[i], LTextLength(texts[i]));
        bound = bound && sqlite3_bind_text(st, i + 1, utf8.c_str(), static_cast<int>(utf8.length), SQLITE_STATIC) ==
                             SQLITE_OK;
    }
    for (int i = 0; i < kInsertNumbers; ++i)
        bound = bound && sqlite3_bind_int64(st, kInsertTexts + i + 1, numbers[i]) == SQLITE_OK;
    const bool inserted = bound && sqlite3_step(st) == SQLITE_DONE;
    // Reset keeps the statement's error for the caller's message.
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return inserted;
}

// Every write of one message on the caller's transaction; false at the
// first failure, which the caller rolls back.
int WriteMessage(LAppDatabaseAccount& db, LEmailStoreBatch* batch, LEmailBatchStatements& insert, LString& row_id,
                 bool& is_new, const char16_t* account_id, const char16_t* mailbox_id, uint32_t uid,
                 uint32_t uidvalidity, uint64_t size, const EMLMimeMessage& message, const char16_t* flags,
                 const char16_t* new_id) {
    Headers h(message);
    char16_t preview[kPreviewChars];
    LEmailMakePreviewText(message.text, message.html, preview, kPreviewChars);
    std::u16string_view date = h.date.View().substr(0, kMaxDateChars);
    const time_t sent = LEmailParseDate(date);
    const time_t stored = sent > 0 ? sent : LNow();
    const long long sent_utc = sent > 0 ? static_cast<long long>(sent) : 0;
    const long long stored_utc = static_cast<long long>(stored);
    const unsigned long long bytes = size;

    if (FindStored(db, insert, row_id, account_id, mailbox_id, uid, uidvalidity, size, h.message_id.c_str())) {
        if (!db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET ACCOUNT_ID='%Q', MAILBOX_ID='%Q', UID=%u, UIDVALIDITY=%u, "
                      u"MESSAGE_ID='%Q', SUBJECT='%Q', FROM_TEXT='%Q', TO_TEXT='%Q', CC_TEXT='%Q', SENT_UTC=%lld, "
                      u"RECEIVED_UTC=%lld, SIZE_BYTES=%llu, INTERNAL_DATE_UTC=%lld, BODY_TEXT='%Q', BODY_HTML='%Q', "
                      u"BODY_PREVIEW='%Q', LAST_SEEN_UTC=%lld, IS_DELETED=0, IN_REPLY_TO='%Q', REFERENCES_TEXT='%Q' "
                      u"WHERE ID='%Q';",
                      u"main", account_id, mailbox_id, uid, uidvalidity, h.message_id.c_str(), h.subject.c_str(),
                      h.from.c_str(), h.to.c_str(), h.cc.c_str(), sent_utc, stored_utc, bytes, stored_utc,
                      message.text.c_str(), message.html.c_str(), preview, stored_utc, h.in_reply_to.c_str(),
                      h.references.c_str(), row_id.c_str()))
            return LEmailStoreFailed;
        if (flags && !db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET FLAGS='%Q' WHERE ID='%Q';", u"main", flags,
                               row_id.c_str()))
            return LEmailStoreFailed;
    } else {
        char16_t id[LEmailIdLength + 1] = {};
        // Written again after a rollback, a new row keeps the ID its caller
        // was given the first time.
        if (new_id && *new_id) std::u16string_view(new_id).substr(0, LEmailIdLength).copy(id, LEmailIdLength);
        else if (!LEmailNewRowId(db, u"EMAIL_MESSAGES", id)) return LEmailStoreFailed;
        row_id.Append(id);
        is_new = true;
        const char16_t* texts[kInsertTexts] = {id, account_id, mailbox_id, h.message_id.c_str(), h.subject.c_str(),
                                               h.from.c_str(), h.to.c_str(), h.cc.c_str(), message.text.c_str(),
                                               message.html.c_str(), preview, h.in_reply_to.c_str(),
                                               h.references.c_str(), flags ? flags : u""};
        const long long numbers[kInsertNumbers] = {uid, uidvalidity, sent_utc, stored_utc,
                                                   static_cast<long long>(bytes), stored_utc, stored_utc};
        if (!InsertNew(db, insert, texts, numbers)) return LEmailStoreFailed;
    }
    // A new row has no address rows to replace.
    if (!LEmailStoreAddresses(db, row_id.c_str(), h.from.c_str(), h.to.c_str(), h.cc.c_str(), h.bcc.c_str(),
                              h.reply_to.c_str(), !is_new))
        return LEmailStoreFailed;
    if (!db.ExecF(u"INSERT OR REPLACE INTO %s.AUTORESPONDER_MESSAGE_SAFETY (EMAIL_MESSAGE_ID, AUTO_SUBMITTED, "
                  u"PRECEDENCE, LIST_ID, RETURN_PATH, CONTENT_TYPE) VALUES ('%Q', '%Q', '%Q', '%Q', '%Q', '%Q');",
                  u"main", row_id.c_str(), h.auto_submitted.c_str(), h.precedence.c_str(), h.list_id.c_str(),
                  h.return_path.View().substr(0, 512), h.content_type.View().substr(0, 255)))
        return LEmailStoreFailed;
    // An existing row keeps the attachments it was made with.
    if (is_new && !LEmailStoreAttachments(db, row_id.c_str(), message, batch)) return LEmailStoreFailed;
    return LEmailStoreOk;
}

}  // namespace

LEmailStoreBatch::LEmailStoreBatch(LAppDatabaseAccount& db)
    : db_(db), statements_(std::make_unique<LEmailBatchStatements>()) {
    Begin();
}

LEmailStoreBatch::~LEmailStoreBatch() {
    statements_.reset();  // its statements go before the transaction ends
    if (!committed_) RollBack();
}

bool LEmailStoreBatch::Began() const { return tx_ && tx_->Began(); }

void LEmailStoreBatch::Begin() {
    if (!db_.handle) return;
    tx_ = std::make_unique<LStoreTransaction>(db_);
    if (Began()) LEmailFtsDeferBegin(db_, fts_);
}

void LEmailStoreBatch::RollBack() {
    std::vector<std::string> temporary;
    for (const CacheFile& f : files_) temporary.push_back(f.temporary);
    files_.clear();
    tx_.reset();
    RemoveFiles(temporary);
}

void LEmailStoreBatch::AddCacheFile(std::string temporary, std::string final_path) {
    files_.push_back({std::move(temporary), std::move(final_path)});
}

bool LEmailStoreBatch::WriteAgain() {
    RollBack();
    Begin();
    if (!Began()) return false;
    for (Written& w : written_) {
        LString row_id;
        bool is_new = false;
        if (WriteMessage(db_, this, *statements_, row_id, is_new, w.account_id.c_str(), w.mailbox_id.c_str(), w.uid,
                         w.uidvalidity, w.size, *w.message, w.has_flags ? w.flags.c_str() : nullptr,
                         w.row_id.c_str()) != LEmailStoreOk ||
            row_id.View() != w.row_id.View() || is_new != w.is_new)
            return false;
    }
    return true;
}

int LEmailStoreBatch::Store(LString& row_id, bool& is_new, const char16_t* account_id, const char16_t* mailbox_id,
                            uint32_t uid, uint32_t uidvalidity, uint64_t size, const EMLMimeMessage& message,
                            const char16_t* flags) {
    row_id.Clear();
    is_new = false;
    if (!account_id || !*account_id || !mailbox_id || !*mailbox_id || !Began() || committed_)
        return LEmailStoreFailed;
    // The message's writes go straight into the batch's transaction: a
    // savepoint for each message cost more than all its other writes.
    int rc = WriteMessage(db_, this, *statements_, row_id, is_new, account_id, mailbox_id, uid, uidvalidity, size,
                          message, flags, nullptr);
    if (rc == LEmailStoreOk) {
        written_.push_back({&message, row_id, is_new, account_id, mailbox_id, flags ? flags : u"", flags != nullptr,
                            uid, uidvalidity, size});
        return rc;
    }
    char16_t error[260];
    db_.GetLastErrorText(error);
    LLogErrorF("Unable to store message UID %u of mailbox %s: %s", uid, LToUtf8(mailbox_id).c_str(),
               LToUtf8(error).c_str());
    row_id.Clear();
    is_new = false;
    // What the failed message wrote is undone with the whole batch, which
    // is then written again without it.
    if (!WriteAgain()) {
        LLogErrorF("Unable to write the batch of message UID %u again", uid);
        RollBack();
    }
    return LEmailStoreFailed;
}

int LEmailStoreBatch::StoreBytes(LString& row_id, bool& is_new, const char16_t* account_id,
                                 const char16_t* mailbox_id, uint32_t uid, uint32_t uidvalidity,
                                 std::string_view bytes, const char16_t* flags) {
    auto message = std::make_unique<EMLMimeMessage>();
    message->Parse(bytes);
    int rc = Store(row_id, is_new, account_id, mailbox_id, uid, uidvalidity, bytes.size(), *message, flags);
    // Kept for as long as the batch may have to write it again.
    if (rc == LEmailStoreOk) parsed_.push_back(std::move(message));
    return rc;
}

bool LEmailStoreBatch::Commit() {
    if (!Began() || committed_) return false;
    if (!LEmailFtsDeferEnd(db_, fts_)) {
        LLogErrorF("Unable to index the stored messages");
        return false;
    }
    // The files take their final names first: a crash after this and before
    // the commit leaves files without rows, which the start removes; the
    // other order would leave rows without their files.
    std::vector<std::string> placed;
    bool renamed = true;
    for (const CacheFile& f : files_) {
        if (!LPlatformMoveFile(f.temporary.c_str(), f.final_path.c_str())) {
            LLogErrorF("Unable to name the cached attachment %s", f.final_path.c_str());
            renamed = false;
            break;
        }
        placed.push_back(f.final_path);
    }
    if (renamed && tx_->Commit()) {
        committed_ = true;
        files_.clear();
        written_.clear();
        parsed_.clear();
        return true;
    }
    RemoveFiles(placed);
    return false;  // the destructor rolls back and removes the temporary files left
}

int LEmailStoreMessage(LAppDatabaseAccount& db, LString& row_id, bool& is_new, const char16_t* account_id,
                       const char16_t* mailbox_id, uint32_t uid, uint32_t uidvalidity, uint64_t size,
                       const EMLMimeMessage& message) {
    row_id.Clear();
    is_new = false;
    LEmailStoreBatch batch(db);
    if (batch.Store(row_id, is_new, account_id, mailbox_id, uid, uidvalidity, size, message) != LEmailStoreOk)
        return LEmailStoreFailed;
    if (batch.Commit()) return LEmailStoreOk;
    row_id.Clear();
    is_new = false;
    return LEmailStoreFailed;
}

bool LEmailFindStoredMessage(LAppDatabaseAccount& db, LString& row_id, const char16_t* account_id,
                             const char16_t* mailbox_id, uint32_t uid, uint32_t uidvalidity, uint64_t size,
                             const char16_t* message_id) {
    LEmailBatchStatements statements;
    return FindStored(db, statements, row_id, account_id, mailbox_id, uid, uidvalidity, size, message_id);
}
