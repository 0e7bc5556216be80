// Where a message goes in the backup folder: its month folder and a file
// name that tells people what it is and stays the same for the message.
#include <string>

#include "foundation/files_path.h"
#include "foundation/sha256.h"
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

void LEmailBackupMessageKey(const LEmailBackupIdentity& m, LString& out) {
    out.Clear();
    std::u16string_view mid = m.messageId ? m.messageId : u"";
    while (!mid.empty() && mid.front() <= u' ') mid.remove_prefix(1);
    while (!mid.empty() && mid.back() <= u' ') mid.remove_suffix(1);
    if (mid.size() >= 2 && mid.front() == u'<' && mid.back() == u'>') mid = mid.substr(1, mid.size() - 2);
    std::string seed;
    if (!mid.empty())
        seed = "m\n" + LToUtf8(m.accountId) + "\n" + LToUtf8(std::u16string(mid).c_str());
    else if (m.uidValidity != 0)
        seed = "u\n" + LToUtf8(m.accountId) + "\n" + LToUtf8(m.mailboxId) + "\n" + std::to_string(m.uidValidity) +
               "\n" + std::to_string(m.uid);
    if (seed.empty()) {
        out.Append(m.id);  // a row made here without a Message-ID
        return;
    }
    LSha256 sha;
    LSha256Init(sha);
    sha.Update(seed.data(), static_cast<uint32_t>(seed.size()));
    uint32_t words[8];
    sha.Final(words, sizeof words);
    out.Format(u"%08x%08x", words[0], words[1]);
}

bool LEmailBackupReadNamedRow(LAppDatabaseCursor& c, LEmailBackupNamedRow& out) {
    c.GetColumnString(0, out.id);
    c.GetColumnString(1, out.accountId);
    c.GetColumnString(2, out.messageId);
    c.GetColumnString(3, out.mailboxId);
    c.GetColumnString(6, out.from);
    c.GetColumnString(7, out.to);
    c.GetColumnString(8, out.subject);
    char16_t stamp[260];
    if (!LEmailBackupMessageTime(c.GetColumnInt64(9), c.GetColumnInt64(10), out.time) ||
        !LEmailBackupMonthFolder(out.time, out.month, stamp))
        return false;
    LEmailBackupIdentity identity;
    identity.id = out.id.c_str();
    identity.accountId = out.accountId.c_str();
    identity.messageId = out.messageId.c_str();
    identity.mailboxId = out.mailboxId.c_str();
    identity.uidValidity = c.GetColumnInt64(4);
    identity.uid = c.GetColumnInt64(5);
    LEmailBackupMessageKey(identity, out.key);
    LEmailBackupFileName(stamp, out.from.c_str(), out.to.c_str(), out.subject.c_str(), out.key.c_str(), out.fileName);
    return true;
}
