// The per-thread message queue: posted messages (from any thread), the quit
// request, timers, watched descriptors, and the waits that let a window
// thread sleep on handles and input at once.
#include <poll.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "foundation/time_source.h"
#include "platform/event.h"
#include "toolkit/window_layer.h"
#include "toolkit/window_record.h"

namespace {

struct Timer {
    LHwnd hwnd;
    uintptr_t id;
    uint32_t ms;
    uint64_t due;
    LTimerProc proc;
};

struct Watch {
    int fd;
    LHwnd hwnd;
    uint32_t msg;
};

struct Queue {
    std::mutex lock;
    std::deque<LMsg> posted;
    LEvent wake{true, false};
    bool quit = false;
    int quit_code = 0;
    std::vector<Timer> timers;
    std::vector<Watch> watches;
    uintptr_t next_timer_id = 0x7000;
    // The message being dispatched, for the key state and input origin.
    uint32_t modifiers = 0;
    bool system_handled = false;
};

// Queues of every thread that has one, so that a post from any thread finds
// the window thread's queue.
struct Queues {
    std::mutex lock;
    std::map<std::thread::id, std::shared_ptr<Queue>> by_thread;
};

Queues& AllQueues() {
    static Queues q;
    return q;
}

std::shared_ptr<Queue> QueueOf(std::thread::id t) {
    Queues& all = AllQueues();
    std::lock_guard<std::mutex> g(all.lock);
    auto& q = all.by_thread[t];
    if (!q) q = std::make_shared<Queue>();
    return q;
}

Queue& Mine() {
    thread_local std::shared_ptr<Queue> q = QueueOf(std::this_thread::get_id());
    return *q;
}

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

// Takes the next message without waiting; false when there is none.
bool Take(Queue& q, LMsg* out, bool remove) {
    {
        std::lock_guard<std::mutex> g(q.lock);
        if (!q.posted.empty()) {
            *out = q.posted.front();
            if (remove) q.posted.pop_front();
            if (q.posted.empty() && remove) q.wake.Reset();
            return true;
        }
        q.wake.Reset();
        if (q.quit) {
            *out = LMsg{};
            out->message = LWM_QUIT;
            out->wParam = static_cast<LWParam>(q.quit_code);
            if (remove) q.quit = false;
            return true;
        }
    }
    for (const Watch& w : q.watches) {
        if (Readable(w.fd)) {
            *out = LMsg{};
            out->hwnd = w.hwnd;
            out->message = w.msg;
            out->wParam = static_cast<LWParam>(w.fd);
            return true;
        }
    }
    uint64_t now = LTickCount64();
    Timer* next = nullptr;
    for (Timer& t : q.timers)
        if (t.due <= now && (!next || t.due < next->due)) next = &t;
    if (next) {
        *out = LMsg{};
        out->hwnd = next->hwnd;
        out->message = LWM_TIMER;
        out->wParam = next->id;
        out->lParam = reinterpret_cast<LLParam>(next->proc);
        out->time = static_cast<uint32_t>(now);
        if (remove) next->due = now + std::max<uint32_t>(next->ms, 1);
        return true;
    }
    return false;
}

uint32_t UntilNextTimer(Queue& q, uint32_t limit) {
    uint64_t now = LTickCount64();
    uint64_t best = limit;
    for (const Timer& t : q.timers) best = std::min<uint64_t>(best, t.due > now ? t.due - now : 0);
    return static_cast<uint32_t>(best);
}

// The descriptors the loop sleeps on: the caller's handles, the wake event,
// then the watches.
std::vector<int> WaitSet(Queue& q, const LHandle* handles, uint32_t n) {
    std::vector<int> fds(handles, handles + n);
    fds.push_back(q.wake.Handle());
    for (const Watch& w : q.watches) fds.push_back(w.fd);
    return fds;
}

}  // namespace

void LPostInput(const LMsg& m) {
    LWndRef w = LWndFind(m.hwnd);
    std::shared_ptr<Queue> q = QueueOf(w ? w->thread : std::this_thread::get_id());
    std::lock_guard<std::mutex> g(q->lock);
    q->posted.push_back(m);
    q->wake.Set();
}

bool LPostMessage(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    LWndRef wnd = LWndFind(h);
    if (!wnd) return false;
    LMsg m;
    m.hwnd = h;
    m.message = msg;
    m.wParam = w;
    m.lParam = l;
    m.time = LTickCount();
    std::shared_ptr<Queue> q = QueueOf(wnd->thread);
    std::lock_guard<std::mutex> g(q->lock);
    q->posted.push_back(m);
    q->wake.Set();
    return true;
}

void LPostQuitMessage(int code) {
    Queue& q = Mine();
    std::lock_guard<std::mutex> g(q.lock);
    q.quit = true;
    q.quit_code = code;
    q.wake.Set();
}

