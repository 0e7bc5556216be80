#pragma once
// EMLEmailAccGetter: one synchronisation worker. An account worker (mode 0)
// runs passes over every mailbox of its account for as long as it lives; a
// one-shot worker syncs one mailbox (mode 1) or refreshes the mailbox list
// (mode 2) once for a caller that waits. Callers on other threads touch a
// worker only through its status lock, its wake event and its atomics.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/string_list.h"
#include "foundation/thread.h"
#include "net/imap/imap_client.h"
#include "platform/event.h"

class LMailSyncCheckpointer;

enum LMailSyncState : int32_t {
    LMailSyncNotConfigured = 0,
    LMailSyncError = 1,
    LMailSyncUpdating = 2,
    LMailSyncUpToDate = 3,
    LMailSyncWaiting = 4,
};

enum LMailSyncMode : int32_t {
    LMailSyncModeAccount = 0,
    LMailSyncModeMailbox = 1,
    LMailSyncModeList = 2,
};

// Time between passes on a server without IDLE, and after a failure to
// connect or sign in.
constexpr uint32_t LMailSyncWaitMs = 60000;
// After a failed pass the next connection waits this long, doubled after
// each further failure up to LMailSyncWaitMs; a complete pass resets it.
constexpr uint32_t LMailSyncBackoffFirstMs = 2000;
// A UID whose store fails in this many passes running is passed over.
constexpr int LMailSyncStoreAttempts = 3;
// Messages stored in one transaction at most (the mark advances with them).
constexpr int LMailSyncBatchMessages = 128;
// A walk's first batch holds this many, each next one twice as many up to
// the most: the store starts on the first messages while the rest are still
// downloading.
constexpr int LMailSyncFirstBatchMessages = 16;
// From this many WAL pages on, the checkpoint thread is asked at a pass's
// end to copy back what is left (fewer are left to the next checkpoint).
constexpr int LMailSyncPassCheckpointPages = 1000;

struct LMailSyncStatus {
    int32_t state = 0;
    int32_t percent = 0;
    int32_t mailboxesDone = 0;
    int32_t mailboxesTotal = 0;
    char16_t currentMailbox[260] = {};
    char16_t lastError[260] = {};
};

// One queued server move as the database keeps it.
struct LMailSyncMove {
    int64_t seq = 0;
    char16_t messageId[260] = {};
    char16_t sourceMailboxId[260] = {};
    char16_t targetMailboxId[260] = {};
    uint32_t uid = 0;
    uint32_t uidValidity = 0;
    bool isDelete = false;
    int32_t attempts = 0;
};

// After a failed command: true when the connection still answers (the
// server refused that command), false when it is gone.
bool LMailSyncConnectionAlive(LImapConnection& imap, LTaskProgress& progress);

class EMLEmailAccGetter : public LThread {
public:
    EMLEmailAccGetter();
    ~EMLEmailAccGetter() override;

    EMLEmailAccGetter* next = nullptr;
    EMLEmailAccGetter* startNext = nullptr;  // the list of workers one call creates
    char16_t accountId[260] = {};
    char16_t server[260] = {};
    char16_t user[260] = {};
    char16_t password[260] = {};
    LEvent wake{true, false};
    // Set when a pass ends, reset when one begins: a caller waiting for a
    // pass sees it end at once rather than at its next poll.
    LEvent passEnded{true, false};

    std::atomic<int32_t> mode{LMailSyncModeAccount};
    std::atomic<int32_t> finished{0};
    std::atomic<int32_t> retired{0};
    std::atomic<int32_t> inUse{0};
    // Mode 1 only; set before the thread starts.
    char16_t targetMailboxId[260] = {};
    char16_t targetMailboxName[260] = {};

