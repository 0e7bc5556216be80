#include <gtest/gtest.h>

#include <sstream>

#include "foundation/utf8.h"
#include "mail/queue/send_queue.h"
#include "net/mime/mime_message.h"

namespace {

TEST(ComposeSent, HeadersWholeFoldedAndMarked) {
    std::string list;
    for (int i = 0; i < 40; ++i) list += "Person Number " + std::to_string(i) + " <p" + std::to_string(i) + "@example.net>, ";
    list += "last@example.net";
    std::u16string to(LFromUtf8(list).View());
    std::u16string body = u"line one\nline two\r.dot line\r\n" + std::u16string(2000, u'w');
    LComposeInput in;
    in.from = u"me@example.org";
    in.to = to.c_str();
    in.subject = u"Re: the plan\r\nBcc: injected@example.com";
    in.messageId = u"<abc@example.org>";
    in.inReplyTo = u"<orig@example.net>";
    in.references = u"<a@example.net> <orig@example.net>";
    in.autoSubmitted = u"auto-replied";
    in.textBody = body.c_str();
    in.date = "Fri, 11 Dec 2026 00:00:00 +0000";
    LStringA out;
    LEmailComposeMime(in, out);
    std::string mime = out.Str();
    size_t head_end = mime.find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos);
    std::string head = mime.substr(0, head_end + 2);
    for (const char* line : {"Message-ID: <abc@example.org>\r\n", "In-Reply-To: <orig@example.net>\r\n",
                             "References: <a@example.net> <orig@example.net>\r\n", "Auto-Submitted: auto-replied\r\n",
                             "Date: Fri, 11 Dec 2026 00:00:00 +0000\r\n", "Reply-To: me@example.org\r\n"})
        EXPECT_NE(head.find(line), std::string::npos) << line << head;
    // No header line can be started from a caller's text.
    EXPECT_EQ(head.find("\r\nBcc:"), std::string::npos);
    // Every recipient survives, folded onto lines of sane length.
    std::string unfolded;
    for (size_t i = 0; i < head.size(); ++i) {
        if (head.compare(i, 3, "\r\n ") == 0) {
            ++i;  // the line break goes, the blank stays
            continue;
        }
        unfolded.push_back(head[i]);
    }
    EXPECT_NE(unfolded.find("Person Number 39 <p39@example.net>, last@example.net\r\n"), std::string::npos);
    // Every line ends in CR LF and stays within what servers accept.
    std::istringstream lines(mime);
    std::string line;
    while (std::getline(lines, line, '\n')) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        EXPECT_LE(line.size(), 998u);
    }
    EXPECT_NE(mime.find("line one\r\nline two\r\n.dot line\r\n"), std::string::npos);
}

}  // namespace

namespace {

std::string Utf8(const LString& s) { return LToUtf8(s.c_str()); }

// A line too long for SMTP is never cut (that would change the text): the
// part goes quoted-printable and decodes to exactly what was written.
TEST(ComposeSent, LongLinesTravelQuotedPrintableUnchanged) {
    std::u16string body = u"short = line\r\n" + std::u16string(1500, u'x') + u" \u00fc\u00df end \nlast line ";
    LComposeInput in;
    in.from = u"me@example.org";
    in.to = u"you@example.net";
    in.textBody = body.c_str();
    LStringA out;
    LEmailComposeMime(in, out);
    std::string mime = out.Str();
    size_t start = mime.find("\r\n\r\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(mime.substr(0, start + 2).find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
    std::string encoded = mime.substr(start + 4);
    size_t line = 0;
    for (char c : encoded) {
        line = c == '\n' ? 0 : line + 1;
        EXPECT_LE(line, 77u);  // 76 and the CR
    }
    LStringA decoded;
    EMLMimeDecodeQuotedPrintable(encoded, decoded, false);
    std::string want = LToUtf8(body.c_str());
    want.replace(want.find(" end \n"), 6, " end \r\n");
    EXPECT_EQ(decoded.Str(), want + "\r\n");
}

// What the text part of a sent HTML message shows, and how a typed text
// becomes HTML: paragraphs stay, style sheets and scripts never show.
TEST(ComposeSent, TextOfHtmlAndHtmlOfText) {
    struct Case {
        const char16_t* html;
        const char* text;
    } cases[] = {
        {u"<html><head><style>p{color:red}</style><title>T</title></head><body><p>Hi</p></body></html>", "Hi\r\n"},
        {u"a<STYLE type=\"text/css\">b{}</STYLE >c", "ac"},
        {u"a<script>if (x<y) z()</script>c", "ac"},
        {u"<styles>kept</styles>", "kept"},
        {u"a<style>never closed", "a"},
    };
    for (const Case& c : cases) {
        LString text;
        LEmailHtmlToSendText(text, c.html);
        EXPECT_EQ(Utf8(text), c.text) << LToUtf8(c.html);
    }
    LString html;
    LEmailAppendTextAsHtml(html, u"line one\nline two\r\n\r\npara <b>&");
    EXPECT_EQ(Utf8(html), "line one<br>\r\nline two<br>\r\n<br>\r\npara &lt;b&gt;&amp;");
    LString again;
    LEmailHtmlToSendText(again, html.c_str());
    EXPECT_EQ(Utf8(again), "line one\r\nline two\r\n\r\npara <b>&");
}

}  // namespace
