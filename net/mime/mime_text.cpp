// Text bodies: the line treatment of text/plain parts and the HTML forms of
// plain text.
#include "foundation/format.h"
#include "foundation/html_text.h"
#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

// RFC 3676: a line ending in a blank is a soft break, except the signature
// separator "-- ".
bool IsSoftBreak(std::string_view line) { return !line.empty() && line.back() == ' ' && line != "-- "; }

}  // namespace

// The sender's line breaks are the text: a line wrapped near 76 columns in
// a plain part is how the sender wrote it (a table, a poem, a log). Only
// format=flowed marks the breaks a reader may undo.
void EMLMimeDecodeText(std::string_view bytes, bool flowed, bool delSp, LStringA& out) {
    out.Reserve(out.length + bytes.size() + bytes.size() / 32 + 3);
    std::string_view cursor = bytes, line;
    while (LMimeNextLine(cursor, line)) {
        if (flowed && !line.empty() && line.front() == ' ') line.remove_prefix(1);  // space-stuffed
        if (!flowed || !IsSoftBreak(line)) {
            out.AppendView(line);
            out.AppendN("\r\n", 2);
            continue;
        }
        // DelSp=yes: the blank was added to mark the break, not written.
        if (delSp) line.remove_suffix(1);
        out.AppendView(line);
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
