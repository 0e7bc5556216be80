#include "foundation/exe_task.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/child_process.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "platform/wait.h"

namespace {

// Constant-initialised, so tasks registered by static initialisers of any
// file find it ready.
LExeTask* g_tasks = nullptr;

constexpr uint8_t kStopByte = 255;
constexpr uint32_t kSilenceLimitMs = 86400000;

bool Equal(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

}  // namespace

LExeTask::LExeTask(const char16_t* task_name) : name(task_name) {
    next = g_tasks;
    g_tasks = this;
}

LExeTask::~LExeTask() {
    for (LExeTask** p = &g_tasks; *p; p = &(*p)->next)
        if (*p == this) {
            *p = next;
            break;
        }
}

// ---- child side ----

void LExeTaskChannel::Send(const void* bytes, size_t n) {
    // A parent that is gone is noticed by IsStopRequested; nothing to do here.
    LPlatformWriteAll(write_, bytes, n);
}

bool LExeTaskChannel::IsStopRequested() {
    uint32_t now = LTickCount();
    if (now - lastKeepAlive_ > 999) {
        uint8_t keep_alive = 19;
        Send(&keep_alive, 1);
        lastKeepAlive_ = now;
    }
    // Anything after the request is the stop byte; an input at its end means
    // the parent is gone, and no one is left to take the result.
    return LPlatformPollReadable(read_, 0);
}

int LExeTaskChannel::WaitStep(const LHandle* handles, uint32_t count, uint32_t ms) {
    std::vector<int> fds(handles, handles + count);
    fds.push_back(read_);
    int r = LPlatformWaitAny(fds.data(), static_cast<uint32_t>(fds.size()), ms);
    return r;
}

uint32_t LExeTaskChannel::WaitStop(uint32_t ms) {
    while (!IsStopRequested()) {
        if (ms == 0) return 0;
        uint32_t step = ms < 300 ? ms : 300;
        WaitStep(nullptr, 0, step);
        if (ms != LInfinite) ms -= step;
    }
    return 1;
}

uint32_t LExeTaskChannel::WaitHandle(LHandle h, uint32_t ms) {
    LHandleList list;
    list.handles[0] = h;
    list.count = 1;
    return WaitHandles(list, ms);
}

uint32_t LExeTaskChannel::WaitHandles(LHandleList& list, uint32_t ms) {
    while (!IsStopRequested()) {
        if (ms == 0) return 2;
        uint32_t step = ms < 300 ? ms : 300;
        int r = WaitStep(list.handles, list.count, step);
        if (r >= 0 && static_cast<uint32_t>(r) < list.count) return 0;
        if (r == LPlatformWaitError) return 2;
        if (ms != LInfinite) ms -= step;
    }
    return 1;
}

void LExeTaskChannel::WriteText(uint8_t type, const char16_t* text) {
    size_t n = LTextLength(text);
    // The length field has 16 bits: a longer text goes as its first 65535 units.
    if (n > 65535) n = 65535;
    std::string msg(3 + n * 2, '\0');
    msg[0] = static_cast<char>(type);
    msg[1] = static_cast<char>(n & 0xFF);
    msg[2] = static_cast<char>(n >> 8);
    for (size_t i = 0; i < n; ++i) {
        msg[3 + 2 * i] = static_cast<char>(text[i] & 0xFF);
        msg[4 + 2 * i] = static_cast<char>(text[i] >> 8);
    }
    Send(msg.data(), msg.size());
}

void LExeTaskChannel::ShowError(const char16_t* text) { WriteText(128, text); }

void LExeTaskChannel::SetStatusText(const char16_t* text, int line) {
    if (line >= 0 && line <= 2) WriteText(static_cast<uint8_t>(129 + line), text);
}

void LExeTaskChannel::SetProgress(double fraction) {
    uint32_t now = LTickCount();
    if (fraction < 1.0 && static_cast<int32_t>(now - nextProgress_) < 0) return;
    uint8_t msg[9];
    msg[0] = 16;
    std::memcpy(msg + 1, &fraction, 8);
    Send(msg, sizeof msg);
    nextProgress_ = now + 250;
}

void LExeTaskChannel::StartMarquee() {
    uint8_t b = 17;
    Send(&b, 1);
}

void LExeTaskChannel::StopMarquee() {
    uint8_t b = 18;
    Send(&b, 1);
}

bool LExeTaskChannel::Read(void* buffer, uint32_t n) { return LPlatformReadAll(read_, buffer, n); }

void LExeTaskChannel::SendResult(uint32_t result, const void* reply, uint32_t n) {
    uint8_t type = result == 0 ? 1 : result == 1 ? 2 : 0;
    std::string msg(1, static_cast<char>(type));
    if (type != 2 && reply) msg.append(static_cast<const char*>(reply), n);
    Send(msg.data(), msg.size());
}

void LExeTaskExceptionFilter(int /*signal_number*/) { std::_Exit(1); }

void LExeTaskDispatch(uint32_t* result, const char16_t* task) {
    LPlatformExitOnCrashSignals(LExeTaskExceptionFilter);
    LExeTask* found = nullptr;
    for (LExeTask* t = g_tasks; t && !found; t = t->next)
        if (task && Equal(t->name, task)) found = t;
    if (!found) {
        *result = 2;
        return;
    }
    // The channel keeps the real standard output; whatever else the task
    // prints goes to standard error and cannot corrupt the messages.
    int channel_out = LPlatformTakeStandardOutput();
    if (channel_out < 0) {
        *result = 2;
        return;
    }
    LExeTaskChannel channel(channel_out, 0);
    *result = 2;
    found->Run(result, channel);
    LPlatformCloseFd(channel_out);
}

// ---- parent side ----

namespace {

enum LRead : uint32_t { kReadOk = 0, kReadStopped = 1, kReadFailed = 2 };

// The parent's reads of the child's messages. None of them ever blocks: a
// child that stalls in the middle of a message must not keep a stop request
// waiting, and a child that has ended is noticed by its process handle even
// when something else still holds its output open.
class LChildReader {
public:
    LChildReader(LChildProcess& child, LTaskProgress* progress) : child_(child), progress_(progress) {}

