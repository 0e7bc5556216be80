// The MIME parser over fixture messages and small inline cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "net/mime/mime_message.h"

namespace {

std::string Fixture(const char* name) {
    std::ifstream f(std::string(PORLINEX_SOURCE_DIR) + "/net/mime/tests/testdata/mime/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string U8(const LString& s) { return LToUtf8(s); }
std::string U8(const char16_t* s) { return LToUtf8(s); }

std::string Header(const EMLMimeMessage& m, const char16_t* name) {
    LString v;
    m.GetHeader(name, v);
    return U8(v);
}

std::vector<const EMLMimeAttachment*> Attachments(const EMLMimeMessage& m) {
    std::vector<const EMLMimeAttachment*> out;
    for (const EMLMimeAttachment* a = m.attachments; a; a = a->next) out.push_back(a);
    return out;
}

std::string Bytes(const EMLMimeAttachment* a) {
    return std::string(static_cast<const char*>(a->data.block), size_t(a->size));
}

std::string Lines(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) s.append(l).append("\r\n");
    return s;
}

}  // namespace

TEST(MimeParser, NestedMultipartWithAttachmentsAndEmbeddedMessage) {
    EMLMimeMessage m;
    m.Parse(Fixture("nested.eml"));
    EXPECT_EQ(Header(m, u"from"), "André <andre@example.com>");
    EXPECT_EQ(Header(m, u"subject"), "Grüße aus Köln");
    EXPECT_EQ(Header(m, u"To"), "");  // names are stored lower-case only
    EXPECT_EQ(LEmailParseDate(m.FindHeader(u"date")->View()), 784905151);
    EXPECT_EQ(m.kind, EMLMimeKindMixed);
    EXPECT_EQ(U8(m.text), "Hello Bob,\r\ncafé at noon.\r\n");
    EXPECT_EQ(U8(m.html), "<p>Hello <b>Bob</b></p>");

    auto att = Attachments(m);
    ASSERT_EQ(att.size(), 1u);
    EXPECT_EQ(U8(att[0]->fileName), "résumé final.pdf");
    EXPECT_EQ(U8(att[0]->contentType), "application/pdf");
    std::string pdf;
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 256; ++i) pdf.push_back(char(i));
    EXPECT_EQ(Bytes(att[0]), pdf);

    ASSERT_NE(m.embedded, nullptr);
    EXPECT_EQ(m.embedded->next, nullptr);
    EXPECT_EQ(Header(*m.embedded, u"subject"), "Inner über");
    EXPECT_EQ(U8(m.embedded->text), "Inner body line.\r\n");
}

