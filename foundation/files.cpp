#include "foundation/files.h"

#include <atomic>
#include <cstdio>

#include "foundation/files_path.h"
#include "foundation/utf8.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/thread.h"

namespace {

// A process-wide counter that only grows, for temporary names.
std::atomic<uint32_t> g_temp_counter{0};

bool Exists(const char* path) {
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(path, &info, false);
}

std::string TempFolder() { return LPlatformKnownFolder(LKnownFolder::Temp); }

}  // namespace

bool LFileHandle::WriteTextUTF8(const char16_t* text) {
    LUTF8FromWide utf8(text ? text : u"");
    return Write(utf8.text, utf8.Length());
}

bool LRetryBudget::Next(uint32_t error, uint32_t* pause) {
    if (error != LErrorSharingViolation || pause_ >= left_) return false;
    *pause = pause_;
    left_ -= pause_;
    pause_ *= 2;
    return true;
}

bool LRetryBudget::PauseAfter(uint32_t error) {
    uint32_t pause;
    if (!Next(error, &pause)) return false;
    LPlatformSleepMs(pause);
    return true;
}

LFileHandle LCreateFileRetry(const char16_t* path, uint32_t access, uint32_t share, uint32_t disposition,
                             uint32_t budget_ms) {
    LUTF8FromWide p(path ? path : u"");
    LRetryBudget budget(budget_ms);
    LFileHandle f;
    while (!f.Open(p.text, access, share, disposition)) {
        uint32_t err = LPlatformLastError();
        if (!budget.PauseAfter(err)) {
            LPlatformSetLastError(err);
            break;
        }
    }
    return f;
}

bool LDeleteFileRetry(const char16_t* path, uint32_t budget_ms) {
    LUTF8FromWide p(path ? path : u"");
    LRetryBudget budget(budget_ms);
    while (!LPlatformDeleteFile(p.text)) {
        uint32_t err = LPlatformLastError();
        if (!budget.PauseAfter(err)) {
            LPlatformSetLastError(err);
            return false;
        }
    }
    return true;
}

bool LCopyFileRetry(const char16_t* from, const char16_t* to, uint32_t budget_ms) {
    LUTF8FromWide f(from ? from : u""), t(to ? to : u"");
    LRetryBudget budget(budget_ms);
    while (!LPlatformCopyFile(f.text, t.text, true)) {
        uint32_t err = LPlatformLastError();
        if (!budget.PauseAfter(err)) {
            LPlatformSetLastError(err);
            return false;
        }
    }
    return true;
}

bool LMoveFileRetry(const char16_t* from, const char16_t* to) {
    LUTF8FromWide f(from ? from : u""), t(to ? to : u"");
    LRetryBudget budget(5000, 40);
    while (!LPlatformMoveFile(f.text, t.text)) {
        uint32_t err = LPlatformLastError();
        if (!budget.PauseAfter(err)) {
            LPlatformSetLastError(err);
            return false;
        }
    }
    return true;
}

uint64_t LGetFileSize(const char16_t* path) {
    LFileHandle f = LCreateFileRetry(path, 0, LFileShareRead | LFileShareWrite, LFileOpenExisting, 0);
    if (!f.IsValid()) return 0;
    int64_t n = f.Size();
    return n > 0 ? static_cast<uint64_t>(n) : 0;
}

time_t LGetFileWriteTime(const char16_t* path) {
    LFileHandle f = LCreateFileRetry(path, 0, LFileShareRead | LFileShareWrite, LFileOpenExisting, 0);
    return f.IsValid() ? f.WriteTime() : 0;
}

bool LWriteWholeFile(const char16_t* path, const void* bytes, uint64_t n) {
    LFileHandle f = LCreateFileRetry(path, LFileAccessWrite, LFileShareNone, LFileCreateAlways, 0);
    return f.IsValid() && f.Write(bytes, n);
}

