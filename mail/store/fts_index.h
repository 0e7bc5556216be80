#pragma once
// The full-text index over the searchable texts of EMAIL_MESSAGES: an
// external-content FTS5 table keyed by the message rowid, a state row that
// says how far the background backfill of older rows has come, and the
// triggers that index every row outside the part still waiting for it.
//
// Invariant: a row with rowid <= BACKFILL_NEXT_ROWID or > BACKFILL_MAX_ROWID
// is in the index; a row in between waits for the backfill, and inserts,
// updates and deletes leave it alone until the backfill reaches it.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "mail/workers.h"

constexpr int LEmailFtsBatchRows = 100;

bool LEmailFtsTableExists(LAppDatabaseAccount& db);
// Creates what is missing: the index, the state row (every existing row
// then waits for the backfill) and the triggers; an update trigger of an
// older release is replaced. All or nothing.
bool LEmailFtsEnsure(LAppDatabaseAccount& db);
bool LEmailFtsGetBackfillState(LAppDatabaseAccount& db, int64_t& max_rowid, int64_t& next_rowid);
// A store batch indexes its new rows in one statement before its commit:
// FTS5 writes what it holds at every savepoint, so a row indexed by the
// trigger under each message's savepoint became an index segment of its own.
// Inside the caller's transaction, Begin moves the state row so that the
// triggers leave rows added from then on alone, End indexes those rows and
// puts the state row back; nothing else sees the moved state. Begin defers
// nothing (and End does nothing) while the backfill is not complete.
struct LEmailFtsDeferred {
    bool active = false;
    int64_t max_rowid = 0, next_rowid = 0;  // the state row as it was
    int64_t last_rowid = 0;                 // the last row before the batch
};
bool LEmailFtsDeferBegin(LAppDatabaseAccount& db, LEmailFtsDeferred& deferred);
bool LEmailFtsDeferEnd(LAppDatabaseAccount& db, LEmailFtsDeferred& deferred);
// One batch of at most 100 rows in rowid order, in one transaction.
bool LEmailFtsBackfillStep(LAppDatabaseAccount& db, bool& complete);
bool LEmailFtsGetCoverage(LAppDatabaseAccount& db, int32_t& indexed, int32_t& total, bool& complete);
// The index check of the MCP tools and of the start: optionally FTS5's own
// integrity check, then a probe with a whole subject word of one of the 20
// newest indexed rows. The text says what was found (at most 259 units).
bool LEmailFtsVerify(LAppDatabaseAccount& db, bool integrity_check, char16_t text[260]);
// Drops and makes the index anew in one transaction; the backfill starts
// over and the worker is woken.
bool LEmailFtsRebuild(LAppDatabaseAccount& db);
// FTS5's integrity check; with `against_content` the index is also compared
// with the stored rows, which only holds once the backfill is complete. On
// failure the database's error text is in `error`.
bool LEmailFtsIntegrityCheck(LAppDatabaseAccount& db, bool against_content, char16_t error[260]);
// At start: ensured and checked; rebuilt only when the probe fails and the
// index does not match the stored rows. False when the index could not be
// made at all.
bool LEmailFtsPrepareAtStart(LAppDatabaseAccount& db);

// The probe word of a subject: the first piece between ASCII characters that
// are not letters or digits (all of which the unicode61 tokenizer treats as
// separators, so the piece is made of whole tokens) that holds at least 3
// ASCII letters or digits and is at most 259 bytes long; empty when none.
void LEmailFtsProbeWord(const char* subject, size_t n, LStringA& word);

// The LIKE pattern text of search's fallback: a backslash before every "%",
// "\" and "_".
void LEmailSearchEscapeLike(LString& out, const char16_t* text);

// The backfill worker (fts_backfill.cpp) starts and stops through the
// entry points of mail/workers.h.
// Sets the worker's wake event when the worker exists.
void LEmailFtsBackfillWake();
