#pragma once
// The background mailer: the system's own notices (the log-on details given
// to a web user) are queued and sent by one lowest-priority worker, "BGEmail",
// through the settings section "Email", with growing pauses between retries.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/thread.h"
#include "net/net_socket.h"
#include "net/smtp/smtp_message.h"
#include "platform/event.h"

struct LBackgroundMailJob {
    LBackgroundMailJob* next = nullptr;
    char16_t recipient[260] = {};
    LString subject;
    LString body;
    char16_t senderAddress[260] = {};
    char16_t senderName[260] = {};
    char16_t replyTo[260] = {};
    std::vector<std::u16string> attachmentPaths;
    uint8_t deleteFiles = 0;  // the job owns its attachment files
    int32_t attempts = 0;     // failed attempts so far
    uint32_t lastAttempt = 0; // tick of the last failed attempt

    // The sender address is the first word of the sender text (a quoted
    // word may hold blanks). Null when no memory is left.
    static LBackgroundMailJob* Create(const char16_t* recipient, const char16_t* body, const char16_t* senderText);
    // Deletes the attachment files when the job owns them, then the job.
    void Free();

private:
    LBackgroundMailJob() = default;
};

// The pause before retry n is at least n x the retry unit since the n-th
// failure (ticks compared as unsigned 32-bit differences).
constexpr uint32_t LBackgroundMailRetryUnitMs = 600000;
constexpr uint32_t LBackgroundMailFailedPauseMs = 120000;
constexpr uint32_t LBackgroundMailIdleWaitMs = 86400000;
constexpr int32_t LBackgroundMailMaxAttempts = 16;
bool LBackgroundMailRetryDue(int32_t attempts, uint32_t lastAttempt, uint32_t now, uint32_t unitMs);

class LBackgroundMailer : public LThread {
public:
    using SendFunc = LNetOpResult (*)(LNetOpResult&, LTaskProgress&, const LSettingsEmail&);

    LBackgroundMailer();
    // Frees every job still queued or waiting for its retry (with its files
    // when it owns them) after the worker has stopped.
    ~LBackgroundMailer() override;

    // Takes the job, wakes the worker and starts it when it is not running.
    void Queue(LBackgroundMailJob* job);
    // Waits until the pending list is empty (jobs waiting for a retry do not
    // count); false at the time-out.
    bool WaitQueueEmpty(uint32_t ms);

    void Run() override;
    // The sends report here: errors and status lines go to the log.
    void ShowError(const char16_t* text) override;
    void SetStatusText(const char16_t* text, int line) override;

    // Test hooks: shorter pauses (the retry unit also bounds the wait while
    // retries are pending) and another send routine.
    void SetPausesForTests(uint32_t retryUnitMs, uint32_t failedPauseMs);
    void SetSendForTests(SendFunc send);

private:
    LBackgroundMailJob* TakePending();
    LBackgroundMailJob* TakeDueRetry();
    void AppendRetry(LBackgroundMailJob* job);
    uint32_t WaitWake(uint32_t ms);
    void Send(LBackgroundMailJob* job);

    std::recursive_mutex lock_;
    LBackgroundMailJob* pending_ = nullptr;  // first in, first out
    LBackgroundMailJob* retry_ = nullptr;    // the worker's alone
    LEvent wake_{true, false};
    LEvent queueEmpty_{true, true};
    uint32_t retryUnitMs_ = LBackgroundMailRetryUnitMs;
    uint32_t failedPauseMs_ = LBackgroundMailFailedPauseMs;
    SendFunc send_;
};

// The process's mailer, built on first use and stopped at exit.
LBackgroundMailer& LBackgroundMailerInstance();
