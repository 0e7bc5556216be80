#pragma once
// The plain-file copy of the mail store: one .eml file per live message in a
// folder per month, an index page per month, old months packed into zip
// archives. The worker EMLBackup runs a round at start, once a day and when
// woken (new settings, new mail).
#include <cstdint>
#include <ctime>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "foundation/task_progress.h"

// Registry section and values.
constexpr const char16_t* LEmailBackupSection = u"EmailBackup";
// The highest message rowid the last complete round had seen: mail that
// arrives late or is moved in with an old Date is above it.
constexpr const char16_t* LEmailBackupRowidValue = u"LastDoneRowid";

// Header pieces of the .eml writer.
// CR and LF removed, at most 259 units.
void LEmailStripLineBreaks(const char16_t* text, char16_t out[260]);
// ASCII as it is; else UTF-8 (at most 259 bytes) in encoded words of at most
// 45 bytes each, never cut inside a character, on continuation lines.
void LEmailEncodeHeaderWord(const char16_t* text, LStringA& out);
void LEmailFormatRfc5322Date(time_t t, LStringA& out);

// The message's place in the backup: SENT_UTC, or RECEIVED_UTC for mail
// stored without a Date header. False when neither is above 0.
bool LEmailBackupMessageTime(int64_t sent_utc, int64_t received_utc, time_t& out);
// "YYYY-MM" and "YYYY-MM-DD HH-MM-SS" (UTC); false for a time of 0 or less.
bool LEmailBackupMonthFolder(time_t t, char16_t month[260], char16_t stamp[260]);
// The file name "<stamp> <from> <to> <subject> <id>.eml", cut on a UTF-8
// boundary so that it and its ".tmp" twin fit a Linux file name (255
// bytes); the message ID always ends it.
void LEmailBackupFileName(const char16_t* stamp, const char16_t* from, const char16_t* to, const char16_t* subject,
                          const char16_t* id, LString& out);
// Month folder names "YYYY-MM".
bool LEmailBackupIsMonthName(const char* name);

struct LEmailBackupMessage {
    LString id, from, to, subject, message_id, body_text, body_html;
    time_t time = 0;
};
// Writes the message as "<path>.tmp" and moves it onto the path. Every
// attachment row is written with what exists: an empty part for an empty
// file, a short text part naming a file the cache does not hold.
bool LEmailBackupWriteEml(LAppDatabaseAccount& db, const LEmailBackupMessage& m, const char16_t* path);

// since_time 0 and since_rowid 0: everything; else rows above the rowid or
// with either time at or after since_time. earliest: the earliest message
// time written (0 when none), whose month's index page must be rewritten.
// True when nothing failed and no stop ended it early.
bool LEmailBackupExport(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                        int64_t since_time, int64_t since_rowid, time_t& earliest);
// The index pages of the month folders not before the month of
// last_done_utc (every one when it is 0). True when every page was written.
bool LEmailBackupWriteIndexes(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                              int64_t last_done_utc);
// Packs month folders before the cut-off (now moved back by months, local
// time) into "<month>.zip" and removes a folder only after its archive
// passed 7-Zip's test.
void LEmailBackupZipOldMonths(LTaskProgress& progress, const char16_t* folder, int months, time_t now);

// True (and the mailbox logged) while a live mailbox that the sync can read
// was never synchronised: a full backup of half a mailbox would pass for a
// finished one.
bool LEmailBackupWaitsForMailbox(LAppDatabaseAccount& db);

// The "Email Backup" folder inside a cloud-synchronised folder (made when
// missing). Runs in the desktop process.
bool LEmailBackupFolderPath(const char16_t* candidate, LString& out);

// Asks the desktop process for a folder (desktop request 5); the service
// engine defines it, a weak stand-in answers "none" until then.
bool LAskDesktopForFolder(char16_t out[260]);