TEST(MimeParser, EightBitBodiesDecodeThroughTheirCharset) {
    struct Case {
        const char* file;
        const char* text;
        const char* subject;
    } cases[] = {
        {"latin1.eml", "Grüße aus Köln, café\r\n", "Latin"},
        {"koi8r.eml", "привет мир\r\n", "KOI"},
        {"iso2022jp.eml", "ABC 日本語 DEF\r\n", "日本語"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EMLMimeMessage m;
        m.Parse(Fixture(c.file));
        EXPECT_EQ(U8(m.text), c.text);
        EXPECT_EQ(Header(m, u"subject"), c.subject);
    }
}

TEST(MimeParser, BrokenBoundaryKeepsTheLastPart) {
    EMLMimeMessage m;
    m.Parse(Fixture("broken_boundary.eml"));
    EXPECT_EQ(U8(m.text), "first part\r\n");
    auto att = Attachments(m);
    ASSERT_EQ(att.size(), 1u);
    EXPECT_EQ(U8(att[0]->fileName), "notes.txt");
    EXPECT_EQ(Bytes(att[0]), "second part, never closed\r\n");
}

TEST(MimeParser, MissingDateGivesZero) {
    EMLMimeMessage m;
    m.Parse(Fixture("missing_date.eml"));
    EXPECT_EQ(m.FindHeader(u"date"), nullptr);
    EXPECT_EQ(LEmailParseDate(u""), 0);
    EXPECT_EQ(U8(m.text), "Body\r\n");
}

TEST(MimeParser, Base64WithLineNoiseAndContentIdName) {
    EMLMimeMessage m;
    m.Parse(Fixture("base64_noise.eml"));
    auto att = Attachments(m);
    ASSERT_EQ(att.size(), 1u);
    EXPECT_EQ(U8(att[0]->fileName), "img1.png");
    EXPECT_EQ(U8(att[0]->contentId), "<img1>");
    std::string png = "\x89PNG\r\n\x1a\n";
    for (int i = 0; i < 200; ++i) png.push_back(char(i));
    EXPECT_EQ(Bytes(att[0]), png);
    EXPECT_EQ(U8(m.html), "<img src=\"cid:img1\">");
}

TEST(MimeParser, AttachmentsAreStoredByteExact) {
    EMLMimeMessage m;
    m.Parse(Fixture("exact.eml"));
    EXPECT_EQ(U8(m.text), "see attached\r\n");
    auto att = Attachments(m);
    ASSERT_EQ(att.size(), 3u);
    EXPECT_EQ(U8(att[0]->fileName), "data.csv");
    EXPECT_EQ(Bytes(att[0]), "a,b\r\n1,2\r\n");
    EXPECT_EQ(U8(att[1]->fileName), "raw.bin");
    EXPECT_EQ(Bytes(att[1]), std::string("\xff\xfe\x00\x41\xe9\r\n\x80", 8));
    EXPECT_EQ(U8(att[2]->fileName), "quote.txt");
    EXPECT_EQ(Bytes(att[2]), "caf\xe9 = softbreak");
}

TEST(MimeParser, HeaderFieldsUnfoldAndDecode) {
    struct Case {
        const char* raw;
        const char* decoded;
    } cases[] = {
        {"Subject: one\r\n\ttwo", "one two"},
        {"Subject: =?utf-8?q?a?= =?utf-8?q?b?=", "ab"},
        {"Subject: x =?utf-8?q?a?= y", "x a y"},
        {"Subject: =?utf-8?x?abc?= rest", "=?utf-8?x?abc?= rest"},
        {"Subject: =?utf-8?q?unterminated", "=?utf-8?q?unterminated"},
        // A character split across two words still decodes whole.
        {"Subject: =?utf-8?B?w6k=?= =?utf-8?B?w6k=?= =?UTF-8?Q?=C3?= =?UTF-8?Q?=A9?=", "ééé"},
        {"Subject: =?koi8-r?B?8NLJ18XU?=", "Привет"},
        {"SUBJECT: last wins\r\nSubject: second", "second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EMLMimeMessage m;
        m.Parse(std::string(c.raw) + "\r\n\r\nbody");
        EXPECT_EQ(Header(m, u"subject"), c.decoded);
    }
}

TEST(MimeParser, KindsAndBodyRules) {
    // text/plain with a name is an attachment; with only a disposition it stays text.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: multipart/mixed; boundary=b", "", "--b",
                       "Content-Type: text/plain; name=a.txt", "", "file", "--b",
                       "Content-Type: text/plain", "Content-Disposition: attachment", "", "body", "--b--"}));
        EXPECT_EQ(U8(m.text), "body\r\n");
        ASSERT_EQ(Attachments(m).size(), 1u);
        EXPECT_EQ(U8(m.attachments->fileName), "a.txt");
    }
    // Alternative with only text/plain: the HTML is a page titled with the subject.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Subject: Hi <there>", "Content-Type: multipart/alternative; boundary=b", "", "--b",
                       "Content-Type: text/plain", "", "plain", "--b--"}));
        EXPECT_EQ(U8(m.text), "plain\r\n");
        EXPECT_NE(U8(m.html).find("<title>Hi &lt;there&gt;</title>"), std::string::npos);
        EXPECT_NE(U8(m.html).find("http://www.w3.org/1999/xhtml"), std::string::npos);
    }
    // Top-level text/html gets a rendering; inside alternative it does not.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: text/html", "", "<p>Hello</p>"}));
        EXPECT_EQ(U8(m.html), "<p>Hello</p>");
        EXPECT_NE(U8(m.text).find("Hello"), std::string::npos);
    }
    // The sender's line breaks stay, blank lines and lines wrapped near 76
    // columns included, in every kind of part; only format=flowed soft
    // breaks are undone.
    {
        const std::string seventy(70, 'x');
        struct Case {
            std::string message, text;
        };
        const Case cases[] = {
            {Lines({"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "a", "", " ", "b", "--b--"}),
             "a\r\n\r\n \r\nb\r\n"},
            {Lines({"Content-Type: multipart/alternative; boundary=b", "", "--b", "", "line two", "", "para",
                    "--b", "Content-Type: text/html", "", "<p>x</p>", "--b--"}),
             "line two\r\n\r\npara\r\n"},
            {Lines({"Subject: x", "", "a", "", "b"}), "a\r\n\r\nb\r\n"},
            {Lines({"Content-Transfer-Encoding: 8bit", "", seventy.c_str(), "tenletters more",
                    ("> " + seventy).c_str(), "tenletters"}),
             seventy + "\r\ntenletters more\r\n> " + seventy + "\r\ntenletters\r\n"},
            {Lines({"Content-Type: text/plain; format=flowed", "Content-Transfer-Encoding: quoted-printable", "",
                    "one two ", "three"}),
             "one two three\r\n"},
            {Lines({"Content-Type: text/plain; format=flowed", "Content-Transfer-Encoding: 7bit", "", "one ", "two",
                    "", "  stuffed", "-- ", "sig"}),
             "one two\r\n\r\n stuffed\r\n-- \r\nsig\r\n"},
            {Lines({"Content-Type: text/plain; format=flowed; delsp=yes", "", "\xe6\x97\xa5\xe6\x9c\xac ",
                    "\xe8\xaa\x9e"}),
             "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\r\n"},
        };
        for (const Case& c : cases) {
            EMLMimeMessage m;
            m.Parse(c.message);
            EXPECT_EQ(U8(m.text), c.text) << c.message;
        }
    }
    // Unknown transfer encoding of an attachment: the part stays text.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: application/x-thing", "Content-Transfer-Encoding: x-uuencode", "", "begin"}));
        EXPECT_EQ(m.attachments, nullptr);
        EXPECT_EQ(U8(m.text), "begin");
    }
    // Multipart without a boundary keeps its raw lines as text.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: multipart/mixed", "", "raw", "lines"}));
        EXPECT_EQ(U8(m.text), "raw\r\nlines");
    }
}

