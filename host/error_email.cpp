#include "host/error_email.h"

#include <cstdlib>
#include <mutex>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/thread.h"
#include "foundation/time_source.h"
#include "foundation/wait.h"
#include "net/smtp/smtp_sender.h"

namespace {

constexpr const char16_t* kSection = u"EmailErrors";
constexpr int64_t kMaxDelaySeconds = 86400;
// What one message gathers at most: a loop that logs an error per
// millisecond must not grow the service without bound.
constexpr size_t kMaxPendingBytes = 64 * 1024;

class LErrorEmailThread : public LThread {
public:
    LErrorEmailThread() : LThread("LErrorEmailThread") {}
    ~LErrorEmailThread() override { Stop(); }
    void Run() override;
    void SendOne(const std::string& body);

    std::mutex lock;
    std::string pending;
    bool pending_cut = false;
    int64_t silent_until = 0;
    bool ending = false;
    bool sending = false;
};

// Made at first use and kept to the end of the process: the log may call
// in from any thread while static objects go away at exit.
LErrorEmailThread& TheThread() {
    static LErrorEmailThread* t = new LErrorEmailThread;
    return *t;
}

std::u16string ReadSetting(const char16_t* section, const char16_t* name) {
    char16_t out[260] = {0};
    LRegSettingsGet(section, name, u"", out);
    return out;
}

}  // namespace

int64_t LErrorEmailDelaySeconds() {
    char16_t out[260] = {0};
    if (!LRegSettingsGet(kSection, u"DelayAfterError", u"20", out)) return 20;
    std::string text = LToUtf8(out);
    while (!text.empty() && text[0] == ' ') text.erase(0, 1);
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str()) return text.empty() ? 20 : 0;
    if (v < 0) return 0;
    return v > kMaxDelaySeconds ? kMaxDelaySeconds : v;
}

bool LErrorEmailIsOn() {
    std::u16string on = ReadSetting(kSection, u"On");
    return !on.empty() && on[0] != u'0';
}

std::string LErrorEmailBody(const std::string& lines) {
    return "Porlinex logged the following error message:\r\n\r\n" + lines +
           "\r\nTo adjust when and to whom these messages are sent, open Service Settings from the Options dialog of "
           "Porlinex.";
}

void LErrorEmailQueueLine(const char* text) {
    LErrorEmailThread& t = TheThread();
    if (!LErrorEmailIsOn()) return;
    std::lock_guard<std::mutex> g(t.lock);
    if (t.ending || LNow() < t.silent_until) return;
    if (t.pending.size() < kMaxPendingBytes) {
        t.pending.append(text ? text : "");
        t.pending.append("\r\n");
    } else if (!t.pending_cut) {
        t.pending_cut = true;
        t.pending.append("(more error lines were left out)\r\n");
    }
    if (!t.sending) {
        // A thread that has finished its last message may not have ended
        // yet: it is joined (at once) so that Start runs a new one.
        if (t.IsRunning()) t.Stop();
        t.sending = true;
        t.Start(LThreadPriorityLowest);
    }
}

void LErrorEmailThread::Run() {
    int64_t delay = LErrorEmailDelaySeconds();
    if (delay > 0 && WaitStop(static_cast<uint32_t>(delay * 1000)) == LWaitStopped) {
        std::lock_guard<std::mutex> g(lock);
        sending = false;
        return;
    }
    for (;;) {
        std::string body;
        {
            std::lock_guard<std::mutex> g(lock);
            silent_until = LNow() + LErrorEmailDelaySeconds() * 60;
            body = LErrorEmailBody(pending);
            pending.clear();
            pending_cut = false;
        }
        SendOne(body);
        // Lines logged while this message was sent were accepted only when
        // there is no silence (a delay of 0): they go now, not with the next
        // error, which may never come.
        std::lock_guard<std::mutex> g(lock);
        if (pending.empty() || ending || IsStopRequested()) {
            sending = false;
            return;
        }
    }
}

void LErrorEmailThread::SendOne(const std::string& body) {
    std::u16string to = ReadSetting(kSection, u"Email");
    std::u16string reply_to = ReadSetting(LEmailSettingsSection, u"ReplyToEmail");
    LString body16 = LFromUtf8(body);
    LEmailSetDefaultSmtpSettings();
    LSettingsEmail email;
    email.to = to.c_str();
    email.subject = u"Porlinex Error";
    email.body = body16.c_str();
    size_t n = 0;
    for (; n + 1 < 260 && n < reply_to.size(); ++n) email.replyTo[n] = reply_to[n];
    email.replyTo[n] = 0;
    // The outcome is not reported: a failure would only log another error,
    // which the silence drops anyway.
    LNetOpResult result;
    LSendEmailUsingEmailSettings(result, *this, email);
}

void LErrorEmailStart() {
    {
        LErrorEmailThread& t = TheThread();
        std::lock_guard<std::mutex> g(t.lock);
        t.ending = false;
    }
    LSetErrorEmailQueue(LErrorEmailQueueLine);
}

void LErrorEmailStop() {
    LSetErrorEmailQueue(nullptr);
    LErrorEmailThread& t = TheThread();
    {
        std::lock_guard<std::mutex> g(t.lock);
        t.ending = true;
        t.pending.clear();
    }
    t.Stop();
}

bool LErrorEmailWaitSent(uint32_t ms) {
    LErrorEmailThread& t = TheThread();
    uint64_t end = LTickCount64() + ms;
    for (;;) {
        {
            std::lock_guard<std::mutex> g(t.lock);
            if (!t.sending) return true;
        }
        if (LTickCount64() >= end) return false;
        LPlainWait().WaitStop(50);
    }
}
