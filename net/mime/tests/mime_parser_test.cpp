// The MIME parser over fixture messages and small inline cases.
#include <gtest/gtest.h>

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
    // Blank lines inside mixed are dropped, a line of one blank becomes empty;
    // at top level they stay.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "a", "", " ", "b", "--b--"}));
        EXPECT_EQ(U8(m.text), "a\r\n\r\nb\r\n");
        EMLMimeMessage top;
        top.Parse(Lines({"Subject: x", "", "a", "", "b"}));
        EXPECT_EQ(U8(top.text), "a\r\n\r\nb\r\n");
    }
    // 8bit lines wrapped near 76 columns are joined; quoted lines never.
    {
        std::string seventy(70, 'x');
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Transfer-Encoding: 8bit", "", seventy.c_str(), "tenletters more", ("> " + seventy).c_str(),
                       "tenletters"}));
        EXPECT_EQ(U8(m.text), seventy + " tenletters more\r\n> " + seventy + "\r\ntenletters\r\n");
    }
    // format=flowed soft breaks join the words with their blank.
    {
        EMLMimeMessage m;
        m.Parse(Lines({"Content-Type: text/plain; format=flowed", "Content-Transfer-Encoding: quoted-printable", "",
                       "one two ", "three"}));
        EXPECT_EQ(U8(m.text), "one two three\r\n");
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