    void SetAccount(const char16_t* id, const char16_t* incoming, const char16_t* email, const char16_t* secret);
    uint32_t RequestRound(bool& needWake);
    bool RoundDone(uint32_t pass);
    void GetStatus(LMailSyncStatus& out);
    void SetState(int32_t state, bool passDone);
    void SetProgress(int32_t done, int32_t total, int32_t scanned, int32_t toScan);
    void SetCurrentMailbox(const char16_t* text);
    void SetLastError(const char16_t* text);
    bool ReportImapFailure(const char* operation, const char* mailbox);
    // Carries out the account's queued server moves in order. 0 every move
    // done or, when the server refused it, its row moved back; 1 stop; 2 the
    // connection was lost (the move stays queued for the next one).
    int ApplyServerMoves(LAppDatabaseAccount& db, LImapConnection& imap);
    int ApplyServerMove(LAppDatabaseAccount& db, LImapConnection& imap, const LMailSyncMove& move);
    bool RefreshMailboxList(LAppDatabaseAccount& db, LImapConnection& imap, LStringList& list);

    void Run() override;
    // What the IMAP client reported last (its cause of a failure).
    void ShowError(const char16_t* text) override;

private:
    // A one-shot worker's end: every request made of it is answered.
    void FinishOneShot();
    enum class PassEnd { NextPass, EndConnection, Failed };
    enum class MailboxEnd { Done, Skipped, Stopped, Failed };

    void RunConnection(bool oneShot);
    PassEnd RunPass(LAppDatabaseAccount& db, LImapConnection& imap, LStringList& list, bool idleOffered,
                    bool oneShot);
    PassEnd AbortPass(LAppDatabaseAccount& db);
    struct Scan;
    struct Fetched;
    struct FetchedBatch;
    class Prefetch;
    // Takes the next batch of at most `count` of `uids` from i on (si walks
    // `stored` alongside) and parses each message; runs on the download
    // thread, which `progress` is. A UID in `failedBefore` is never asked for
    // in a set.
    MailboxEnd FetchBatch(LTaskProgress& progress, LImapConnection& imap, const std::vector<uint32_t>& uids, size_t& i,
                          size_t& si, size_t count, const std::vector<uint32_t>& stored, const Scan& scan,
                          const std::set<uint32_t>& failedBefore, std::vector<Fetched>& items);
    // One more pass in which the UID failed; true (with the error line) when
    // that makes it one to pass over.
    bool CountFailure(std::map<uint32_t, int>& failures, uint32_t uid, const char* mailbox, const char* what);
    // Brings FLAGS of the stored messages up to the server's; false when the
    // server's answer could not be had or stored.
    bool RefreshFlags(LAppDatabaseAccount& db, LImapConnection& imap, const Scan& scan, uint64_t changedSince);
    MailboxEnd ScanUids(LAppDatabaseAccount& db, LImapConnection& imap, const std::vector<uint32_t>& uids,
                        Scan& scan);
    MailboxEnd SyncMailbox(LAppDatabaseAccount& db, LImapConnection& imap, const char* name, LStringList& list,
                           int32_t done, int32_t total);
    // The sync connection's WAL hook: notes the pages in the WAL after each
    // commit and checkpoints once they are many.
    static int WalCommitted(void* self, sqlite3* handle, const char* schema, int pages);
    // Waits for wake or stop; resets the wake event. False on stop.
    bool WaitForWake(uint32_t ms);
    void LoadMailboxList(LAppDatabaseAccount& db, LStringList& list);

    std::mutex statusLock_;
    uint32_t requestedPass_ = 0;
    uint32_t completedPass_ = 0;
    uint32_t servingPass_ = 0;  // the requested pass when the running pass began
    bool inPass_ = false;
    bool oneShotDone_ = false;
    int32_t state_ = LMailSyncNotConfigured;
    int32_t mailboxesDone_ = 0, mailboxesTotal_ = 0, scanned_ = 0, toScan_ = 0;
    char16_t currentMailbox_[260] = {};
    char16_t lastError_[260] = {};

    // Worker thread only.
    bool listRefreshForced_ = false;
    bool condstore_ = false;  // the connection's server offers CONDSTORE
    int walPages_ = 0;        // pages in the WAL after the last commit
    LMailSyncCheckpointer* checkpointer_ = nullptr;  // the connection's, while it lives
    LString clientError_;
    uint32_t backoffMs_ = 0;
    // Per mailbox ID: the UIDs whose download or store has been failing,
    // each with the number of passes it failed in.
    std::map<std::u16string, std::map<uint32_t, int>> storeFailures_;
};
