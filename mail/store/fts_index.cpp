#include "mail/store/fts_index.h"

#include <cstdint>

#include "mail/store/mail_schema.h"
#include "mail/store/store_transaction.h"

namespace {

constexpr const char16_t* kFtsCreate =
    u"CREATE VIRTUAL TABLE %s.EMAIL_MESSAGES_FTS USING fts5 (SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, "
    u"REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT, content='EMAIL_MESSAGES', content_rowid='rowid', tokenize='unicode61 "
    u"remove_diacritics 2');";
constexpr const char16_t* kStateCreate =
    u"CREATE TABLE %s.EMAIL_MESSAGES_FTS_STATE (ID INTEGER PRIMARY KEY, BACKFILL_MAX_ROWID INTEGER NOT NULL DEFAULT 0, "
    u"BACKFILL_NEXT_ROWID INTEGER NOT NULL DEFAULT 0, UPDATED_UTC INTEGER);";

#define L_FTS_OUTSIDE_BACKFILL(row)                                                        \
    u"((" row u".rowid <= (SELECT BACKFILL_NEXT_ROWID FROM EMAIL_MESSAGES_FTS_STATE WHERE ID=1)) OR (" row \
    u".rowid > (SELECT BACKFILL_MAX_ROWID FROM EMAIL_MESSAGES_FTS_STATE WHERE ID=1)))"
#define L_FTS_INSERT_NEW                                                                                         \
    u"INSERT INTO EMAIL_MESSAGES_FTS (rowid, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, REPLY_TO_TEXT, "     \
    u"BODY_PREVIEW, BODY_TEXT) VALUES (new.rowid, new.SUBJECT, new.FROM_TEXT, new.TO_TEXT, new.CC_TEXT, "        \
    u"new.BCC_TEXT, new.REPLY_TO_TEXT, new.BODY_PREVIEW, new.BODY_TEXT);"
#define L_FTS_DELETE_OLD                                                                                           \
    u"INSERT INTO EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS, rowid, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, " \
    u"REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT) VALUES ('delete', old.rowid, old.SUBJECT, old.FROM_TEXT, "           \
    u"old.TO_TEXT, old.CC_TEXT, old.BCC_TEXT, old.REPLY_TO_TEXT, old.BODY_PREVIEW, old.BODY_TEXT);"

struct Trigger {
    const char16_t* name;
    const char16_t* body;  // what follows the name, as SQLite keeps it
};
// The update trigger fires only when an indexed text really changes: moves,
// flags, attachment marks and deletion marks leave the index alone (each
// would otherwise delete and re-add the whole body).
constexpr Trigger kTriggers[] = {
    {u"EMAIL_MESSAGES_FTS_AI",
     u"AFTER INSERT ON EMAIL_MESSAGES WHEN " L_FTS_OUTSIDE_BACKFILL(u"new") u" BEGIN " L_FTS_INSERT_NEW u" END"},
    {u"EMAIL_MESSAGES_FTS_AD",
     u"AFTER DELETE ON EMAIL_MESSAGES WHEN " L_FTS_OUTSIDE_BACKFILL(u"old") u" BEGIN " L_FTS_DELETE_OLD u" END"},
    {u"EMAIL_MESSAGES_FTS_AU",
     u"AFTER UPDATE OF SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT ON "
     u"EMAIL_MESSAGES WHEN " L_FTS_OUTSIDE_BACKFILL(u"old") u" AND (old.SUBJECT IS NOT new.SUBJECT OR "
     u"old.FROM_TEXT IS NOT new.FROM_TEXT OR old.TO_TEXT IS NOT new.TO_TEXT OR old.CC_TEXT IS NOT new.CC_TEXT OR "
     u"old.BCC_TEXT IS NOT new.BCC_TEXT OR old.REPLY_TO_TEXT IS NOT new.REPLY_TO_TEXT OR old.BODY_PREVIEW IS NOT "
     u"new.BODY_PREVIEW OR old.BODY_TEXT IS NOT new.BODY_TEXT) BEGIN " L_FTS_DELETE_OLD u" " L_FTS_INSERT_NEW
     u" END"},
};

// A trigger of another text (an older release's update trigger fired on
// every UPDATE) is replaced; the caller's transaction makes that atomic.
bool EnsureTrigger(LAppDatabaseAccount& db, const Trigger& t) {
    LString stored, wanted;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT sql FROM %s.sqlite_master WHERE type='trigger' AND name='%Q';", u"main", t.name);
        if (c.HasRow()) c.GetColumnString(0, stored);
    }
    wanted.Format(u"CREATE TRIGGER %s %s", t.name, t.body);
    if (!stored.IsEmpty() && stored.View() == wanted.View()) return true;
    if (!stored.IsEmpty() && !db.ExecF(u"DROP TRIGGER %s.%s;", u"main", t.name)) return false;
    return db.ExecF(u"CREATE TRIGGER IF NOT EXISTS %s.%s %s;", u"main", t.name, t.body);
}

