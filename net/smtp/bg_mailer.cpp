#include "net/smtp/bg_mailer.h"

#include <unistd.h>

#include <new>

#include "foundation/log.h"
#include "foundation/thread_table.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "net/smtp/smtp_sender.h"

LBackgroundMailJob* LBackgroundMailJob::Create(const char16_t* recipient, const char16_t* body,
                                               const char16_t* senderText) {
    LBackgroundMailJob* job = new (std::nothrow) LBackgroundMailJob;
    if (!job) return nullptr;
    LCopyField(job->recipient, recipient);
    job->subject.Assign(u"Porlinex: Logon Details");
    job->body.Assign(body);
    const char16_t* p = senderText ? senderText : u"";
    while (*p == u' ' || *p == u'\t') ++p;
    size_t n = 0;
    if (*p == u'"') {
        ++p;
        while (p[n] && p[n] != u'"') ++n;
    } else {
        while (p[n] && p[n] != u' ' && p[n] != u'\t') ++n;
    }
    if (n > 259) n = 259;
    for (size_t i = 0; i < n; ++i) job->senderAddress[i] = p[i];
    job->senderAddress[n] = 0;
    return job;
}

void LBackgroundMailJob::Free() {
    if (deleteFiles)
        for (const auto& path : attachmentPaths) unlink(LToUtf8(path.c_str()).c_str());
    delete this;
}

bool LBackgroundMailRetryDue(int32_t attempts, uint32_t lastAttempt, uint32_t now, uint32_t unitMs) {
    return uint64_t(uint32_t(attempts)) * unitMs < uint64_t(uint32_t(now - lastAttempt));
}

LBackgroundMailer::LBackgroundMailer() : LThread("BGEmail"), send_(&LSendEmailUsingEmailSettings) {}

LBackgroundMailer::~LBackgroundMailer() {
    Stop();
    for (LBackgroundMailJob* list : {pending_, retry_}) {
        while (list) {
            LBackgroundMailJob* next = list->next;
            list->Free();
            list = next;
        }
    }
}

void LBackgroundMailer::SetPausesForTests(uint32_t retryUnitMs, uint32_t failedPauseMs) {
    retryUnitMs_ = retryUnitMs;
    failedPauseMs_ = failedPauseMs;
}

void LBackgroundMailer::SetSendForTests(SendFunc send) { send_ = send ? send : &LSendEmailUsingEmailSettings; }

void LBackgroundMailer::Queue(LBackgroundMailJob* job) {
    if (!job) return;
    {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        job->next = nullptr;
        LBackgroundMailJob** end = &pending_;
        while (*end) end = &(*end)->next;
        *end = job;
        queueEmpty_.Reset();
    }
    wake_.Set();
    Start(LThreadPriorityLowest);
}

bool LBackgroundMailer::WaitQueueEmpty(uint32_t ms) { return queueEmpty_.Wait(ms) == 0; }

void LBackgroundMailer::ShowError(const char16_t* text) { LLogErrorF("Sending Email: %s", LToUtf8(text).c_str()); }

void LBackgroundMailer::SetStatusText(const char16_t* text, int) {
    LLogInfoF("Sending Email: %s", LToUtf8(text).c_str());
}

LBackgroundMailJob* LBackgroundMailer::TakePending() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    LBackgroundMailJob* job = pending_;
    if (job) {
        pending_ = job->next;
        job->next = nullptr;
    } else {
        queueEmpty_.Set();
    }
    return job;
}

LBackgroundMailJob* LBackgroundMailer::TakeDueRetry() {
    uint32_t now = LTickCount();
    for (LBackgroundMailJob** at = &retry_; *at; at = &(*at)->next) {
        LBackgroundMailJob* job = *at;
        if (LBackgroundMailRetryDue(job->attempts, job->lastAttempt, now, retryUnitMs_)) {
            *at = job->next;
            job->next = nullptr;
            return job;
        }
    }
    return nullptr;
}

void LBackgroundMailer::AppendRetry(LBackgroundMailJob* job) {
    LBackgroundMailJob** end = &retry_;
    while (*end) end = &(*end)->next;
    job->next = nullptr;
    *end = job;
}

uint32_t LBackgroundMailer::WaitWake(uint32_t ms) {
    LHandleList list;
    list.handles[0] = wake_.Handle();
    list.count = 1;
    return WaitHandles(list, ms);
}

void LBackgroundMailer::Send(LBackgroundMailJob* job) {
    LEmailSetDefaultSmtpSettings();
    std::vector<const char16_t*> paths;
    for (const auto& p : job->attachmentPaths) paths.push_back(p.c_str());
    LSettingsEmail email;
    email.to = job->recipient;
    email.subject = job->subject.c_str();
    email.body = job->body.c_str();
    email.attachmentPaths = paths.empty() ? nullptr : paths.data();
    email.attachmentCount = paths.size();
    LCopyField(email.sender, job->senderAddress);
    LCopyField(email.senderName, job->senderName);
    LCopyField(email.replyTo, job->replyTo);

    if (job->attempts != 0 && WaitWake(failedPauseMs_) == LWaitStopped) {
        job->Free();
        return;
    }
    LNetOpResult result = LNetFailed;
    send_(result, *this, email);
    if (result == LNetFailed && ++job->attempts < LBackgroundMailMaxAttempts) {
        job->lastAttempt = LTickCount();
        AppendRetry(job);
        return;
    }
    // A notice that never went out is worth a line: the user it was meant
    // for will otherwise wait for it in vain.
    if (result == LNetFailed)
        LLogErrorF("Sending Email: gave up after %d attempts to send to %s", int(job->attempts),
                   LToUtf8(job->recipient).c_str());
    job->Free();
}

void LBackgroundMailer::Run() {
    LThreadSetTagW(u"BGEmail");
    while (!IsStopRequested()) {
        wake_.Reset();
        LBackgroundMailJob* job = TakePending();
        if (!job) job = TakeDueRetry();
        if (!job) {
            if (!retry_) {
                WaitWake(LBackgroundMailIdleWaitMs);
            } else if (!(job = TakeDueRetry())) {
                WaitWake(retryUnitMs_);
            }
            if (!job) continue;
        }
        Send(job);
    }
    queueEmpty_.Set();
}

LBackgroundMailer& LBackgroundMailerInstance() {
    static LBackgroundMailer mailer;
    return mailer;
}
