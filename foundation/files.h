#pragma once
// Files: opening with a retry budget while another user holds the file
// (a sharing violation), whole-file helpers, probes, temporary names and
// line-oriented reading. Paths are UTF-16 texts of at most 259 units.
#include <cstdint>
#include <ctime>

#include "foundation/lstring.h"
#include "platform/error.h"
#include "platform/file.h"

// An open file; closed when the object goes.
class LFileHandle : public LPlatformFile {
public:
    LFileHandle() = default;
    LFileHandle(LPlatformFile&& f) : LPlatformFile(static_cast<LPlatformFile&&>(f)) {}
    // Writes the text as UTF-8 without a terminator; true when all was written.
    bool WriteTextUTF8(const char16_t* text);
};

// The retry rule: the first pause is (budget + 127) / 128 ms and doubles
// after each sharing violation; the operation gives up when the next pause
// would not fit into what is left of the budget. Other errors end at once.
class LRetryBudget {
public:
    explicit LRetryBudget(uint32_t budget_ms) : left_(budget_ms), pause_((budget_ms + 127) / 128) {}
    LRetryBudget(uint32_t budget_ms, uint32_t first_pause) : left_(budget_ms), pause_(first_pause) {}
    // After a failed try: true and the pause to make when it is worth
    // another try (the pause is taken from the budget).
    bool Next(uint32_t error, uint32_t* pause);
    // Next, and the pause slept.
    bool PauseAfter(uint32_t error);

private:
    uint32_t left_;
    uint32_t pause_;
};

// An invalid handle on failure; LPlatformLastError() tells why.
LFileHandle LCreateFileRetry(const char16_t* path, uint32_t access, uint32_t share, uint32_t disposition,
                             uint32_t budget_ms);
bool LDeleteFileRetry(const char16_t* path, uint32_t budget_ms);
// Overwrites the target.
bool LCopyFileRetry(const char16_t* from, const char16_t* to, uint32_t budget_ms);
// Replaces the target; fixed pauses 40, 80, 160 ... ms within 5000 ms.
bool LMoveFileRetry(const char16_t* from, const char16_t* to);

// 0 when the file cannot be opened.
uint64_t LGetFileSize(const char16_t* path);
// Last-write time; 0 when it cannot be read.
time_t LGetFileWriteTime(const char16_t* path);
// Creates or truncates the file; true when all n bytes were written.
bool LWriteWholeFile(const char16_t* path, const void* bytes, uint64_t n);
// Appends at the end (creating the file); true when all n bytes were written.
bool LAppendToFile(const char16_t* path, const void* bytes, uint64_t n);
// The file's bytes as UTF-16 units, as they are; true when it could be opened.
bool LReadFileUtf16(const char16_t* path, LString& out);
// True when a probe file can be created (and is deleted again) in the folder.
bool LIsFolderWritable(const char16_t* folder);
// Creates the first free folder "Porlinex-<thread id>-<n>" in the temporary folder.
bool LCreateTempFolder(char16_t out[260]);
// A name "<pid>-<thread id>-<n>.tmp" in the temporary folder that does not
// exist yet; the file is not created.
void LMakeTempFileName(char16_t out[260]);

// Reads one line (without its end) byte by byte: CR LF and LF CR are one line
// end, anything else after a line end is given back. False at the end of
// the file with nothing read.
bool LFileReadLineA(LPlatformFile& file, LStringA& out);
// The same, converted from UTF-8; the string is emptied at the end.
bool LFileReadLineW(LPlatformFile& file, LString& out);
bool LFileWriteStringA(LPlatformFile& file, const LStringA& text);