TEST(MimeParser, ContentKindAndParams) {
    struct Case {
        const char16_t* type;
        int kind;
    } cases[] = {
        {u"multipart/mixed; boundary=x", 0}, {u"MULTIPART/ALTERNATIVE", 1}, {u"multipart/digest", 2},
        {u"message/rfc822", 3},              {u"multipart/related", 4},     {u"multipart/signed", 5},
        {u"text/plain", 6},                  {u"", 6},                      {u"text/html; charset=x", 7},
        {u"image/png", 8},                   {u"audio/wav", 9},             {u"video/mp4", 10},
        {u"application/pdf; name=a", 11},    {u"model/x; name=a", 12},      {u"text/csv; name=a", 13},
        {u"text/calendar", 14},
    };
    for (const Case& c : cases) EXPECT_EQ(EMLMimeContentKind(c.type), c.kind) << U8(c.type);

    char16_t out[260];
    EXPECT_TRUE(EMLMimeHeaderParam(u"attachment; filename=\"a;b=c.txt\"; size=3", u"FILENAME", out));
    EXPECT_EQ(U8(out), "a;b=c.txt");
    EXPECT_TRUE(EMLMimeHeaderParam(u"text/plain; name*=iso-8859-1'fr'caf%E9.txt", u"name", out));
    EXPECT_EQ(U8(out), "café.txt");
    EXPECT_FALSE(EMLMimeHeaderParam(u"text/plain; charset=x", u"name", out));
    EXPECT_EQ(out[0], 0);
}

