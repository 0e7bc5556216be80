// The month index pages. One statement reads the rows of every month that
// gets a page, in page order, so each row is read once per round however
// many months there are.
#include <map>
#include <memory>
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

class IndexPage {
public:
    bool Open(const std::string& folder, const std::string& month) {
        std::u16string path = LFromUtf8(folder + "/" + month + "/index.html").c_str();
        file_ = LCreateFileRetry(path.c_str(), LFileAccessWrite, LFileShareNone, LFileCreateAlways, 5000);
        LStringA head;
        head.Format("<!doctype html><html><head><meta charset=\"utf-8\"><title>Mail backup %H</title></head><body>"
                    "<h1>Mail backup %H</h1><table border=\"1\"><thead><tr><th>From</th><th>To</th><th>Subject</th>"
                    "<th>Date</th></tr></thead><tbody>",
                    month.c_str(), month.c_str());
        text_.AppendString(head);
        return file_.IsValid();
    }
    void Row(const char* from, const char* to, const LStringA& href, const char* subject, const char* stamp) {
        text_.AppendFormat("<tr><td>%H</td><td>%H</td><td><a href=\"%H\">%H</a></td><td>%H</td></tr>", from, to,
                           href.c_str(), subject, stamp);
        if (text_.length > 256 * 1024) Flush();
    }
    bool Close() {
        text_.Append("</tbody></table></body></html>");
        Flush();
        file_.Close();
        return ok_;
    }

private:
    void Flush() {
        ok_ = ok_ && file_.IsValid() && file_.Write(text_.c_str(), text_.length);
        text_.Clear();
    }
    LFileHandle file_;
    LStringA text_;
    bool ok_ = true;
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
                              int64_t last_done_utc) {
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
             u"SELECT ID, FROM_TEXT, TO_TEXT, SUBJECT, SENT_UTC, RECEIVED_UTC, strftime('%%Y-%%m', %s, 'unixepoch') "
             u"AS MONTH FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0 AND (SENT_UTC>=%I64d OR (COALESCE(SENT_UTC, 0)<=0 "
             u"AND RECEIVED_UTC>=%I64d)) ORDER BY MONTH, FROM_TEXT, TO_TEXT, SUBJECT;",
             kTime, u"main", from_time, from_time);
    bool ok = c.statement != nullptr;
    std::string current;
    std::unique_ptr<IndexPage> page;
    auto finish = [&] {
        if (page && !page->Close()) ok = false;
        page.reset();
    };
    for (; c.HasRow() && !progress.IsStopRequested(); c.Step()) {
        LStringA month;
        c.GetColumnTextA(6, month);
        auto it = months.find(month.Str());
        if (it == months.end()) continue;
        if (month.Str() != current) {
            finish();
            current = month.Str();
            it->second = true;
            page = std::make_unique<IndexPage>();
            if (!page->Open(base, current)) ok = false;
        }
        LString id, from, to, subject;
        c.GetColumnString(0, id);
        c.GetColumnString(1, from);
        c.GetColumnString(2, to);
        c.GetColumnString(3, subject);
        time_t t = 0;
        char16_t stamp[260];
        if (!LEmailBackupMessageTime(c.GetColumnInt64(4), c.GetColumnInt64(5), t) ||
            !LEmailBackupMonthFolder(t, nullptr, stamp))
            continue;
        LString file;
        LEmailBackupFileName(stamp, from.c_str(), to.c_str(), subject.c_str(), id.c_str(), file);
        LStringA href;
        AppendHref(href, file);
        page->Row(Cut(from).c_str(), Cut(to).c_str(), href, Cut(subject).c_str(), LToUtf8(stamp).c_str());
    }
    finish();
    if (progress.IsStopRequested()) return false;
    // Month folders without live rows still get a page (an empty table).
    for (auto& [month, written] : months) {
        if (written) continue;
        IndexPage empty;
        if (!empty.Open(base, month) || !empty.Close()) ok = false;
    }
    return ok;
}
