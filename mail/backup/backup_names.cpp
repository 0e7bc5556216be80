// Where a message goes in the backup folder: its month folder and a file
// name that tells people what it is and stays unique by the store ID.
#include "foundation/files_path.h"
#include "foundation/utf8.h"
#include "mail/backup/email_backup.h"

namespace {

// Linux keeps at most 255 bytes per name; the writer adds ".tmp".
constexpr size_t kMaxNameBytes = 255 - 4;

// A name part: made a valid file name, cut to 60 units (a surrogate pair
// whole), or the fallback.
void Part(const char16_t* text, const char16_t* fallback, LString& out) {
    char16_t valid[260];
    if (!LMakeValidFileName(text ? text : u"", valid)) {
        out.Append(fallback);
        return;
    }
    size_t n = LTextLength(valid);
    if (n > 60) {
        n = 60;
        if (valid[n - 1] >= 0xD800 && valid[n - 1] <= 0xDBFF) --n;
    }
    out.AppendN(valid, n);
}

}  // namespace

bool LEmailBackupMessageTime(int64_t sent_utc, int64_t received_utc, time_t& out) {
    out = static_cast<time_t>(sent_utc > 0 ? sent_utc : received_utc);
    return out > 0;
}

bool LEmailBackupMonthFolder(time_t t, char16_t month[260], char16_t stamp[260]) {
    struct tm tm {};
    if (t <= 0 || !gmtime_r(&t, &tm) || tm.tm_year + 1900 > 9999) return false;
    LString m, s;
    m.Format(u"%04d-%02d", tm.tm_year + 1900, tm.tm_mon + 1);
    s.Format(u"%04d-%02d-%02d %02d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
             tm.tm_sec);
    if (month) LCopyField(month, m.c_str());
    if (stamp) LCopyField(stamp, s.c_str());
    return true;
}

bool LEmailBackupIsMonthName(const char* name) {
    for (int i = 0; i < 7; ++i)
        if (i == 4 ? name[i] != '-' : (name[i] < '0' || name[i] > '9')) return false;
    return name[7] == 0;
}

void LEmailBackupFileName(const char16_t* stamp, const char16_t* from, const char16_t* to, const char16_t* subject,
                          const char16_t* id, LString& out) {
    LString head;
    head.Append(stamp);
    head.AppendChar(u' ');
    Part(from, u"unknown-from", head);
    head.AppendChar(u' ');
    Part(to, u"unknown-to", head);
    head.AppendChar(u' ');
    Part(subject, u"no-subject", head);
    LString tail;
    tail.AppendChar(u' ');
    Part(id, u"no-id", tail);
    tail.Append(u".eml");

    LStringA head8, tail8;
    LStringAAppendWide(head8, head.c_str());
    LStringAAppendWide(tail8, tail.c_str());
    size_t room = tail8.length < kMaxNameBytes ? kMaxNameBytes - tail8.length : 0;
    if (head8.length > room) {
        size_t n = room;
        while (n > 0 && (static_cast<unsigned char>(head8.buffer[n]) & 0xC0) == 0x80) --n;
        head8.Truncate(n);
    }
    head8.AppendString(tail8);
    out.Clear();
    out.SetUtf8N(head8.c_str(), head8.length);
}
