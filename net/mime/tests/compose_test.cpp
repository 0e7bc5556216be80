// The MIME composer: header words, body lines for SMTP, base64 parts, and a
// composed message read back through the MIME parser.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "net/mime/compose.h"
#include "net/mime/mime_message.h"
#include "tests/support/test_root.h"

namespace {

class TestProgress : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 0; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 0; }
    void ShowError(const char16_t* text) override { errors += LToUtf8(text) + "\n"; }
    std::string errors;
};

class StringWriter : public LMimeWriter {
public:
    uint32_t Send(LTaskProgress&, const char* data, size_t n, uint32_t) override {
        text.append(data, n);
        return 0;
    }
    std::string text;
};

std::string Body(const char16_t* body) {
    TestProgress p;
    StringWriter w;
    EXPECT_EQ(LSmtpSendBodyText(p, w, body), 0u);
    return w.text;
}

std::string Encode(const char* text, size_t size = 780) {
    std::string out(size, '\0');
    LMimeEncodeHeaderWord(out.data(), text, size);
    return out.c_str();
}

}  // namespace

TEST(Compose, HeaderWords) {
    EXPECT_EQ(Encode("Plain ASCII subject"), "Plain ASCII subject");
    EXPECT_EQ(Encode("Grüße"), "=?utf-8?q?Gr=C3=BC=C3=9Fe?=");
    EXPECT_EQ(Encode("a ü?_="), "=?utf-8?q?a=20=C3=BC=3F=5F=3D?=");

    // Long text: several words of at most 75 characters, folded, never
    // splitting a character, decoding back to the original.
    std::string longText;
    for (int i = 0; i < 15; ++i) longText += "日本語 ";
    std::string enc = Encode(longText.c_str());
    size_t start = 0;
    while (start < enc.size()) {
        size_t end = enc.find("\r\n ", start);
        std::string word = enc.substr(start, end == std::string::npos ? std::string::npos : end - start);
        EXPECT_LE(word.size(), 75u);
        EXPECT_TRUE(word.starts_with("=?utf-8?q?") && word.ends_with("?="));
        start = end == std::string::npos ? enc.size() : end + 3;
    }
    EMLMimeMessage m;
    m.Parse("Subject: " + enc + "\r\n\r\n");
    EXPECT_EQ(LToUtf8(m.FindHeader(u"subject")->c_str()), longText);

    // A small buffer keeps only whole words.
    std::string cut = Encode(longText.c_str(), 100);
    EXPECT_TRUE(cut.ends_with("?="));
    EXPECT_LT(cut.size(), 100u);
}