    uint32_t Read(void* data, size_t n) {
        auto* to = static_cast<uint8_t*>(data);
        size_t have = 0;
        while (have < n) {
            if (start_ < end_) {
                size_t take = n - have < end_ - start_ ? n - have : end_ - start_;
                std::memcpy(to + have, buffer_ + start_, take);
                start_ += take;
                have += take;
                continue;
            }
            uint32_t r = Fill();
            if (r != kReadOk) return r;
        }
        return kReadOk;
    }

private:
    uint32_t Fill() {
        for (;;) {
            if (progress_->IsStopRequested()) return kReadStopped;
            if (LPlatformPollReadable(child_.output, 0)) {
                size_t got = child_.Read(buffer_, sizeof buffer_);
                if (got == 0) return kReadFailed;  // the output ended
                start_ = 0;
                end_ = got;
                quietSince_ = LTickCount64();
                return kReadOk;
            }
            // Everything the child wrote before it ended is in the pipe.
            if (child_.process.HasEnded()) return kReadFailed;
            LHandleList list;
            list.handles[list.count++] = child_.output;
            if (child_.process.Handle() >= 0) list.handles[list.count++] = child_.process.Handle();
            if (progress_->WaitHandles(list, 200) == 1) return kReadStopped;
            if (LTickCount64() - quietSince_ >= kSilenceLimitMs) {
                child_.process.Kill();
                return kReadFailed;
            }
        }
    }