TEST(MimeParser, DecodersAndDates) {
    LStringA qp;
    EMLMimeDecodeQuotedPrintable("a=3Db=\r\nc_d=ZZ", qp, true);
    EXPECT_EQ(qp.Str(), "a=bc d=ZZ");
    LStringA b64;
    EMLMimeDecodeBase64("YW\r\nJj YQ", b64);
    EXPECT_EQ(b64.Str(), "abca");

    struct Case {
        const char16_t* date;
        time_t expected;
    } dates[] = {
        {u"Tue, 15 Nov 1994 08:12:31 -0500", 784905151},
        {u"Tue,15 Nov 1994 08:12:31 -0500", 784905151},
        {u"1 Jan 49 00:00:00 GMT", 2493072000},
        {u"1 Jan 50 00:00:00 +0000", -631152000},
        {u"1 Jan 2000 05:30:00 +0530", 946684800},
        {u"1 Xyz 2000 00:00:00", 946684800},
        {u"Mon, 1 Jan", 0},
    };
    for (const Case& c : dates) EXPECT_EQ(LEmailParseDate(c.date), c.expected) << U8(c.date);
}

TEST(MimeParser, CharsetIdentifiers) {
    EXPECT_EQ(EMLMimeCharsetId(u"UTF-8"), 1);
    EXPECT_EQ(EMLMimeCharsetId(u"iso-2022-jp-2"), 9);
    EXPECT_EQ(EMLMimeCharsetId(u"KOI8-R"), 18);
    EXPECT_EQ(EMLMimeCharsetId(u"x-unknown"), 2);
    LString out;
    EMLMimeConvertCharset("caf\xe9", u"x-unknown", out);
    EXPECT_EQ(U8(out), "café");
}

