// The bytes of one queued message: what goes after DATA is also what is
// appended to Sent, so both carry one Message-ID and one Date.
#include <string>

#include "mail/queue/send_queue.h"
#include "foundation/utf8.h"
#include "net/mime/compose.h"

namespace {

std::string Stripped(const char16_t* text) {
    std::string out;
    for (char c : LToUtf8(text ? text : u""))
        if (c != '\r' && c != '\n') out.push_back(c);
    return out;
}

// A header whose value is a list: folded after each separator outside quotes
// and angle brackets, so a long To list never makes an over-long line.
void AppendListHeader(LStringA& out, const char* name, const std::string& value, char separator) {
    out.Append(name);
    out.Append(": ");
    size_t line = std::char_traits<char>::length(name) + 2;
    bool quoted = false;
    int angle = 0;
    size_t start = 0;
    for (size_t i = 0; i <= value.size(); ++i) {
        char c = i < value.size() ? value[i] : separator;
        if (c == '"' && (i == 0 || value[i - 1] != '\\')) quoted = !quoted;
        if (!quoted && c == '<') ++angle;
        if (!quoted && c == '>' && angle > 0) --angle;
        if ((c != separator || quoted || angle) && i < value.size()) continue;
        std::string item = value.substr(start, i - start);
        size_t a = item.find_first_not_of(' ');
        item = a == std::string::npos ? std::string() : item.substr(a);
        start = i + 1;
        if (item.empty()) continue;
        if (line > std::char_traits<char>::length(name) + 2) {
            if (separator != ' ') out.AppendChar(separator);
            if (line + item.size() > 76) {
                out.Append("\r\n ");
                line = 1;
            } else {
                out.AppendChar(' ');
                ++line;
            }
        }
        out.AppendView(item);
        line += item.size() + 1;
    }
    out.Append("\r\n");
}

void AppendHeader(LStringA& out, const char* name, const std::string& value) {
    if (value.empty()) return;
    out.Append(name);
    out.Append(": ");
    out.AppendView(value);
    out.Append("\r\n");
}

// Longer lines than this are not sent as they are: servers may cut or
// refuse lines past 998 bytes.
constexpr size_t kMaxLine = 900;

// CR LF stays, a lone CR or LF becomes CR LF.
void AppendNormalised(LStringA& out, std::string_view text) {
    while (true) {
        size_t end = text.find_first_of("\r\n");
        out.AppendView(text.substr(0, end));
        if (end == std::string_view::npos) return;
        out.Append("\r\n");
        text.remove_prefix(end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1));
    }
}

bool HasLongLine(std::string_view text) {
    size_t line = 0;
    for (char c : text) {
        line = c == '\r' || c == '\n' ? 0 : line + 1;
        if (line > kMaxLine) return true;
    }
    return false;
}

// One text part: 8bit as written, or quoted-printable when a line is too
// long to travel, so that no line is ever cut (which would change the text).
void AppendPart(LStringA& out, const char* type, std::string_view text) {
    bool quoted = HasLongLine(text);
    out.AppendFormat("Content-Type: %s; charset=\"utf-8\"\r\nContent-Transfer-Encoding: %s\r\n\r\n", type,
                     quoted ? "quoted-printable" : "8bit");
    if (quoted)
        LMimeEncodeQuotedPrintable(text, out);
    else
        AppendNormalised(out, text);
}

}  // namespace

void LEmailComposeMime(const LComposeInput& in, LStringA& out) {
    out.Clear();
    std::string subject_utf8 = Stripped(in.subject);
    std::string subject(subject_utf8.size() * 4 + 64, '\0');
    subject.resize(LMimeEncodeHeaderWord(subject.data(), subject_utf8.c_str(), subject.size()));
    char date[260];
    if (in.date && *in.date)
        LCopyFieldA(date, in.date);
    else
        LEmailFormatDate(date);
    std::string from = Stripped(in.from);
    std::string reply_to = Stripped(in.replyTo);
    out.Append("MIME-Version: 1.0\r\n");
    AppendHeader(out, "Message-ID", Stripped(in.messageId));
    AppendHeader(out, "From", from);
    AppendListHeader(out, "To", Stripped(in.to), ',');
    out.Append("Subject: ");
    out.AppendView(subject);
    out.Append("\r\n");
    AppendHeader(out, "Date", date);
    AppendListHeader(out, "Reply-To", reply_to.empty() ? from : reply_to, ',');
    AppendHeader(out, "In-Reply-To", Stripped(in.inReplyTo));
    std::string references = Stripped(in.references);
    if (!references.empty()) AppendListHeader(out, "References", references, ' ');
    AppendHeader(out, "Auto-Submitted", Stripped(in.autoSubmitted));
    out.Append("X-Mailer: Porlinex\r\n");
    std::string text = LToUtf8(in.textBody ? in.textBody : u"");
    std::string html = LToUtf8(in.htmlBody ? in.htmlBody : u"");
    if (html.empty()) {
        AppendPart(out, "text/plain", text);
        out.Append("\r\n");
        return;
    }
    LStringA boundary("gc0p4Jq0M2Yt08jU534c");
    LMimeMakeBoundaryUnique(text + html, boundary);
    out.AppendFormat("Content-Type: multipart/alternative; boundary=\"%s\"\r\n\r\n--%s\r\n", boundary, boundary);
    AppendPart(out, "text/plain", text);
    out.AppendFormat("\r\n--%s\r\n", boundary);
    AppendPart(out, "text/html", html);
    out.AppendFormat("\r\n--%s--\r\n", boundary);
}
