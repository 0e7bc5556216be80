// One message as an .eml file. The text is written to "<name>.tmp" and moved
// into place, so an interrupted run never leaves a half file under the
// final name. Attachments are streamed from the cache in Base64 pieces: a
// large one is never held whole, and every attachment row gets a part, even
// when the cache holds no file for it.
#include <strings.h>

#include <cstring>
#include <string_view>

#include "foundation/base64.h"
#include "foundation/files.h"
#include "foundation/files_path.h"
#include "foundation/utf8.h"
#include "mail/backup/email_backup.h"

namespace {

// Whole Base64 lines: 57 bytes make one 76-character line.
constexpr uint32_t kChunkBytes = 57 * 1024;
constexpr size_t kFlushBytes = 256 * 1024;

class EmlOut {
public:
    explicit EmlOut(LFileHandle& file) : file_(file) {}
    LStringA& Text() { return text_; }
    void Put(const char* s) { text_.Append(s); }
    void PutWide(const char16_t* s) { LStringAAppendWide(text_, s); }
    // A stored body with its line ends made CR LF, as the file's are.
    void PutBody(const LString& body) {
        LStringA utf8;
        LStringAAppendWide(utf8, body.c_str(), body.length);
        for (uint64_t i = 0; i < utf8.length; ++i) {
            char c = utf8.buffer[i];
            if (c == '\n' && (i == 0 || utf8.buffer[i - 1] != '\r')) text_.AppendChar('\r');
            if (c == '\r' && (i + 1 == utf8.length || utf8.buffer[i + 1] != '\n')) {
                text_.Append("\r\n");
                continue;
            }
            text_.AppendChar(c);
        }
    }
    bool Flush(bool always = false) {
        if (!ok_ || (!always && text_.length < kFlushBytes)) return ok_;
        ok_ = file_.Write(text_.c_str(), text_.length);
        text_.Clear();
        return ok_;
    }

private:
    LFileHandle& file_;
    LStringA text_;
    bool ok_ = true;
};

// An address list; an empty one is left out, except From and To, which
// readers expect.
void AddressHeader(EmlOut& out, const char* name, const LString& value, bool always = false) {
    if (value.IsEmpty() && !always) return;
    out.Put(name);
    LEmailEncodeAddressList(value.c_str(), out.Text());
    out.Put("\r\n");
}

// Message-IDs: ASCII by their syntax, written as stored without line
// breaks; a long References list is folded between its IDs, since a line
// may hold at most 998 bytes.
void IdHeader(EmlOut& out, const char* name, const LString& value) {
    LString trimmed(value);
    trimmed.Trim();
    if (trimmed.IsEmpty()) return;
    LStringA text;
    LEmailAppendWithoutLineBreaks(trimmed.c_str(), text);
    out.Put(name);
    size_t line = std::strlen(name);
    bool first = true;
    std::string_view rest = text.View();
    while (!rest.empty()) {
        size_t end = rest.find(' ');
        std::string_view word = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (word.empty()) continue;
        if (!first) {
            if (line + 1 + word.size() > 78) {
                out.Put("\r\n");
                line = 0;
            }
            out.Put(" ");
            ++line;
        }
        out.Text().AppendView(word);
        line += word.size();
        first = false;
    }
    out.Put("\r\n");
}

// The bytes of a cached file as Base64 lines, or as they are for an
// attached message. 0 written, 1 the cache has no such file, 2 it could
// not be read (or written) whole.
int PutFile(EmlOut& out, const LString& path, bool base64) {
    if (path.IsEmpty()) return 1;
    LFileHandle in = LCreateFileRetry(path.c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting, 0);
    if (!in.IsValid()) return 1;
    LStringA chunk;
    if (!chunk.Reserve(kChunkBytes)) return 2;
    for (;;) {
        uint32_t have = 0, got = 0;
        while (have < kChunkBytes && in.Read(chunk.buffer + have, kChunkBytes - have, &got) && got) have += got;
        if (have && base64) LBase64EncodeA(chunk.buffer, have, out.Text());
        if (have && !base64) out.Text().AppendN(chunk.buffer, have);
        if (!out.Flush()) return 2;
        if (have < kChunkBytes) break;
    }
    LStringA& t = out.Text();
    if (t.length && t.buffer[t.length - 1] != '\n') out.Put("\r\n");
    return 0;
}

bool PutAttachments(LAppDatabaseAccount& db, EmlOut& out, const LStringA& boundary, const LString& id) {
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT FILENAME, CONTENT_TYPE, CONTENT_ID, STORAGE_PATH, IS_INLINE, SIZE_BYTES FROM "
             u"%s.EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID='%Q' ORDER BY IS_INLINE ASC, COALESCE(PART_ID, ''), ID;",
             u"main", id.c_str());
    for (; c.HasRow(); c.Step()) {
        char16_t raw[260], name[260], type[260], content_id[260];
        LString path;
        c.GetColumnText(0, u"", raw);
        if (!LMakeValidFileName(raw, name)) LCopyField(name, u"attachment");
        c.GetColumnText(1, u"", raw);
        LEmailStripLineBreaks(raw, type);
        if (!type[0]) LCopyField(type, u"application/octet-stream");
        c.GetColumnText(2, u"", raw);
        LEmailStripLineBreaks(raw, content_id);
        c.GetColumnString(3, path);
        bool is_inline = c.GetColumnInt(4) != 0;
        int64_t size = c.GetColumnInt64(5);

        LStringA part;
        part.Format("--%s\r\nContent-Type: ", boundary.c_str());
        out.Put(part.c_str());
        // Only attachments with bytes are cached: an empty one is an empty
        // part, not a missing file.
        bool empty = path.IsEmpty() && size <= 0;
        LFileHandle probe;
        if (!empty && !path.IsEmpty())
            probe = LCreateFileRetry(path.c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting, 0);
        if (!empty && !probe.IsValid()) {
            // Nothing to copy: say so inside the message rather than leave
            // the whole message out of the backup.
            out.Put("text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\nThe attachment \"");
            out.PutWide(name);
            out.Put("\" was not in the local store when this backup was written.\r\n");
            continue;
        }
        probe.Close();
        // An attached message stays readable as one: MIME allows it no
        // Base64, so its bytes go in as they are.
        bool message = (type[0] == u'm' || type[0] == u'M') && LToUtf8(type).size() > 8 &&
                       strncasecmp(LToUtf8(type).c_str(), "message/", 8) == 0;
        out.PutWide(type);
        out.Put("; name=\"");
        out.PutWide(name);
        out.Put(message ? "\"\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: "
                        : "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: ");
        out.Put(is_inline ? "inline" : "attachment");
        out.Put("; filename=\"");
        out.PutWide(name);
        out.Put("\"\r\n");
        if (content_id[0]) {
            out.Put("Content-ID: ");
            out.PutWide(content_id);
            out.Put("\r\n");
        }
        out.Put("\r\n");
        if (!empty && PutFile(out, path, !message) != 0) return false;
        out.Put("\r\n");
    }
    return true;
}