int LGetMessage(LMsg* msg) {
    LWindowBackend* b = LBackend();
    if (!b) return -1;
    Queue& q = Mine();
    for (;;) {
        b->Wait(nullptr, 0, 0);
        if (Take(q, msg, true)) return msg->message == LWM_QUIT ? 0 : 1;
        std::vector<int> fds = WaitSet(q, nullptr, 0);
        b->Wait(fds.data(), static_cast<uint32_t>(fds.size()), UntilNextTimer(q, LInfinite));
    }
}

bool LPeekMessage(LMsg* msg, bool remove) {
    LWindowBackend* b = LBackend();
    if (!b) return false;
    b->Wait(nullptr, 0, 0);
    return Take(Mine(), msg, remove);
}

LResult LDispatchMessage(const LMsg& msg) {
    Queue& q = Mine();
    if (msg.message == LWM_TIMER && msg.lParam) {
        if (msg.hwnd != LHwnd::Null && !LIsWindow(msg.hwnd)) return 0;
        reinterpret_cast<LTimerProc>(msg.lParam)(msg.hwnd, LWM_TIMER, msg.wParam, msg.time);
        return 0;
    }
    uint32_t old_mod = q.modifiers;
    bool old_sys = q.system_handled;
    q.modifiers = msg.modifiers;
    q.system_handled = msg.system_handled;
    LResult r = LSendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    q.modifiers = old_mod;
    q.system_handled = old_sys;
    return r;
}

void LTranslateMessage(const LMsg&) {}

uint32_t LGetKeyModifiers() { return Mine().modifiers; }
bool LCurrentInputHandledBySystem() { return Mine().system_handled; }

uintptr_t LSetTimer(LHwnd h, uintptr_t id, uint32_t ms, LTimerProc proc) {
    if (h != LHwnd::Null && !LIsWindow(h)) return 0;
    Queue& q = Mine();
    if (h == LHwnd::Null && id == 0) id = q.next_timer_id++;
    for (Timer& t : q.timers) {
        if (t.hwnd == h && t.id == id) {
            t.ms = ms;
            t.due = LTickCount64() + ms;
            t.proc = proc;
            return id ? id : 1;
        }
    }
    q.timers.push_back({h, id, ms, LTickCount64() + ms, proc});
    std::lock_guard<std::mutex> g(q.lock);
    q.wake.Set();
    return id ? id : 1;
}

bool LKillTimer(LHwnd h, uintptr_t id) {
    Queue& q = Mine();
    auto it = std::find_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == h && t.id == id; });
    if (it == q.timers.end()) return false;
    q.timers.erase(it);
    return true;
}

void LKillWindowTimers(LHwnd h) {
    Queue& q = Mine();
    q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == h; }),
                   q.timers.end());
    q.watches.erase(std::remove_if(q.watches.begin(), q.watches.end(), [&](const Watch& w) { return w.hwnd == h; }),
                    q.watches.end());
}

bool LWatchHandle(LHandle fd, LHwnd h, uint32_t msg) {
    if (fd < 0 || !LIsWindow(h)) return false;
    LUnwatchHandle(fd);
    Mine().watches.push_back({fd, h, msg});
    return true;
}

void LUnwatchHandle(LHandle fd) {
    Queue& q = Mine();
    q.watches.erase(std::remove_if(q.watches.begin(), q.watches.end(), [&](const Watch& w) { return w.fd == fd; }),
                    q.watches.end());
}

int LMsgWaitForMultiple(const LHandle* handles, uint32_t n, uint32_t ms) {
    LWindowBackend* b = LBackend();
    if (!b) return LWaitFailedResult;
    for (uint32_t i = 0; i < n; ++i)
        if (handles[i] < 0) return LWaitFailedResult;
    Queue& q = Mine();
    uint64_t start = LTickCount64();
    for (;;) {
        LMsg m;
        b->Wait(nullptr, 0, 0);
        if (Take(q, &m, false)) return static_cast<int>(n);
        uint32_t remaining = LInfinite;
        if (ms != LInfinite) {
            uint64_t spent = LTickCount64() - start;
            if (spent >= ms) return LWaitTimeoutResult;
            remaining = static_cast<uint32_t>(ms - spent);
        }
        std::vector<int> fds = WaitSet(q, handles, n);
        int r = b->Wait(fds.data(), static_cast<uint32_t>(fds.size()), UntilNextTimer(q, remaining));
        if (r >= 0 && static_cast<uint32_t>(r) < n) {
            if (LPlatformEventClaim(handles[r])) return r;
            continue;
        }
        if (r == LWaitFailedResult) return LWaitFailedResult;
    }
}
