#include <gtest/gtest.h>

#include <sstream>

#include "foundation/utf8.h"
#include "mail/queue/send_queue.h"

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
