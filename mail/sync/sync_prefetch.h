#pragma once
// The download side of a mailbox walk on a thread of its own: it fetches and
// parses the next batches while the worker stores the one before. The IMAP
// connection belongs to this thread until it ends, the database to the
// worker. At most kQueued batches wait, so the memory a walk holds stays
// bounded however far the server is ahead of the store.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "foundation/thread.h"
#include "mail/sync/sync_scan.h"
#include "platform/event.h"

// One batch as the download side hands it over: its UIDs in order, and how
// the download ended (Done: the walk goes on unless this was the last).
struct EMLEmailAccGetter::FetchedBatch {
    std::vector<Fetched> items;
    MailboxEnd end = MailboxEnd::Done;
    bool last = false;
};

class EMLEmailAccGetter::Prefetch : public LThread {
public:
    // Every reference must outlive the thread (the destructor joins it).
    Prefetch(EMLEmailAccGetter& worker, LImapConnection& imap, const std::vector<uint32_t>& uids,
             const std::vector<uint32_t>& stored, const Scan& scan, std::set<uint32_t> failedBefore);
    ~Prefetch() override;

    // The worker's side: the next batch in UID order; false when the worker
    // was asked to stop before one came.
    bool Next(FetchedBatch& batch);

    void Run() override;
    // The IMAP client's reasons go where the worker reports them from.
    void ShowError(const char16_t* text) override;

private:
    // Waits for room; false when this thread is asked to stop.
    bool Push(FetchedBatch&& batch);

    static constexpr size_t kQueued = 2;
    EMLEmailAccGetter& worker_;
    LImapConnection& imap_;
    const std::vector<uint32_t>& uids_;
    const std::vector<uint32_t>& stored_;
    Scan scan_;  // a copy: the worker updates its own as it stores
    std::set<uint32_t> failedBefore_;
    std::mutex lock_;
    std::deque<FetchedBatch> queue_;
    LEvent ready_{true, false};  // set while a batch waits
    LEvent room_{true, true};    // set while fewer than kQueued wait
};