namespace {

std::string Base64(const std::string& bytes) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = uint8_t(bytes[i]) << 16 | uint8_t(bytes[i + 1]) << 8 | uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out.push_back(a[(v >> s) & 63]);
    }
    if (i < bytes.size()) {
        uint32_t v = uint8_t(bytes[i]) << 16 | (i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) << 8 : 0);
        out.push_back(a[(v >> 18) & 63]);
        out.push_back(a[(v >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? a[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

size_t Count(const EMLMimeAttachment* a) {
    size_t n = 0;
    for (; a; a = a->next) ++n;
    return n;
}

}  // namespace

// Nesting deeper than the limit neither crashes nor recurses on: what lies
// below the limit is kept as an attachment or as text.
TEST(MimeParser, DeepNestingIsCappedNotACrash) {
    // 6,000 message/rfc822 parts inside each other (about 192 KB).
    std::string inner = "Subject: bottom\r\n\r\nthe end\r\n";
    std::string deep = inner;
    for (int i = 0; i < 6000; ++i) deep = "Content-Type: message/rfc822\r\n\r\n" + deep;
    deep = "Subject: top\r\n" + deep;
    {
        EMLMimeMessage m;
        m.Parse(deep);
        int levels = 0;
        const EMLMimeMessage* e = &m;
        while (e->embedded) {
            e = e->embedded;
            ++levels;
        }
        EXPECT_EQ(levels, EMLMimeMaxDepth);
        ASSERT_EQ(Count(e->attachments), 1u);
        EXPECT_EQ(U8(e->attachments->contentType), "message/rfc822");
        EXPECT_NE(Bytes(e->attachments).find("the end"), std::string::npos);
    }
    // 100,000 multiparts inside each other: the innermost lines stay text.
    std::string open, close;
    char b[16];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(b, sizeof b, "b%06d", i);
        open += std::string("Content-Type: multipart/mixed; boundary=") + b + "\r\n\r\n--" + b + "\r\n";
    }
    for (int i = 100000 - 1; i >= 0; --i) {
        std::snprintf(b, sizeof b, "b%06d", i);
        close += std::string("\r\n--") + b + "--";
    }
    {
        EMLMimeMessage m;
        m.Parse(open + "Content-Type: text/plain\r\n\r\ndeep text" + close);
        EXPECT_NE(U8(m.text).find("deep text"), std::string::npos);
        EXPECT_NE(U8(m.text).find("--b000100\r\n"), std::string::npos);
    }
}

// Every part is kept, in order, however many a message has.
TEST(MimeParser, ManyPartsAllArriveInOrder) {
    std::string msg = "Content-Type: multipart/mixed; boundary=x\r\n\r\n";
    const int parts = 20000;
    for (int i = 0; i < parts; ++i)
        msg += "--x\r\nContent-Type: application/octet-stream; name=f" + std::to_string(i) + ".bin\r\n\r\n" +
               std::to_string(i) + "\r\n";
    msg += "--x\r\nContent-Type: message/rfc822\r\n\r\nSubject: inside\r\n\r\nhi\r\n--x--\r\n";
    EMLMimeMessage m;
    m.Parse(msg);
    ASSERT_EQ(Count(m.attachments), size_t(parts));
    int i = 0;
    for (const EMLMimeAttachment* a = m.attachments; a; a = a->next, ++i)
        ASSERT_EQ(U8(a->fileName), "f" + std::to_string(i) + ".bin");
    ASSERT_NE(m.embedded, nullptr);
    EXPECT_EQ(Header(*m.embedded, u"subject"), "inside");
}

// Content-Type read as the other fields are: folded after its colon, or
// with blanks before the type, the multipart is still one.
TEST(MimeParser, FoldedAndPaddedContentTypes) {
    const char* heads[] = {
        "Content-Type:\r\n multipart/mixed; boundary=\"q\"",
        "Content-Type:  multipart/mixed;\r\n\tboundary=q",
        "Content-Type:\r\n\tmultipart/mixed;\r\n boundary=q  ",
    };
    for (const char* head : heads) {
        SCOPED_TRACE(head);
        EMLMimeMessage m;
        m.Parse(std::string(head) + "\r\n\r\n--q\r\nContent-Type:\r\n text/plain\r\n\r\nbody\r\n--q\r\n" +
                "Content-Type:   image/png;\r\n name=p.png\r\nContent-Transfer-Encoding:  base64\r\n\r\niVBO\r\n--q--\r\n");
        EXPECT_EQ(m.kind, EMLMimeKindMixed);
        EXPECT_EQ(U8(m.text), "body\r\n");
        ASSERT_EQ(Count(m.attachments), 1u);
        EXPECT_EQ(U8(m.attachments->fileName), "p.png");
        EXPECT_EQ(U8(m.attachments->contentType), "image/png");
        EXPECT_EQ(Bytes(m.attachments), std::string("\x89PN", 3));
    }
}

// Parameters are split before their encoded words are decoded: a name that
// decodes to a quote and a ';' stays whole.
TEST(MimeParser, EncodedWordsInParametersDecodeAfterSplitting) {
    struct Case {
        const char* disposition;
        const char* name;
    } cases[] = {
        {"attachment; filename=\"=?utf-8?B?" "YSJiO2MucGRm" "?=\"", "ab;c.pdf"},  // a"b;c.pdf
        {"attachment; filename==?utf-8?Q?r=C3=A9sum=C3=A9=3B_1.txt?=; size=4", "résumé; 1.txt"},
        {"attachment; filename=\"plain;name.txt\"", "plain;name.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disposition);
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: multipart/mixed; boundary=q", "", "--q",
                       "Content-Type: application/pdf", (std::string("Content-Disposition: ") + c.disposition).c_str(),
                       "", "data", "--q--"}));
        ASSERT_EQ(Count(m.attachments), 1u);
        EXPECT_EQ(U8(m.attachments->fileName), c.name);
    }
    // The field itself is kept as sent; other fields are decoded.
    EMLMimeMessage m;
    m.Parse(Lines({"Content-Type: text/plain; name=\"=?utf-8?q?x?=\"", "Subject: =?utf-8?q?s?=", "", "b"}));
    EXPECT_EQ(Header(m, u"content-type"), "text/plain; name=\"=?utf-8?q?x?=\"");
    EXPECT_EQ(Header(m, u"subject"), "s");
}

