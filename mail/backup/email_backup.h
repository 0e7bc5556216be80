#pragma once
// The plain-file copy of the mail store: one .eml file per live message in a
// folder per month, an index page per month, old months packed into zip
// archives. The worker EMLBackup runs a round at start, once a day and when
// woken (new settings, new mail).
#include <cstdint>
#include <ctime>
#include <string>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "foundation/task_progress.h"

// Registry section and values.
constexpr const char16_t* LEmailBackupSection = u"EmailBackup";
// The export sequence number the last complete round had reached: mail
// that arrives late, is moved in with an old Date or is downloaded again
// after a purge is above it.
constexpr const char16_t* LEmailBackupSequenceValue = u"LastDoneSequence";

// Makes the export sequence (a number for every inserted message row, never
// reused) when it is missing, numbering the rows that exist; made tells
// that it was made now (a stored mark means nothing then). False when it
// could not be made (logged).
bool LEmailBackupEnsureSequence(LAppDatabaseAccount& db, bool& made);
// The highest number handed out so far; -1 when it cannot be read.
int64_t LEmailBackupSequenceMark(LAppDatabaseAccount& db);

// Header pieces of the .eml writer.
// CR and LF removed, at most 259 units.
void LEmailStripLineBreaks(const char16_t* text, char16_t out[260]);
// CR and LF removed, appended as UTF-8 whole.
void LEmailAppendWithoutLineBreaks(const char16_t* text, LStringA& out);
// CR and LF dropped; then ASCII as it is, else UTF-8 in encoded words of at
// most 45 bytes each, never cut inside a character, on continuation lines.
void LEmailEncodeHeaderWord(const char16_t* text, LStringA& out);
// An address list as a header value: each display name that is not ASCII
// in encoded words, an ASCII one with specials quoted, every address as it
// is, one item per line; nothing cut.
void LEmailEncodeAddressList(const char16_t* list, LStringA& out);
void LEmailFormatRfc5322Date(time_t t, LStringA& out);

// The message's place in the backup: SENT_UTC, or RECEIVED_UTC for mail
// stored without a Date header. False when neither is above 0.
bool LEmailBackupMessageTime(int64_t sent_utc, int64_t received_utc, time_t& out);
// "YYYY-MM" and "YYYY-MM-DD HH-MM-SS" (UTC); false for a time of 0 or less.
bool LEmailBackupMonthFolder(time_t t, char16_t month[260], char16_t stamp[260]);
// The file name "<stamp> <from> <to> <subject> <key>.eml", cut on a UTF-8
// boundary so that it and its ".tmp" twin fit a Linux file name (255
// bytes); the key always ends it.
void LEmailBackupFileName(const char16_t* stamp, const char16_t* from, const char16_t* to, const char16_t* subject,
                          const char16_t* key, LString& out);
// What names a message in the backup across a purge and a new download,
// when its store ID changes: its account and Message-ID, else its place on
// the server (mailbox, UIDVALIDITY, UID), else (a local row without a
// Message-ID) its store ID. The same message twice in one account (a
// label view, a copy) is one file.
struct LEmailBackupIdentity {
    const char16_t* id = u"";
    const char16_t* accountId = u"";
    const char16_t* messageId = u"";
    const char16_t* mailboxId = u"";
    int64_t uidValidity = 0;
    int64_t uid = 0;
};
void LEmailBackupMessageKey(const LEmailBackupIdentity& m, LString& out);
// The columns both the export and the index read first, in this order, and
// the key, month and file name of a row read with them.
constexpr const char16_t* LEmailBackupNameColumns =
    u"ID, ACCOUNT_ID, COALESCE(MESSAGE_ID, ''), MAILBOX_ID, UIDVALIDITY, UID, FROM_TEXT, TO_TEXT, SUBJECT, SENT_UTC, "
    u"RECEIVED_UTC";
struct LEmailBackupNamedRow {
    LString id, accountId, messageId, mailboxId, from, to, subject, key, fileName;
    char16_t month[260] = {0};
    time_t time = 0;
};
// False when the row has no time to place it by.
bool LEmailBackupReadNamedRow(LAppDatabaseCursor& c, LEmailBackupNamedRow& out);
// Month folder names "YYYY-MM".
bool LEmailBackupIsMonthName(const char* name);

struct LEmailBackupMessage {
    LEmailBackupNamedRow row;
    LString cc, bcc, reply_to, in_reply_to, references, body_text, body_html;
};
// Writes the message as "<path>.tmp" and moves it onto the path. Every
// attachment row is written with what exists: an empty part for an empty
// file, a short text part naming a file the cache does not hold.
bool LEmailBackupWriteEml(LAppDatabaseAccount& db, const LEmailBackupMessage& m, const char16_t* path);

// What failed in a round: a full disk fails every file alike, so the round
// logs one line with the count and the first cause, not one per file. It
// also counts the message files written, for the round's status.
struct LEmailBackupFailures {
    int count = 0;
    int written = 0;
    std::string first;
    // Records "<what> <path>: <errno's text>".
    void Add(const char* what, const char16_t* path);
    void Log() const;
};

// since_time 0 and since_seq 0: everything; else rows above the sequence
// mark or with either time at or after since_time. earliest: the earliest message
// time written (0 when none), whose month's index page must be rewritten.
// True when nothing failed and no stop ended it early.
bool LEmailBackupExport(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                        int64_t since_time, int64_t since_seq, time_t& earliest, LEmailBackupFailures& failed);
// The index pages of the month folders not before the month of
// last_done_utc (every one when it is 0). True when every page was written.
bool LEmailBackupWriteIndexes(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                              int64_t last_done_utc, LEmailBackupFailures& failed);
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