TEST(Compose, BodyLinesForSmtp) {
    struct Case {
        const char16_t* body;
        std::string wire;
    } cases[] = {
        {u".\r\nnext", "..\r\nnext"},
        {u"a\nb\rc\r\n.", "a\r\nb\r\nc\r\n.."},  // lone CR and LF become CR LF; last line stuffed
        {u"", ""},
        {u"end\r\n", "end\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Body(c.body), c.wire) << LToUtf8(c.body);

    std::u16string line(1000, u'x');
    line[649] = u' ';
    std::string wire = Body(line.c_str());
    EXPECT_EQ(wire.find("\r\n"), 650u);
    EXPECT_EQ(wire.size(), 1002u);

    // No blank: cut at 700 bytes, but never inside a character.
    std::u16string wide(400, u'é');
    wire = Body(wide.c_str());
    size_t br = wire.find("\r\n");
    EXPECT_EQ(br, 700u);
    LString back;
    back.SetUtf8N(wire.data(), br);
    EXPECT_EQ(back.length, 350u);

    // A cut piece that begins with '.' is stuffed too.
    std::u16string dots(700, u'a');
    dots += u".tail";
    EXPECT_EQ(Body(dots.c_str()), std::string(700, 'a') + "\r\n..tail");
}

TEST(Compose, BoundaryStaysOutOfTheBody) {
    LStringA b("gc0p4Jq0M2Yt08jU534c");
    LMimeMakeBoundaryUnique("no clash here", b);
    EXPECT_EQ(b.Str(), "gc0p4Jq0M2Yt08jU534c");
    std::string body = "x --gc0p4Jq0M2Yt08jU534c y";
    LMimeMakeBoundaryUnique(body, b);
    EXPECT_GT(b.length, 20u);
    EXPECT_LE(b.length, 70u);
    EXPECT_EQ(body.find(b.Str()), std::string::npos);
    for (char c : b.View()) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
}

TEST(Compose, DatesAndMessageIds) {
    char out[260];
    struct Case {
        int offset;
        const char* text;
    } cases[] = {{60, "Thu, 01 Jan 2026 01:00:00 +0100"},
                 {-300, "Wed, 31 Dec 2025 19:00:00 -0500"},
                 {0, "Thu, 01 Jan 2026 00:00:00 +0000"}};
    for (const Case& c : cases) {
        LEmailFormatDateAt(out, 1767225600, c.offset);
        EXPECT_STREQ(out, c.text);
    }
    LEmailFormatDate(out);
    EMLMimeMessage m;
    LString d;
    d.SetUtf8(out);
    EXPECT_NEAR(double(LEmailParseDate(d.View())), double(time(nullptr)), 5.0);

    LEmailMakeMessageId(out, u"me@example.org");
    EXPECT_TRUE(std::string(out).starts_with("<") && std::string(out).ends_with("@example.org>")) << out;
    LEmailMakeMessageId(out, u"bad@exa mple>");
    EXPECT_TRUE(std::string(out).ends_with("@localhost>")) << out;
}

TEST(Compose, MessageWithAttachmentsReadsBack) {
    LTestRoot root;
    std::string dir = root.Path();
    auto write = [&](const std::string& name, const std::string& data) {
        std::ofstream(dir + "/" + name, std::ios::binary) << data;
        return LFromUtf8(dir + "/" + name);
    };
    std::string bin;
    for (int i = 0; i < 115; ++i) bin.push_back(char(i * 7));
    LString p1 = write("report.MP3", bin);
    LString p2 = write("we\"ird\r\nnäme.bin", "x");
    LString p3 = write("empty.txt", "");
    std::string longName;
    for (int i = 0; i < 80; ++i) longName += "é";
    LString p4 = write(longName + ".pdf", "%PDF");
    const char16_t* paths[] = {p1.c_str(), p2.c_str(), p3.c_str(), p4.c_str()};

    LSmtpMessage msg;
    msg.to = u"bob@example.org, carol@example.org";
    msg.senderName = u"Zoë \"Z\" Example";
    msg.subject = u"Grüße\r\nBcc: evil@example.org";
    msg.body = u"Hello\r\n.\r\n--gc0p4Jq0M2Yt08jU534c\r\n";
    msg.attachmentPaths = paths;
    msg.attachmentCount = 4;
    TestProgress p;
    StringWriter w;
    ASSERT_EQ(LSmtpSendMessageContent(p, msg, w, u"zoe@example.com"), 0u) << p.errors;

    // The header block carries no line that the subject smuggled in.
    std::string head = w.text.substr(0, w.text.find("\r\n\r\n"));
    EXPECT_EQ(head.find("\r\nBcc:"), std::string::npos);
    EXPECT_NE(head.find("Content-Type: multipart/mixed; boundary="), std::string::npos);
    EXPECT_NE(w.text.find("\r\n..\r\n"), std::string::npos);
    EXPECT_NE(w.text.find("Content-Type: audio/mpeg; name=\"report.MP3\""), std::string::npos);
    for (size_t i = 0; i < w.text.size(); ++i)
        if (w.text[i] == '\n') {
            ASSERT_EQ(w.text[i - 1], '\r') << "bare LF at " << i;
        }

    // Undo the dot-stuffing as the server does and parse what went out.
    std::string wire = w.text, unstuffed;
    for (size_t pos = 0; pos < wire.size();) {
        size_t e = wire.find("\r\n", pos);
        std::string line = wire.substr(pos, e == std::string::npos ? std::string::npos : e - pos + 2);
        if (line.starts_with("..")) line.erase(0, 1);
        unstuffed += line;
        pos = e == std::string::npos ? wire.size() : e + 2;
    }
    EMLMimeMessage m;
    m.Parse(unstuffed);
    EXPECT_EQ(LToUtf8(m.FindHeader(u"subject")->c_str()), "GrüßeBcc: evil@example.org");
    EXPECT_EQ(LToUtf8(m.FindHeader(u"from")->c_str()), "Zoë \"Z\" Example <zoe@example.com>");
    EXPECT_EQ(LToUtf8(m.text), "Hello\r\n.\r\n--gc0p4Jq0M2Yt08jU534c\r\n");
    std::vector<const EMLMimeAttachment*> att;
    for (const EMLMimeAttachment* a = m.attachments; a; a = a->next) att.push_back(a);
    // The empty file went out as an empty part, which reads back as nothing.
    EXPECT_NE(w.text.find("filename=\"empty.txt\"\r\n\r\n\r\n--"), std::string::npos);
    ASSERT_EQ(att.size(), 3u);
    EXPECT_EQ(LToUtf8(att[2]->fileName), longName + ".pdf");
    EXPECT_EQ(std::string(static_cast<const char*>(att[0]->data.block), size_t(att[0]->size)), bin);
    EXPECT_EQ(LToUtf8(att[1]->fileName), "weirdnäme.bin");
}

TEST(Compose, FailuresStopTheMessage) {
    const char16_t* missing[] = {u"/nonexistent/file.pdf"};
    LSmtpMessage msg;
    msg.to = u"bob@example.org";
    msg.body = u"x";
    msg.attachmentPaths = missing;
    msg.attachmentCount = 1;
    TestProgress p;
    StringWriter w;
    EXPECT_EQ(LSmtpSendMessageContent(p, msg, w, u"me@example.org"), 2u);
    EXPECT_NE(p.errors.find("/nonexistent/file.pdf"), std::string::npos);

    const char16_t* badAddresses[][2] = {{u"me@example.org", u"bob@example.org\r\nBcc: x@y.z"},
                                         {u"me@example.org>\r\nX: y", u"bob@example.org"},
                                         {u"me@example.org", u""}};
    for (auto& a : badAddresses) {
        LSmtpMessage m2;
        m2.to = a[1];
        StringWriter w2;
        EXPECT_EQ(LSmtpSendMessageContent(p, m2, w2, a[0]), 2u);
        EXPECT_EQ(w2.text, "");
    }
}

TEST(Compose, Base64Lines) {
    TestProgress p;
    for (size_t n : {114u, 115u}) {
        std::string data(n, 'z');
        StringWriter w;
        LSmtpSendBase64Block(p, w, reinterpret_cast<const uint8_t*>(data.data()), n);
        EXPECT_EQ(w.text.size(), n == 114 ? 156u : 162u);
        EXPECT_TRUE(w.text.ends_with("\r\n"));
    }
}