bool LAppendToFile(const char16_t* path, const void* bytes, uint64_t n) {
    LFileHandle f = LCreateFileRetry(path, LFileAccessReadWrite, LFileShareRead, LFileOpenAlways, 50);
    return f.IsValid() && f.Seek(0, 2) && f.Write(bytes, n);
}

bool LReadFileUtf16(const char16_t* path, LString& out) {
    out.Clear();
    LFileHandle f = LCreateFileRetry(path, LFileAccessRead, LFileShareRead, LFileOpenExisting, 5000);
    if (!f.IsValid()) return false;
    int64_t size = f.Size();
    uint64_t units = size > 0 ? static_cast<uint64_t>(size) / 2 : 0;
    if (units && out.Reserve(units + 1)) {
        uint64_t done = 0;
        char* dst = reinterpret_cast<char*>(out.buffer);
        while (done < units * 2) {
            uint64_t want = units * 2 - done;
            uint32_t got;
            if (!f.Read(dst + done, want > (1u << 30) ? (1u << 30) : static_cast<uint32_t>(want), &got) || got == 0)
                break;
            done += got;
        }
        out.length = done / 2;
    }
    out.Terminate();
    return true;
}

bool LIsFolderWritable(const char16_t* folder) {
    char16_t name[260], path[260];
    char probe[32];
    std::snprintf(probe, sizeof probe, "%x__wt", static_cast<unsigned>(LPlatformThreadId()));
    LUTF8ToWideBuf(name, probe);
    LPathCombine(path, folder, name, u"");
    {
        LFileHandle f = LCreateFileRetry(path, LFileAccessReadWrite, LFileShareNone, LFileCreateAlways, 5000);
        if (!f.IsValid()) return false;
    }
    LUTF8FromWide p(path);
    LPlatformDeleteFile(p.text);
    return true;
}

bool LCreateTempFolder(char16_t out[260]) {
    const std::string base = TempFolder();
    LPlatformCreateFolderTree(base, 0700);
    const unsigned tid = static_cast<unsigned>(LPlatformThreadId());
    for (int n = 1; n < 100000; ++n) {
        char path[4096];
        std::snprintf(path, sizeof path, "%s/Porlinex-%u-%d", base.c_str(), tid, n);
        if (LPlatformCreateFolder(path, 0700)) {
            LUTF8ToWideBuf(out, path);
            return true;
        }
        if (LPlatformLastError() != LErrorAlreadyExists) break;
    }
    out[0] = 0;
    return false;
}

void LMakeTempFileName(char16_t out[260]) {
    const std::string base = TempFolder();
    const unsigned pid = static_cast<unsigned>(LPlatformProcessId());
    const unsigned tid = static_cast<unsigned>(LPlatformThreadId());
    for (;;) {
        char path[4096];
        std::snprintf(path, sizeof path, "%s/%u-%u-%u.tmp", base.c_str(), pid, tid, ++g_temp_counter);
        if (!Exists(path)) {
            LUTF8ToWideBuf(out, path);
            return;
        }
    }
}

bool LFileReadLineA(LPlatformFile& file, LStringA& out) {
    out.Clear();
    char c;
    uint32_t got;
    while (file.Read(&c, 1, &got) && got == 1) {
        if (c != '\r' && c != '\n') {
            out.AppendChar(c);
            continue;
        }
        // The other kind of line-end character belongs to this line end;
        // anything else is the start of the next line.
        char next;
        if (file.Read(&next, 1, &got) && got == 1 && next != ((c == '\r') ? '\n' : '\r')) file.Seek(-1, 1);
        return true;
    }
    return !out.IsEmpty();
}

bool LFileReadLineW(LPlatformFile& file, LString& out) {
    LStringA line;
    if (!LFileReadLineA(file, line)) {
        out.Clear();
        return false;
    }
    out.Clear();
    out.SetUtf8N(line.c_str(), line.length);
    return true;
}

bool LFileWriteStringA(LPlatformFile& file, const LStringA& text) { return file.Write(text.c_str(), text.length); }
