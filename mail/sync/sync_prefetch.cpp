#include "mail/sync/sync_prefetch.h"

#include <algorithm>
#include <utility>

EMLEmailAccGetter::Prefetch::Prefetch(EMLEmailAccGetter& worker, LImapConnection& imap,
                                      const std::vector<uint32_t>& uids, const std::vector<uint32_t>& stored,
                                      const Scan& scan, std::set<uint32_t> failedBefore)
    : LThread("EMLEmailFetch"),
      worker_(worker),
      imap_(imap),
      uids_(uids),
      stored_(stored),
      scan_(scan),
      failedBefore_(std::move(failedBefore)) {}

EMLEmailAccGetter::Prefetch::~Prefetch() { Stop(); }

void EMLEmailAccGetter::Prefetch::ShowError(const char16_t* text) { worker_.ShowError(text); }

void EMLEmailAccGetter::Prefetch::Run() {
    size_t i = 0, si = 0, count = LMailSyncFirstBatchMessages;
    for (;;) {
        // Nothing overlaps the store and copy-back of a walk's last batch:
        // a large remainder leaves its last few messages to a small batch
        // of their own, stored while the rest are copied back.
        const size_t left = uids_.size() - i;
        if (left <= count && left > 2 * static_cast<size_t>(LMailSyncFirstBatchMessages))
            count = left - LMailSyncFirstBatchMessages;
        FetchedBatch batch;
        batch.end = worker_.FetchBatch(*this, imap_, uids_, i, si, count, stored_, scan_, failedBefore_, batch.items);
        batch.last = batch.end != MailboxEnd::Done || i >= uids_.size();
        const bool last = batch.last;
        if (!Push(std::move(batch)) || last) return;
        count = std::min<size_t>(count * 2, LMailSyncBatchMessages);
    }
}

bool EMLEmailAccGetter::Prefetch::Push(FetchedBatch&& batch) {
    for (;;) {
        {
            std::lock_guard<std::mutex> g(lock_);
            if (queue_.size() < kQueued) {
                queue_.push_back(std::move(batch));
                if (queue_.size() >= kQueued) room_.Reset();
                ready_.Set();
                return true;
            }
        }
        if (WaitHandle(room_.Handle(), LInfinite) != LWaitDone) return false;
    }
}

bool EMLEmailAccGetter::Prefetch::Next(FetchedBatch& batch) {
    for (;;) {
        // Read before the queue: a thread that has ended queued all it ever
        // will (a thread that could not be started, nothing).
        const bool ended = !IsRunning();
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!queue_.empty()) {
                batch = std::move(queue_.front());
                queue_.pop_front();
                if (queue_.empty()) ready_.Reset();
                room_.Set();
                return true;
            }
        }
        if (ended || worker_.WaitHandle(ready_.Handle(), 1000) == LWaitStopped) return false;
    }
}