// FTS5 merges a level's segments once it holds this many (its default is
// 4). Every batch a pass commits adds a segment: at 4, most small passes
// ended in a merge, and each page of the index was rewritten about twice
// as often as at 16. A search then reads up to 15 segments a level
// instead of 3, which measured no slower.
constexpr int kAutomerge = 16;

bool EnsureAutomerge(LAppDatabaseAccount& db) {
    int32_t current = 0;
    if (db.QueryInt(u"SELECT v FROM main.EMAIL_MESSAGES_FTS_config WHERE k='automerge';", &current) &&
        current == kAutomerge)
        return true;
    return db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS, rank) VALUES ('automerge', %d);", u"main",
                    kAutomerge);
}

bool HasStateRow(LAppDatabaseAccount& db) {
    int64_t n = 0;
    return db.QueryInt64(u"SELECT COUNT(*) FROM main.EMAIL_MESSAGES_FTS_STATE WHERE ID=1;", &n) && n > 0;
}

bool Fail(LAppDatabaseAccount& db, const char* what) { return LEmailSchemaFail(db, what); }

}  // namespace

bool LEmailFtsTableExists(LAppDatabaseAccount& db) { return db.TableExistsInSchema(u"main", u"EMAIL_MESSAGES_FTS"); }

bool LEmailFtsEnsure(LAppDatabaseAccount& db) {
    LStoreTransaction tx(db);
    if (!tx.Began()) return Fail(db, "Unable to create the full-text index");
    bool existed = LEmailFtsTableExists(db);
    if (!existed && !db.ExecF(kFtsCreate, u"main")) return Fail(db, "Unable to create EMAIL_MESSAGES_FTS");
    db.EnsureTable(u"EMAIL_MESSAGES_FTS_STATE", kStateCreate);
    if (!db.TableExists(u"EMAIL_MESSAGES_FTS_STATE")) return Fail(db, "Unable to create EMAIL_MESSAGES_FTS_STATE");
    // An index without its state row holds an unknown part of the rows; the
    // new state row sends every row through the backfill, so it starts empty
    // rather than with entries the backfill would add a second time.
    if (existed && !HasStateRow(db) &&
        !db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS) VALUES ('delete-all');", u"main"))
        return Fail(db, "Unable to empty EMAIL_MESSAGES_FTS");
    if (!db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS_STATE (ID, BACKFILL_MAX_ROWID, BACKFILL_NEXT_ROWID, UPDATED_UTC) "
                  u"SELECT 1, COALESCE((SELECT MAX(rowid) FROM %s.EMAIL_MESSAGES), 0), 0, 0 WHERE NOT EXISTS (SELECT "
                  u"1 FROM %s.EMAIL_MESSAGES_FTS_STATE WHERE ID=1);",
                  u"main", u"main", u"main"))
        return Fail(db, "Unable to write the full-text index state");
    for (const Trigger& t : kTriggers)
        if (!EnsureTrigger(db, t)) return Fail(db, "Unable to create a full-text index trigger");
    if (!EnsureAutomerge(db)) return Fail(db, "Unable to set the full-text index's merge level");
    return tx.Commit() || Fail(db, "Unable to create the full-text index");
}

bool LEmailFtsGetBackfillState(LAppDatabaseAccount& db, int64_t& max_rowid, int64_t& next_rowid) {
    max_rowid = next_rowid = 0;
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT BACKFILL_MAX_ROWID, BACKFILL_NEXT_ROWID FROM %s.EMAIL_MESSAGES_FTS_STATE WHERE ID=1 LIMIT 1;",
             u"main");
    if (!c.HasRow()) return false;
    max_rowid = c.GetColumnInt64(0);
    next_rowid = c.GetColumnInt64(1);
    return true;
}

bool LEmailFtsDeferBegin(LAppDatabaseAccount& db, LEmailFtsDeferred& deferred) {
    deferred = LEmailFtsDeferred();
    int64_t max_rowid = 0, next_rowid = 0, last = 0;
    if (!LEmailFtsTableExists(db) || !LEmailFtsGetBackfillState(db, max_rowid, next_rowid) || next_rowid < max_rowid ||
        !db.QueryInt64(u"SELECT COALESCE(MAX(rowid), 0) FROM main.EMAIL_MESSAGES;", &last))
        return false;
    // Every row up to `last` stays under the triggers; none after it is
    // outside the backfill's range.
    if (!db.ExecF(u"UPDATE %s.EMAIL_MESSAGES_FTS_STATE SET BACKFILL_NEXT_ROWID=%lld, BACKFILL_MAX_ROWID=%lld WHERE "
                  u"ID=1;",
                  u"main", static_cast<long long>(last), static_cast<long long>(INT64_MAX)))
        return false;
    deferred = {true, max_rowid, next_rowid, last};
    return true;
}

