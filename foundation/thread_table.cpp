#include "foundation/thread_table.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "foundation/utf8.h"
#include "platform/thread.h"

namespace {

struct ThreadTable {
    std::mutex lock;
    LThreadTableEntry entries[LThreadTableSize];
    size_t count = 0;
};

ThreadTable& Table() {
    static ThreadTable table;
    return table;
}

void CopyTag(char out[5], const char* text) {
    size_t n = 0;
    while (text && text[n] && n < 4) {
        out[n] = text[n];
        ++n;
    }
    out[n] = 0;
}

LThreadTableEntry* Find(ThreadTable& t, int tid) {
    for (size_t i = 0; i < t.count; ++i) {
        if (t.entries[i].thread_id == tid) return &t.entries[i];
    }
    return nullptr;
}

}  // namespace

namespace {
std::atomic<LThreadRegisterHook> g_register_hook{nullptr};
}  // namespace

void LThreadSetRegisterHook(LThreadRegisterHook hook) { g_register_hook = hook; }

bool LThreadRegister(const char* tag) {
    if (LThreadRegisterHook hook = g_register_hook.load()) hook();
    const int tid = LPlatformThreadId();
    ThreadTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    LThreadTableEntry* e = Find(t, tid);
    if (!e) {
        if (t.count == LThreadTableSize) return false;
        e = &t.entries[t.count++];
    }
    e->thread_id = tid;
    e->activity[0] = 0;
    if (tag) {
        CopyTag(e->tag, tag);
    } else {
        unsigned four = static_cast<unsigned>(tid) % 10000u;
        for (int i = 3; i >= 0; --i, four /= 10) e->tag[i] = static_cast<char>('0' + four % 10);
        e->tag[4] = 0;
    }
    return true;
}

void LThreadUnregister() {
    const int tid = LPlatformThreadId();
    ThreadTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    LThreadTableEntry* e = Find(t, tid);
    if (!e) return;
    *e = t.entries[--t.count];
}

void LThreadSetTag(const char* text) {
    const int tid = LPlatformThreadId();
    ThreadTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    if (LThreadTableEntry* e = Find(t, tid)) CopyTag(e->tag, text);
}

void LThreadSetTagW(const char16_t* text) {
    char utf8[260];
    LWideToUTF8Buf(utf8, text ? text : u"");
    LThreadSetTag(utf8);
}

bool LThreadGetTag(char out[5]) {
    const int tid = LPlatformThreadId();
    ThreadTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    LThreadTableEntry* e = Find(t, tid);
    CopyTag(out, e ? e->tag : "");
    return e != nullptr;
}

size_t LThreadTableCount() {
    ThreadTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    return t.count;
}

size_t LThreadTableSnapshot(LThreadTableEntry* out, size_t max) {
    ThreadTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    size_t n = t.count < max ? t.count : max;
    std::memcpy(out, t.entries, n * sizeof *out);
    return n;
}

bool LThreadTableFindForCrash(int tid, LThreadTableEntry& out) {
    // A crash may come while some thread (the crashing one, say) holds the
    // lock: then the table is read as it stands rather than waited for.
    ThreadTable& t = Table();
    bool locked = t.lock.try_lock();
    bool found = false;
    size_t n = t.count < LThreadTableSize ? t.count : LThreadTableSize;
    for (size_t i = 0; i < n && !found; ++i) {
        if (t.entries[i].thread_id != tid) continue;
        std::memcpy(&out, &t.entries[i], sizeof out);
        out.tag[4] = 0;
        out.activity[259] = 0;
        found = true;
    }
    if (locked) t.lock.unlock();
    return found;
}