void PutBodies(EmlOut& out, const LEmailBackupMessage& m, const char* boundary_for_alternative) {
    bool text = !m.body_text.IsEmpty(), html = !m.body_html.IsEmpty();
    if (text && html) {
        out.Put("Content-Type: multipart/alternative; boundary=\"");
        out.Put(boundary_for_alternative);
        out.Put("\"\r\n\r\n--");
        out.Put(boundary_for_alternative);
        out.Put("\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n");
        out.PutBody(m.body_text);
        out.Put("\r\n--");
        out.Put(boundary_for_alternative);
        out.Put("\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n");
        out.PutBody(m.body_html);
        out.Put("\r\n--");
        out.Put(boundary_for_alternative);
        out.Put("--\r\n");
        return;
    }
    out.Put(html ? "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                 : "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n");
    out.PutBody(html ? m.body_html : m.body_text);
}

bool HasAttachmentRows(LAppDatabaseAccount& db, const LString& id) {
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID='%Q';", u"main", id.c_str());
    int32_t n = 0;
    return db.QueryInt(q.c_str(), &n) && n > 0;
}

}  // namespace

bool LEmailBackupWriteEml(LAppDatabaseAccount& db, const LEmailBackupMessage& m, const char16_t* path) {
    LString tmp(path);
    tmp.Append(u".tmp");
    LFileHandle file = LCreateFileRetry(tmp.c_str(), LFileAccessWrite, LFileShareNone, LFileCreateAlways, 5000);
    if (!file.IsValid()) return false;
    EmlOut out(file);
    const LEmailBackupNamedRow& row = m.row;
    AddressHeader(out, "From: ", row.from, true);
    AddressHeader(out, "To: ", row.to, true);
    AddressHeader(out, "Cc: ", m.cc);
    AddressHeader(out, "Bcc: ", m.bcc);
    AddressHeader(out, "Reply-To: ", m.reply_to);
    out.Put("Subject: ");
    LEmailEncodeHeaderWord(row.subject.c_str(), out.Text());
    out.Put("\r\n");
    IdHeader(out, "Message-ID: ", row.messageId);
    IdHeader(out, "In-Reply-To: ", m.in_reply_to);
    IdHeader(out, "References: ", m.references);
    out.Put("Date: ");
    LEmailFormatRfc5322Date(row.time, out.Text());
    out.Put("\r\nMIME-Version: 1.0\r\n");

    LStringA boundary, alternative;
    boundary.Append("porlinex-");
    LStringAAppendWide(boundary, row.id.c_str());
    // Not the outer boundary with a suffix: lenient readers match a
    // boundary line by its prefix.
    alternative.Append("alt-");
    alternative.AppendString(boundary);
    bool ok = true;
    if (!HasAttachmentRows(db, row.id)) {
        PutBodies(out, m, alternative.c_str());
    } else {
        out.Put("Content-Type: multipart/mixed; boundary=\"");
        out.Put(boundary.c_str());
        out.Put("\"\r\n\r\n--");
        out.Put(boundary.c_str());
        out.Put("\r\n");
        PutBodies(out, m, alternative.c_str());
        out.Put("\r\n");
        ok = PutAttachments(db, out, boundary, row.id);
        out.Put("--");
        out.Put(boundary.c_str());
        out.Put("--\r\n");
    }
    ok = ok && out.Flush(true);
    file.Close();
    if (!ok || !LMoveFileRetry(tmp.c_str(), path)) {
        LDeleteFileRetry(tmp.c_str(), 0);
        return false;
    }
    return true;
}