    LChildProcess& child_;
    LTaskProgress* progress_;
    uint8_t buffer_[4096];
    size_t start_ = 0;
    size_t end_ = 0;
    uint64_t quietSince_ = LTickCount64();
};

// A text message's body: 16-bit unit count, then the units.
uint32_t ReadText(LChildReader& reader, LString& text) {
    uint8_t len[2];
    if (uint32_t r = reader.Read(len, 2)) return r;
    const uint16_t n = static_cast<uint16_t>(len[0] | len[1] << 8);
    std::string bytes(size_t(n) * 2, '\0');
    if (n)
        if (uint32_t r = reader.Read(bytes.data(), bytes.size())) return r;
    text.Clear();
    for (size_t i = 0; i < n; ++i)
        text.AppendChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                              static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return kReadOk;
}

enum class LMessage { Continue, Done, Failed, Stopped };

LMessage FromRead(uint32_t r) { return r == kReadStopped ? LMessage::Stopped : LMessage::Failed; }

// One message from the child; Done with the result for a result message.
LMessage ReadMessage(LChildReader& reader, LTaskProgress* progress, void* request, uint32_t n, LString& text,
                     uint32_t* result) {
    uint8_t type;
    if (uint32_t r = reader.Read(&type, 1)) return FromRead(r);
    switch (type) {
    case 0:
    case 1: {
        uint32_t r = n ? reader.Read(request, n) : kReadOk;
        if (r == kReadStopped) return LMessage::Stopped;
        *result = type == 1 && r == kReadOk ? 0 : 2;
        return LMessage::Done;
    }
    case 2: *result = 1; return LMessage::Done;
    case 16: {
        double x;
        if (uint32_t r = reader.Read(&x, 8)) return FromRead(r);
        progress->SetProgress(x);
        return LMessage::Continue;
    }
    case 17: progress->StartMarquee(); return LMessage::Continue;
    case 18: progress->StopMarquee(); return LMessage::Continue;
    case 128:
    case 129:
    case 130:
    case 131:
        if (uint32_t r = ReadText(reader, text)) return FromRead(r);
        if (type == 128)
            progress->ShowError(text.c_str());
        else
            progress->SetStatusText(text.c_str(), type - 129);
        return LMessage::Continue;
    default: return LMessage::Continue;  // keep-alives and unknown types
    }
}

// The stop byte, then up to 26 x 200 ms for the child to end by itself. The
// caller's context already asks to stop, so its waits would return at once:
// the child is waited for directly, and its output drained meanwhile so it
// can never block on a full pipe while it winds down.
void StopChild(LChildProcess& child) {
    if (child.process.HasEnded()) return;
    uint8_t stop = kStopByte;
    child.Write(&stop, 1);
    char sink[4096];
    for (int i = 0; i < 26 && !child.process.HasEnded(); ++i) {
        const uint64_t until = LTickCount64() + 200;
        while (!child.process.HasEnded() && LTickCount64() < until) {
            int fds[2] = {child.process.Handle(), child.output};
            uint32_t n = fds[0] >= 0 ? 2 : 1;
            int* which = fds[0] >= 0 ? fds : fds + 1;
            int r = LPlatformWaitAny(which, n, static_cast<uint32_t>(until - LTickCount64()));
            if (r < 0) break;
            if (which[r] == child.output && child.Read(sink, sizeof sink) == 0) {
                // Output closed: only the process remains to wait for.
                child.process.Wait(static_cast<uint32_t>(until > LTickCount64() ? until - LTickCount64() : 0));
            }
        }
    }
    if (!child.process.HasEnded()) child.process.Kill();
}

}  // namespace

void LExeTaskRun(uint32_t* result, LTaskProgress* progress, void* request, uint32_t n, const char16_t* task,
                 const char* program, bool child_traces_parent) {
    *result = 2;
    std::string self = program ? std::string(program) : LPlatformSelfExecutable();
    LChildProcess child;
    if (!child.Start({self, "-exe", LToUtf8(task)}, n)) return;
    // Taken back when the task ends, however it ends.
    struct TracerGrant {
        bool on;
        ~TracerGrant() {
            if (on) prctl(PR_SET_PTRACER, 0, 0, 0, 0);
        }
    } grant{child_traces_parent && prctl(PR_SET_PTRACER, child.process.Pid(), 0, 0, 0) == 0};
    if (n && !child.Write(request, n)) return;
    LChildReader reader(child, progress);
    LString text;
    for (;;) {
        LMessage m = ReadMessage(reader, progress, request, n, text, result);
        if (m == LMessage::Done) return;
        if (m == LMessage::Failed) {
            *result = 2;
            return;
        }
        if (m == LMessage::Stopped) break;
    }
    StopChild(child);
    *result = 1;
}
