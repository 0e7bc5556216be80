#include <string.h>

#include <algorithm>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/store/accounts.h"
#include "mail/sync/sync_worker.h"
#include "web/http/activity_log.h"

EMLEmailAccGetter::EMLEmailAccGetter() : LThread("EMLEmailAccGetter") {}

EMLEmailAccGetter::~EMLEmailAccGetter() {
    Stop();
    explicit_bzero(password, sizeof password);
}

void EMLEmailAccGetter::SetAccount(const char16_t* id, const char16_t* incoming, const char16_t* email,
                                   const char16_t* secret) {
    LCopyField(accountId, id ? id : u"");
    LCopyField(server, incoming ? incoming : u"");
    LCopyField(user, email ? email : u"");
    LCopyField(password, secret ? secret : u"");
}

uint32_t EMLEmailAccGetter::RequestRound(bool& needWake) {
    std::lock_guard<std::mutex> g(statusLock_);
    // Every request is served by a pass that begins after it: a worker in
    // IDLE watches INBOX only, and a running pass may already be past some
    // mailboxes. The wake event makes the worker start that pass as soon as
    // it is free.
    if (oneShotDone_) {
        needWake = false;
        return completedPass_;
    }
    requestedPass_++;
    needWake = true;
    return requestedPass_;
}

bool EMLEmailAccGetter::RoundDone(uint32_t pass) {
    std::lock_guard<std::mutex> g(statusLock_);
    return completedPass_ >= pass;
}

void EMLEmailAccGetter::GetStatus(LMailSyncStatus& out) {
    std::lock_guard<std::mutex> g(statusLock_);
    out.state = state_;
    out.mailboxesDone = mailboxesDone_;
    out.mailboxesTotal = mailboxesTotal_;
    LCopyField(out.currentMailbox, currentMailbox_);
    LCopyField(out.lastError, lastError_);
    int64_t percent = 0;
    if (mailboxesTotal_ > 0) {
        if (toScan_ < 1)
            percent = int64_t(mailboxesDone_) * 100 / mailboxesTotal_;
        else
            percent = (int64_t(mailboxesDone_) * toScan_ + scanned_) * 100 / (int64_t(mailboxesTotal_) * toScan_);
    }
    if (state_ == LMailSyncUpdating && percent > 99) percent = 99;
    out.percent = static_cast<int32_t>(percent);
}

void EMLEmailAccGetter::SetState(int32_t state, bool passDone) {
    std::lock_guard<std::mutex> g(statusLock_);
    state_ = state;
    if (state == LMailSyncUpdating) {
        mailboxesDone_ = mailboxesTotal_ = scanned_ = toScan_ = 0;
        currentMailbox_[0] = 0;
        servingPass_ = requestedPass_;
        inPass_ = true;
        passEnded.Reset();
    }
    if (passDone) {
        // A pass serves the requests made before it began; an attempt that
        // ended before any pass (no sign-in) answers every waiter.
        uint32_t reached = inPass_ ? servingPass_ : requestedPass_;
        if (completedPass_ < reached) completedPass_ = reached;
        inPass_ = false;
        passEnded.Set();
    }
}

void EMLEmailAccGetter::FinishOneShot() {
    std::lock_guard<std::mutex> g(statusLock_);
    if (state_ == LMailSyncUpdating) state_ = LMailSyncError;  // stopped inside its pass
    completedPass_ = requestedPass_;
    inPass_ = false;
    oneShotDone_ = true;
}

void EMLEmailAccGetter::SetProgress(int32_t done, int32_t total, int32_t scanned, int32_t toScan) {
    std::lock_guard<std::mutex> g(statusLock_);
    total = std::max(total, 0);
    toScan = std::max(toScan, 0);
    if (total > 0) done = std::clamp(done, 0, total);
    scanned = toScan < 1 ? 0 : std::clamp(scanned, 0, toScan);
    mailboxesDone_ = done;
    mailboxesTotal_ = total;
    scanned_ = scanned;
    toScan_ = toScan;
}

void EMLEmailAccGetter::SetCurrentMailbox(const char16_t* text) {
    std::lock_guard<std::mutex> g(statusLock_);
    LCopyField(currentMailbox_, text ? text : u"");
}

void EMLEmailAccGetter::SetLastError(const char16_t* text) {
    std::lock_guard<std::mutex> g(statusLock_);
    LCopyField(lastError_, text ? text : u"");
}

bool EMLEmailAccGetter::ReportImapFailure(const char* operation, const char* mailbox) {
    LWideFromUTF8 op(operation), name(mailbox);
    LActivityLogError(u"IMAP %s failed for folder %s", op.text, name.text);
    LString error;
    error.Format(u"Unable to read mailbox %s.", name.text);
    SetLastError(error.c_str());
    listRefreshForced_ = true;
    return true;
}

bool EMLEmailAccGetter::WaitForWake(uint32_t ms) {
    uint32_t r = WaitHandle(wake.Handle(), ms);
    wake.Reset();
    return r != LWaitStopped && !IsStopRequested();
}
