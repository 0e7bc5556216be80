#include "mail/store/tests/store_fixture.h"

#include "foundation/utf8.h"
#include "mail/workers.h"

void StoreTest::SetUp() {
    db_ = std::make_unique<LAppDatabaseAccount>(false);
    ASSERT_NE(db_->handle, nullptr);
    ASSERT_TRUE(RunMailSchema(*db_));
}

bool RunMailSchema(LAppDatabaseAccount& db) {
    return LEmailAccountsCreateSchema(db) && LEmailStoreCreateSchema(db) == 0 && LRulesCreateSchema(db) == 0 &&
           LAutorespondersCreateSchema(db) == 0;
}

int64_t InsertMessage(LAppDatabaseAccount& db, const TestMessage& m) {
    static int counter = 0;
    std::string id = m.id.empty() ? "m" + std::to_string(++counter) : m.id;
    int64_t uid = m.uid ? m.uid : ++counter;
    LStringA q;
    q.Format("INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, SUBJECT, FROM_TEXT, TO_TEXT, "
             "CC_TEXT, BCC_TEXT, REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT) VALUES ('%Q', '%Q', '%Q', %I64d, %I64d, '%Q', "
             "'%Q', '%Q', '%Q', '%Q', '%Q', '%Q', '%Q');",
             id.c_str(), m.account.c_str(), m.mailbox.c_str(), uid, m.uidvalidity, m.subject.c_str(), m.from.c_str(),
             m.to.c_str(), m.cc.c_str(), m.bcc.c_str(), m.reply_to.c_str(), m.preview.c_str(), m.body.c_str());
    Exec(db, q.Str());
    return sqlite3_last_insert_rowid(db.handle);
}

void Exec(LAppDatabaseAccount& db, const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db.handle, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (error ? error : "");
    sqlite3_free(error);
}

int64_t QueryInt(LAppDatabaseAccount& db, const std::string& sql) {
    int64_t v = -1;
    LString s;
    s.SetUtf8(sql.c_str());
    EXPECT_TRUE(db.QueryInt64(s.c_str(), &v)) << sql << ": " << sqlite3_errmsg(db.handle);
    return v;
}

std::string QueryText(LAppDatabaseAccount& db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_text(st, 0))
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return out;
}