// Charsets outside the fixed table convert through iconv when it knows
// them; only unknown names read as ISO-8859-1.
TEST(MimeParser, CharsetsBeyondTheTable) {
    struct Case {
        const char* charset;
        std::string bytes;
        const char* text;
    } cases[] = {
        {"ISO-8859-15", "\xa4 5", "€ 5"},
        {"iso-8859-7", "\xe1\xe2\xe3", "αβγ"},
        {"EUC-JP", "\xc6\xfc\xcb\xdc", "日本"},
        {"windows-1254", "\xfe", "ş"},
        {"x-nonsense", "caf\xe9", "café"},
        {"../../etc/passwd", "caf\xe9", "café"},
        {"UTF-8//TRANSLIT", "caf\xe9", "café"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charset);
        EMLMimeMessage m;
        m.Parse("Content-Type: text/plain; charset=\"" + std::string(c.charset) + "\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
                c.bytes + "\r\n");
        EXPECT_EQ(U8(m.text), std::string(c.text) + "\r\n");
    }
    // A UTF-16 part (with its byte-order mark) inside a multipart keeps its
    // lines: its line breaks are not the bytes CR LF.
    std::string utf16 = std::string("\xff\xfe", 2);
    for (char16_t ch : std::u16string(u"Γειά\r\n\r\nσου\r\n")) {
        utf16.push_back(char(ch & 0xFF));
        utf16.push_back(char(ch >> 8));
    }
    EMLMimeMessage m;
    m.Parse(Lines({"Content-Type: multipart/mixed; boundary=q", "", "--q", "Content-Type: text/plain; charset=utf-16",
                   "Content-Transfer-Encoding: base64", "", Base64(utf16).c_str(), "--q--"}));
    EXPECT_EQ(U8(m.text), "Γειά\r\n\r\nσου\r\n");
    // Subjects in such charsets too.
    EMLMimeMessage s;
    s.Parse("Subject: =?iso-8859-15?q?=A4?=\r\n\r\nx");
    EXPECT_EQ(Header(s, u"subject"), "€");
}

// A message/rfc822 part sent in base64 is a message once decoded.
TEST(MimeParser, EncodedEmbeddedMessagesAreDecodedFirst) {
    std::string inner = "Subject: wrapped\r\nContent-Type: text/plain\r\n\r\ninner body\r\n";
    for (const char* encoding : {"base64", "quoted-printable"}) {
        SCOPED_TRACE(encoding);
        std::string body = std::string(encoding) == "base64" ? Base64(inner) : inner;
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: multipart/mixed; boundary=q", "", "--q", "Content-Type: message/rfc822",
                       (std::string("Content-Transfer-Encoding: ") + encoding).c_str(), "", body.c_str(), "--q--"}));
        ASSERT_NE(m.embedded, nullptr);
        EXPECT_EQ(Header(*m.embedded, u"subject"), "wrapped");
        EXPECT_EQ(U8(m.embedded->text), "inner body\r\n");
        // The bytes to save as the attached .eml, decoded.
        EXPECT_EQ(m.embedded->raw.Str(), inner);
    }
}

// A message attached inside an attached message has its bytes in its
// parent's only: nesting never multiplies the copies.
TEST(MimeParser, OnlyTheOutermostAttachedMessagesKeepTheirBytes) {
    std::string innermost = "Subject: deep\r\n\r\ndeep body";
    std::string middle = "Subject: middle\r\nContent-Type: message/rfc822\r\n\r\n" + innermost;
    EMLMimeMessage m;
    m.Parse(Lines({"Content-Type: message/rfc822", "", middle.c_str()}));
    ASSERT_NE(m.embedded, nullptr);
    EXPECT_EQ(m.embedded->raw.Str(), middle + "\r\n");
    ASSERT_NE(m.embedded->embedded, nullptr);
    EXPECT_EQ(Header(*m.embedded->embedded, u"subject"), "deep");
    EXPECT_TRUE(m.embedded->embedded->raw.IsEmpty());
}
