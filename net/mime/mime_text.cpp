// Text bodies: the line treatment of text/plain parts and the HTML forms of
// plain text.
#include "foundation/format.h"
#include "foundation/html_text.h"
#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

size_t FirstWordLength(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) > ' ') ++i;
    return i;
}

void AppendLine(std::string_view line, std::string_view next, bool dropEmptyLines, bool rewrap, bool flowed,
                LStringA& out) {
    if (line.empty()) {
        if (!dropEmptyLines) out.AppendN("\r\n", 2);
        return;
    }
    if (dropEmptyLines && line == " ") {
        out.AppendN("\r\n", 2);
        return;
    }
    if (flowed && line.back() == ' ') {
        // A soft break of format=flowed: the words on both sides meet again.
        if (next.empty() || next.front() == ' ') line.remove_suffix(1);
        out.AppendView(line);
        return;
    }
    out.AppendView(line);
    // Lines that a sending program wrapped near 76 columns are joined again;
    // quoted lines never.
    if (rewrap && line.front() != '>' && !next.empty() && line.size() + FirstWordLength(next) >= 76) {
        if (FirstWordLength(line) < 76) out.AppendChar(' ');
        return;
    }
    out.AppendN("\r\n", 2);
}

}  // namespace

void EMLMimeDecodeText(std::string_view bytes, bool dropEmptyLines, bool rewrap, bool flowed, LStringA& out) {
    out.Reserve(out.length + bytes.size() + bytes.size() / 32 + 3);
    std::string_view cursor = bytes, line, next;
    bool have = LMimeNextLine(cursor, line);
    while (have) {
        std::string_view after = cursor;
        bool haveNext = LMimeNextLine(after, next);
        std::string_view following;
        // The following line decides joins; flowed soft breaks look at it
        // whatever the transfer encoding was.
        if (haveNext && (rewrap || flowed)) following = next.substr(0, 259);
        AppendLine(line, following, dropEmptyLines, rewrap, flowed, out);
        cursor = after;
        line = next;
        have = haveNext;
    }
    out.Terminate();
}

void EMLMimeTextFromHtml(const LString& html, LString& out) {
    out.Clear();
    LHtmlToText(out, html.c_str());
    out.Terminate();
}

void EMLMimeWrapTextAsXhtml(const LString& text, const char16_t* title, LString& out) {
    out.Append(u"<html xmlns=\"http://www.w3.org/1999/xhtml\">");
    out.Append(u"\r\n<head>\r\n<title>");
    LAppendHtmlW(out, title ? title : u"");
    out.Append(u"</title>\r\n");
    out.Append(u"<meta http-equiv=\"Content-Type\" content=\"text/html; ");
    out.Append(u"charset=");
    out.Append(u"UTF-8");
    out.Append(u"\" />\r\n</head>\r\n<body>\r\n");
    LAppendHtmlW(out, text.c_str());
    out.Append(u"\r\n</body>\r\n</html>");
    out.Terminate();
}
