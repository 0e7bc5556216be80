#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/store/fts_index.h"

namespace {

bool IsAsciiAlnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// A count query in UTF-8, so that the probe word reaches the tokenizer as the
// very bytes the subject holds.
bool QueryCountA(LAppDatabaseAccount& db, const char* statement, int64_t& out) {
    sqlite3_stmt* st = nullptr;
    out = 0;
    if (db.PrepareA(statement, &st) != SQLITE_OK || !st) {
        if (st) sqlite3_finalize(st);
        return false;
    }
    bool ok = sqlite3_step(st) == SQLITE_ROW;
    if (ok) out = sqlite3_column_int64(st, 0);
    return sqlite3_finalize(st) == SQLITE_OK && ok;
}

}  // namespace

void LEmailFtsProbeWord(const char* subject, size_t n, LStringA& word) {
    word.Clear();
    const auto* s = reinterpret_cast<const unsigned char*>(subject);
    size_t i = 0;
    while (i < n) {
        // ASCII characters other than letters and digits separate tokens; every
        // other byte belongs to the piece, whole tokens only.
        while (i < n && s[i] < 0x80 && !IsAsciiAlnum(s[i])) ++i;
        size_t start = i, alnum = 0;
        while (i < n && (s[i] >= 0x80 || IsAsciiAlnum(s[i]))) alnum += s[i++] < 0x80;
        if (alnum >= 3 && i - start <= 259) {
            word.AppendN(subject + start, i - start);
            return;
        }
    }
}

bool LEmailFtsIntegrityCheck(LAppDatabaseAccount& db, bool against_content, char16_t error[260]) {
    error[0] = 0;
    bool ok = against_content ? db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS, rank) VALUES "
                                         u"('integrity-check', 1);",
                                         u"main")
                              : db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES_FTS (EMAIL_MESSAGES_FTS) VALUES "
                                         u"('integrity-check');",
                                         u"main");
    if (!ok) db.GetLastErrorText(error);
    return ok;
}

bool LEmailFtsVerify(LAppDatabaseAccount& db, bool integrity_check, char16_t text[260]) {
    if (!LEmailFtsTableExists(db)) {
        LCopyField(text, u"No EMAIL_MESSAGES_FTS index exists, so mail search is running on LIKE scans.");
        return false;
    }
    int64_t max_rowid = 0, next_rowid = 0;
    if (!LEmailFtsGetBackfillState(db, max_rowid, next_rowid)) {
        LCopyField(text, u"The full text index exists but its backfill state row is missing.");
        return false;
    }
    char16_t error[260];
    if (integrity_check && !LEmailFtsIntegrityCheck(db, false, error)) {
        LFormatEscPathW(text, u"FTS5 integrity-check failed: %s", error);
        return false;
    }
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT ID, SUBJECT FROM %s.EMAIL_MESSAGES WHERE ((rowid<=%I64d) OR (rowid>%I64d)) AND SUBJECT IS NOT "
             u"NULL AND LENGTH(SUBJECT)>=4 ORDER BY rowid DESC LIMIT 20;",
             u"main", next_rowid, max_rowid);
    for (; c.HasRow(); c.Step()) {
        LStringA id, subject, word;
        c.GetColumnTextA(0, id);
        c.GetColumnTextA(1, subject);
        LEmailFtsProbeWord(subject.c_str(), subject.length, word);
        if (word.IsEmpty()) continue;
        LStringA q;
        q.Format("SELECT COUNT(*) FROM EMAIL_MESSAGES WHERE ID='%Q' AND rowid IN (SELECT rowid FROM "
                 "EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '{SUBJECT} : (\"%Q\")');",
                 id.c_str(), word.c_str());
        int64_t found = 0;
        if (QueryCountA(db, q.c_str(), found) && found > 0) {
            LFormatEscPathW(text, u"Index verified: MATCH returned message %s for subject word \"%s\".", id.c_str(),
                            word.c_str());
            return true;
        }
        LFormatEscPathW(text,
                        u"Index probe failed: message %s contains \"%s\" in its subject but MATCH did not return it.",
                        id.c_str(), word.c_str());
        return false;
    }
    LCopyField(text,
               u"Index present and structurally valid, but no indexed message had a usable subject word to probe with.");
    return true;
}

bool LEmailFtsPrepareAtStart(LAppDatabaseAccount& db) {
    if (!LEmailFtsEnsure(db)) return false;
    char16_t text[260];
    if (LEmailFtsVerify(db, false, text)) {
        LLog(text, LLogInfo);
        return true;
    }
    // A failed probe alone drops nothing: FTS5's own check speaks first, and
    // once the backfill is complete it can compare the index with every
    // stored row. An index that matches them is kept.
    int64_t max_rowid = 0, next_rowid = 0;
    LEmailFtsGetBackfillState(db, max_rowid, next_rowid);
    bool complete = next_rowid >= max_rowid;
    char16_t error[260];
    bool sound = LEmailFtsIntegrityCheck(db, complete, error);
    std::string why = LToUtf8(text);
    if (sound && complete) {
        LLogWarningF("%s The index matches every stored message (FTS5 integrity-check); it is kept.", why.c_str());
        return true;
    }
    if (sound)
        LLogWarningF("%s FTS5 integrity-check passed, but it cannot see missing rows. Rebuilding the full-text index.",
                     why.c_str());
    else
        LLogWarningF("%s FTS5 integrity-check failed: %s. Rebuilding the full-text index.", why.c_str(),
                     LToUtf8(error).c_str());
    if (!LEmailFtsRebuild(db)) LLog("Unable to rebuild the full-text index", LLogError);
    return LEmailFtsTableExists(db);
}
