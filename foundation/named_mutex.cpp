#include "foundation/named_mutex.h"

#include <cstdio>
#include <string>

#include "foundation/task_progress.h"
#include "foundation/utf8.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/root.h"

namespace {

constexpr uint32_t kAccessRetryMs = 50;
constexpr uint32_t kBusyPollMs = 10;

bool StartsWith(const char16_t* s, const char16_t* prefix) {
    while (*prefix) {
        if (*s++ != *prefix++) return false;
    }
    return true;
}

}  // namespace

LNamedMutex::LNamedMutex(const char16_t* name) { LCopyField(name_, name ? name : u""); }

bool LNamedMutex::LockFilePath(const char16_t* name, char out[4096]) {
    out[0] = 0;
    if (!name || !*name) return false;
    std::string folder;
    if (StartsWith(name, u"Global\\")) {
        folder = LPlatformKnownFolder(LKnownFolder::RunFolder);
        name += 7;
    } else {
        if (StartsWith(name, u"Local\\")) name += 6;
        folder = LPlatformKnownFolder(LKnownFolder::UserRunFolder);
    }
    std::string file = LToUtf8(name);
    // A mutex name is one flat name, never a path.
    for (char& c : file) {
        if (c == '/' || c == '\\') c = '_';
    }
    if (file.empty() || !LPlatformCreateFolderTree(folder, LPlatformSharedFolderMode)) return false;
    int n = std::snprintf(out, 4096, "%s/%s.lock", folder.c_str(), file.c_str());
    return n > 0 && n < 4096;
}

bool LNamedMutex::Lock(uint32_t ms) {
    if (held_) return true;
    char path[4096];
    if (!LockFilePath(name_, path)) return false;
    uint32_t budget = ms;
    // Access denied: the file belongs to another account for the moment.
    while (!file_.Open(path)) {
        if (LPlatformLastError() != LErrorAccessDenied) return false;
        LPlatformSleepMs(kAccessRetryMs);
        if (budget != LInfinite) {
            if (budget <= kAccessRetryMs) return false;
            budget -= kAccessRetryMs;
        }
    }
    if (budget == LInfinite) {
        held_ = file_.Lock();
    } else {
        const uint64_t deadline = LPlatformMonotonicMs() + budget;
        for (;;) {
            int r = file_.TryLock();
            if (r == 0) {
                held_ = true;
                break;
            }
            uint64_t now = LPlatformMonotonicMs();
            if (r == 2 || now >= deadline) break;
            uint64_t left = deadline - now;
            LPlatformSleepMs(static_cast<uint32_t>(left < kBusyPollMs ? left : kBusyPollMs));
        }
    }
    if (!held_) file_.Close();
    return held_;
}

void LNamedMutex::Unlock() {
    if (!held_) return;
    file_.Close();
    held_ = false;
}
