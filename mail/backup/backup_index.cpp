// The month index pages. One statement reads the rows of every month that
// gets a page, in page order, so each row is read once per round however
// many months there are.
#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "foundation/files.h"
#include "mail/backup/email_backup.h"
#include "platform/file.h"

namespace {

// The place of a message in SQL, as LEmailBackupMessageTime has it.
constexpr const char16_t* kTime = u"(CASE WHEN SENT_UTC>0 THEN SENT_UTC ELSE RECEIVED_UTC END)";

// Link targets are URL paths: a "#", "%" or "?" in a name would cut it.
void AppendHref(LStringA& out, const LString& name) {
    LStringA utf8;
    LStringAAppendWide(utf8, name.c_str(), name.length);
    for (uint64_t i = 0; i < utf8.length; ++i) {
        unsigned char c = static_cast<unsigned char>(utf8.buffer[i]);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_' || c == '~';
        if (plain)
            out.AppendChar(static_cast<char>(c));
        else
            out.AppendFormat("%%%02X", c);
    }
}

// A page is written as "index.html.tmp" and renamed over the old one only
// when whole: a full disk leaves the last good page, never an empty one.
class IndexPage {
public:
    bool Open(const std::string& folder, const std::string& month) {
        path_ = LFromUtf8(folder + "/" + month + "/index.html").c_str();
        tmp_ = path_ + u".tmp";
        file_ = LCreateFileRetry(tmp_.c_str(), LFileAccessWrite, LFileShareNone, LFileCreateAlways, 5000);
        if (!file_.IsValid()) Failed();
        LStringA head;
        head.Format("<!doctype html><html><head><meta charset=\"utf-8\"><title>Mail backup %H</title></head><body>"
                    "<h1>Mail backup %H</h1><table border=\"1\"><thead><tr><th>From</th><th>To</th><th>Subject</th>"
                    "<th>Date</th></tr></thead><tbody>",
                    month.c_str(), month.c_str());
        text_.AppendString(head);
        return ok_;
    }
    // The same message twice in one account (a copy, a label view) is one
    // file, and so one row.
    void Row(const LString& file, const char* from, const char* to, const char* subject, const char* stamp) {
        if (!files_.insert(std::u16string(file.View())).second) return;
        LStringA href;
        AppendHref(href, file);
        text_.AppendFormat("<tr><td>%H</td><td>%H</td><td><a href=\"%H\">%H</a></td><td>%H</td></tr>", from, to,
                           href.c_str(), subject, stamp);
        if (text_.length > 256 * 1024) Flush();
    }
    bool Close() {
        text_.Append("</tbody></table></body></html>");
        Flush();
        file_.Close();
        if (ok_ && !LMoveFileRetry(tmp_.c_str(), path_.c_str())) Failed();
        if (!ok_) LDeleteFileRetry(tmp_.c_str(), 0);
        return ok_;
    }
    // Why the page failed, for the round's one log line.
    void Report(LEmailBackupFailures& failed) const {
        errno = errno_;
        failed.Add("unable to write", path_.c_str());
    }

private:
    // errno of the first failure is kept for the report.
    void Failed() {
        if (ok_) errno_ = errno;
        ok_ = false;
    }
    void Flush() {
        if (ok_ && !file_.Write(text_.c_str(), text_.length)) Failed();
        text_.Clear();
    }
    std::u16string path_, tmp_;
    std::set<std::u16string> files_;
    LFileHandle file_;
    LStringA text_;
    bool ok_ = true;
    int errno_ = 0;
};

// A text cut to 259 bytes on a character boundary.
std::string Cut(const LString& s) {
    std::string t = LToUtf8(s);
    if (t.size() > 259) {
        size_t n = 259;
        while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) --n;
        t.resize(n);
    }
    return t;
}

}  // namespace

bool LEmailBackupWriteIndexes(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                              int64_t last_done_utc, LEmailBackupFailures& failed) {
    if (!folder || !folder[0]) return true;
    std::string base = LToUtf8(folder);
    char16_t first[260] = {};
    if (last_done_utc > 0) LEmailBackupMonthFolder(static_cast<time_t>(last_done_utc), first, nullptr);
    std::string first_month = LToUtf8(first);
    // month -> whether its page was written.
    std::map<std::string, bool> months;
    LPlatformFolderReader reader;
    if (!reader.Open(base.c_str())) return false;
    const char* name;
    bool is_folder, is_link;
    while (reader.Next(&name, &is_folder, &is_link))
        if (is_folder && !is_link && LEmailBackupIsMonthName(name) && std::string(name) >= first_month)
            months[name] = false;
    reader.Close();
    if (months.empty()) return true;

    // The first month's start bounds the rows read, in a form the indexes
    // of both times serve: a round woken by new mail reads this month's
    // rows, not the table.
    int year = std::stoi(months.begin()->first.substr(0, 4)), mon = std::stoi(months.begin()->first.substr(5, 2));
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = 1;
    int64_t from_time = static_cast<int64_t>(timegm(&tm));
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT %s, strftime('%%Y-%%m', %s, 'unixepoch') AS MONTH FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0 AND "
             u"(SENT_UTC>=%I64d OR (COALESCE(SENT_UTC, 0)<=0 AND RECEIVED_UTC>=%I64d)) ORDER BY MONTH, FROM_TEXT, "
             u"TO_TEXT, SUBJECT;",
             LEmailBackupNameColumns, kTime, u"main", from_time, from_time);
    bool ok = c.statement != nullptr;
    std::string current;
    std::unique_ptr<IndexPage> page;
    auto finish = [&] {
        if (page && !page->Close()) {
            ok = false;
            page->Report(failed);
        }
        page.reset();
    };
    for (; c.HasRow() && !progress.IsStopRequested(); c.Step()) {
        LStringA month;
        c.GetColumnTextA(11, month);
        auto it = months.find(month.Str());
        if (it == months.end()) continue;
        if (month.Str() != current) {
            finish();
            current = month.Str();
            it->second = true;
            page = std::make_unique<IndexPage>();
            page->Open(base, current);
        }
        LEmailBackupNamedRow row;
        if (!LEmailBackupReadNamedRow(c, row)) continue;
        char16_t stamp[260];
        LEmailBackupMonthFolder(row.time, nullptr, stamp);
        page->Row(row.fileName, Cut(row.from).c_str(), Cut(row.to).c_str(), Cut(row.subject).c_str(),
                  LToUtf8(stamp).c_str());
    }
    finish();
    if (progress.IsStopRequested()) return false;
    // Month folders without live rows still get a page (an empty table).
    for (auto& [month, written] : months) {
        if (written) continue;
        page = std::make_unique<IndexPage>();
        page->Open(base, month);
        finish();
    }
    return ok;
}
