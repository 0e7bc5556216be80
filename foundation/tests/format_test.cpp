#include <gtest/gtest.h>

#include <string>

#include "foundation/format.h"
#include "foundation/utf8.h"

namespace {

std::string FmtA(const char* fmt, const char* arg) {
    LStringA s;
    s.Format(fmt, arg);
    return s.Str();
}

struct EscapeCase {
    const char* fmt;
    const char* arg;
    const char* want;
};

class NarrowEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(NarrowEscapes, WritesExactly) {
    const EscapeCase& c = GetParam();
    EXPECT_EQ(FmtA(c.fmt, c.arg), c.want) << "format " << c.fmt;
}

INSTANTIATE_TEST_SUITE_P(
    Table, NarrowEscapes,
    ::testing::Values(
        // %Q doubles apostrophes only, adds no quotes; null writes nothing.
        EscapeCase{"%Q", "O'Brien", "O''Brien"}, EscapeCase{"'%Q'", "", "''"},
        EscapeCase{"[%Q]", nullptr, "[]"}, EscapeCase{"%Q", "a\"b\\c", "a\"b\\c"},
        // %J: quote and backslash escaped, short escapes, other controls as \u00XX, bytes >= 0x7F copied.
        EscapeCase{"%J", "\t\x01\"", "\\t\\u0001\\\""}, EscapeCase{"%J", "\xC3\xA9/\x7F", "\xC3\xA9/\x7F"},
        EscapeCase{"%J", "\b\f\n\r\\", "\\b\\f\\n\\r\\\\"}, EscapeCase{"%J", "\x1F", "\\u001F"},
        // %H: the five characters, and line breaks by runs.
        EscapeCase{"%H", "<a href=\"x\">&'", "&lt;a href=&quot;x&quot;&gt;&amp;&#39;"},
        EscapeCase{"%H", "a\r\nb", "a<br>b"}, EscapeCase{"%H", "a\r\n\r\nb", "a<p>b"},
        EscapeCase{"%H", "a\n\n\nb", "a<br><p>b"}, EscapeCase{"%H", "a\r\n\nb", "a<br>b"},
        EscapeCase{"%H", "a\n", "a<br>"}, EscapeCase{"%H", "\n\r\n\rx", "<p>x"},
        // %U: unreserved copied, everything else %XX upper case.
        EscapeCase{"%U", "a b+c/!~-._", "a%20b%2Bc%2F!~-._"}, EscapeCase{"%U", "\xC3\xBC", "%C3%BC"},
        // The engine's own conversions ignore width and precision.
        EscapeCase{"%.3s", "abcdef", "abcdef"}, EscapeCase{"%10s|", "ab", "ab|"},
        // %% consumes nothing; a lone % at the end is written and ends the format.
        EscapeCase{"%%%s", "x", "%x"}, EscapeCase{"%s%", "x", "x%"}));

TEST(Format, PassThroughKeepsWidthPrecisionAndSizes) {
    struct {
        std::string got, want;
    } cases[] = {
        {[] { LStringA s; s.Format("%5.2f", 3.14159); return s.Str(); }(), " 3.14"},
        {[] { LStringA s; s.Format("%d/%u/%x", -5, 7u, 255); return s.Str(); }(), "-5/7/ff"},
        {[] { LStringA s; s.Format("%I64d %lld", int64_t(-9000000000LL), 9000000000LL); return s.Str(); }(),
         "-9000000000 9000000000"},
        // Without a 64-bit prefix the value is 32 bits wide, as on the original platform.
        {[] { LStringA s; s.Format("%d", int64_t(0x100000005LL)); return s.Str(); }(), "5"},
        {[] { LStringA s; s.Format("%.4d-%.2d", 24, 3); return s.Str(); }(), "0024-03"},
        // '-' is outside the language: it is the conversion letter and takes the argument.
        {[] { LStringA s; s.Format("%-5d|%s", 1, "x"); return s.Str(); }(), "%-5d|x"},
        {[] { LStringA s; s.Format("%c%c", 'a', 0xE9); return s.Str(); }(), "a\xC3\xA9"},
        // Missing arguments write nothing rather than read garbage.
        {[] { LStringA s; s.Format("%s|%d"); return s.Str(); }(), "|0"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, WideEngineAndUtf8Engine) {
    LString w;
    w.Format(u"%U", u"a b+c/\u00FC");
    EXPECT_EQ(LToUtf8(w), "a%20b%2Bc%2F%C3%BC");

    // A surrogate pair is one four-byte sequence; a lone surrogate last ends %U.
    const char16_t pair[] = {u'x', 0xD83D, 0xDE00, 0};
    LString u;
    u.Format(u"%U", pair);
    EXPECT_EQ(LToUtf8(u), "x%F0%9F%98%80");
    const char16_t lone[] = {u'y', 0xD83D, 0};
    u.Format(u"%U", lone);
    EXPECT_EQ(LToUtf8(u), "y");

    LStringA a;
    LFormatEscToUtf8V(a, u"<%s|%J|%H>", pair, u"\u00E9\"", u"<\u20AC>");
    EXPECT_EQ(a.Str(), "<x\xF0\x9F\x98\x80|\xC3\xA9\\\"|&lt;\xE2\x82\xAC&gt;>");

    // Narrow arguments in the wide engine are read as UTF-8.
    w.Format(u"%s=%Q", "caf\xC3\xA9", std::string("it's"));
    EXPECT_EQ(LToUtf8(w), "caf\xC3\xA9=it''s");
}

TEST(Format, BoundedEnginesStopAt259) {
    std::u16string long_text(300, u'x');
    char16_t wbuf[260];
    LFormatEscPathW(wbuf, u"%s", long_text.c_str());
    EXPECT_EQ(std::u16string(wbuf).size(), 259u);

    char abuf[260];
    std::string narrow(300, 'y');
    LFormatEscPathA(abuf, "ab%Q", narrow.c_str());
    EXPECT_EQ(std::string(abuf), "ab" + std::string(257, 'y'));
    LFormatEscPathA(abuf, nullptr);
    EXPECT_STREQ(abuf, "");
}

TEST(Format, GrowsFromNothingAndAppends) {
    LStringA s;
    EXPECT_EQ(s.capacity, 0u);
    s.Format("%s", "a");
    EXPECT_GE(s.capacity, 260u);
    std::string big(100000, 'z');
    s.AppendFormat("%s%%", big.c_str());
    EXPECT_EQ(s.length, 100002u);
    EXPECT_EQ(s.c_str()[s.length], 0);
    EXPECT_EQ(s.View().substr(0, 2), "az");
    // A null format leaves Format's result empty and AppendFormat's unchanged.
    s.AppendFormat(nullptr);
    EXPECT_EQ(s.length, 100002u);
    s.Format(nullptr);
    EXPECT_EQ(s.length, 0u);
}

TEST(Format, NamedEscapersAppend) {
    LStringA a("x");
    LAppendSqlQuotedA(a, "'");
    LAppendJsonA(a, "\n");
    LAppendHtmlA(a, "&");
    LAppendUrlEncodedA(a, " ");
    EXPECT_EQ(a.Str(), "x''\\n&amp;%20");

    LStringA u;
    LUtf8AppendJsonEscaped(u, u"\u00E9\t");
    LUtf8AppendUrlEncoded(u, u"\u00E9");
    EXPECT_EQ(u.Str(), "\xC3\xA9\\t%C3%A9");

    char16_t buf[260];
    LFormatBuffer fb(buf);
    fb.AppendHtmlEscaped(u"<b>");
    fb.AppendUrlEncodedByte(0x2F);
    EXPECT_EQ(std::u16string(buf), u"&lt;b&gt;%2F");
}

}  // namespace