bool LEmailFtsDeferEnd(LAppDatabaseAccount& db, LEmailFtsDeferred& deferred) {
    if (!deferred.active) return true;
    if (!db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS (rowid, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, "
                  u"REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT) SELECT rowid, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, "
                  u"BCC_TEXT, REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT FROM %s.EMAIL_MESSAGES WHERE rowid > %lld;",
                  u"main", u"main", static_cast<long long>(deferred.last_rowid)) ||
        !db.ExecF(u"UPDATE %s.EMAIL_MESSAGES_FTS_STATE SET BACKFILL_NEXT_ROWID=%lld, BACKFILL_MAX_ROWID=%lld WHERE "
                  u"ID=1;",
                  u"main", static_cast<long long>(deferred.next_rowid), static_cast<long long>(deferred.max_rowid)))
        return false;
    deferred.active = false;
    return true;
}

bool LEmailFtsBackfillStep(LAppDatabaseAccount& db, bool& complete) {
    complete = false;
    if (!LEmailFtsTableExists(db)) return false;
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    int64_t max_rowid = 0, next_rowid = 0;
    if (!LEmailFtsGetBackfillState(db, max_rowid, next_rowid)) return false;
    if (next_rowid >= max_rowid) {
        complete = true;
        return tx.Commit();
    }
    LString q;
    q.Format(u"SELECT MAX(rowid) FROM (SELECT rowid FROM %s.EMAIL_MESSAGES WHERE rowid>%I64d AND rowid<=%I64d ORDER "
             u"BY rowid LIMIT %d);",
             u"main", next_rowid, max_rowid, LEmailFtsBatchRows);
    int64_t end = 0;
    if (!db.QueryInt64(q.c_str(), &end) || end <= next_rowid) end = max_rowid;
    if (!db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS (rowid, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, "
                  u"REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT) SELECT rowid, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, "
                  u"BCC_TEXT, REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT FROM %s.EMAIL_MESSAGES WHERE rowid>%I64d AND "
                  u"rowid<=%I64d;",
                  u"main", u"main", next_rowid, end) ||
        !db.ExecF(u"UPDATE %s.EMAIL_MESSAGES_FTS_STATE SET BACKFILL_NEXT_ROWID=%I64d, "
                  u"UPDATED_UTC=CAST(strftime('%%s','now') AS INTEGER) WHERE ID=1;",
                  u"main", end) ||
        !tx.Commit())
        return false;
    complete = end >= max_rowid;
    return true;
}

bool LEmailFtsGetCoverage(LAppDatabaseAccount& db, int32_t& indexed, int32_t& total, bool& complete) {
    indexed = total = 0;
    complete = false;
    int64_t max_rowid = 0, next_rowid = 0;
    if (!LEmailFtsTableExists(db) || !LEmailFtsGetBackfillState(db, max_rowid, next_rowid)) return false;
    int64_t all = 0, in_index = 0;
    if (!db.QueryInt64(u"SELECT COUNT(*) FROM EMAIL_MESSAGES;", &all)) return false;
    complete = next_rowid >= max_rowid;
    // Complete, every rowid is at or below NEXT or above MAX: the second
    // count (a pass over an index, every search answer) would equal the first.
    LString q;
    q.Format(u"SELECT COUNT(*) FROM EMAIL_MESSAGES WHERE rowid<=%I64d OR rowid>%I64d;", next_rowid, max_rowid);
    if (complete)
        in_index = all;
    else if (!db.QueryInt64(q.c_str(), &in_index))
        return false;
    total = static_cast<int32_t>(all);
    indexed = static_cast<int32_t>(in_index);
    return true;
}

bool LEmailFtsRebuild(LAppDatabaseAccount& db) {
    {
        LStoreTransaction tx(db);
        if (!tx.Began()) return Fail(db, "Unable to rebuild the full-text index");
        for (const Trigger& t : kTriggers) db.ExecF(u"DROP TRIGGER IF EXISTS %s.%s;", u"main", t.name);
        if (!db.ExecF(u"DROP TABLE IF EXISTS %s.EMAIL_MESSAGES_FTS;", u"main") ||
            (db.TableExists(u"EMAIL_MESSAGES_FTS_STATE") &&
             !db.ExecF(u"DELETE FROM %s.EMAIL_MESSAGES_FTS_STATE;", u"main")))
            return Fail(db, "Unable to rebuild the full-text index");
        if (!LEmailFtsEnsure(db) || !tx.Commit()) return Fail(db, "Unable to rebuild the full-text index");
    }
    LEmailFtsBackfillWake();
    return true;
}

void LEmailSearchEscapeLike(LString& out, const char16_t* text) {
    out.Clear();
    out.Reserve(LStringMinCapacity);
    for (const char16_t* p = text; p && *p; ++p) {
        if (*p == u'%' || *p == u'\\' || *p == u'_') out.AppendChar(u'\\');
        out.AppendChar(*p);
    }
}
