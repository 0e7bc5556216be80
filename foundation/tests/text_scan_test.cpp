#include "foundation/text_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(TextScan, TrimsWhatEachRoutineCounts) {
    LString s(u"  a b \r\n");
    s.Trim();
    EXPECT_EQ(std::u16string(s.View()), u"a b");
    EXPECT_EQ(s.buffer[s.length], 0);
    LString spaces(u"   \t ");
    spaces.Trim();
    EXPECT_EQ(spaces.length, 0u);
    EXPECT_NE(spaces.buffer, nullptr);
    LString none;
    none.Trim();
    EXPECT_EQ(none.buffer, nullptr);

    char16_t t[] = u"\ta  ";
    LTrimSpaces(t);
    EXPECT_EQ(std::u16string(t), u"\ta");
    char16_t u[] = u"  x y ";
    LTrimSpaces(u);
    EXPECT_EQ(std::u16string(u), u"x y");
}

TEST(TextScan, CopiesUpToAStopAndReportsTheFullLength) {
    std::u16string longText(300, u'q');
    char16_t buf[260];
    EXPECT_EQ(LCopyUpToChar(longText.c_str(), u';', buf), 300u);
    EXPECT_EQ(std::u16string(buf), std::u16string(259, u'q'));
    EXPECT_EQ(LCopyUpToChar(u"key;value", u';', buf), 3u);
    EXPECT_EQ(std::u16string(buf), u"key");
    char nbuf[260];
    EXPECT_EQ(LCopyUntilCharA("a:b", ':', nbuf), 1u);
    EXPECT_STREQ(nbuf, "a");

    LString s;
    EXPECT_EQ(s.AssignUpTo(u"Subject: x", u':'), 7u);
    EXPECT_EQ(std::u16string(s.View()), u"Subject");
    LStringA a;
    EXPECT_EQ(LReadUntilCharA("no stop", '#', a), 7u);
    EXPECT_EQ(a.Str(), "no stop");
    EXPECT_EQ(LReadWordA("FETCH\t(1)", a), 5u);
    EXPECT_EQ(a.Str(), "FETCH");
}

TEST(TextScan, TokensMoveTheCursor) {
    const char* cur = "abc,def";
    char tok[260];
    EXPECT_EQ(LReadTokenA(&cur, ",]} ", tok), 3u);
    EXPECT_STREQ(tok, "abc");
    EXPECT_STREQ(cur, ",def");

    const char16_t* w = u"word]rest";
    char16_t wtok[260];
    EXPECT_EQ(LReadTokenW(&w, u",]} ", wtok), 8u);  // bytes advanced
    EXPECT_EQ(std::u16string(wtok), u"word");
    EXPECT_EQ(std::u16string(w), u"]rest");

    const char16_t* line = u"Subject: Hi";
    LString out;
    LTextReadUntil(&line, u": ", out);
    EXPECT_EQ(std::u16string(out.View()), u"Subject");
    EXPECT_EQ(std::u16string(line), u"Hi");
    LTextReadUntil(&line, u": ", out);
    EXPECT_EQ(std::u16string(out.View()), u"Hi");
    EXPECT_EQ(*line, 0);

    const char16_t* c = u"a--b--c";
    EXPECT_TRUE(LTextSkipPast(&c, u"--"));
    EXPECT_EQ(std::u16string(c), u"b--c");
    EXPECT_FALSE(LTextSkipPast(&c, u"xx"));
    EXPECT_EQ(*c, 0);
    const char* ca = "OK [x] done";
    EXPECT_TRUE(LTextSkipPastA(&ca, "]"));
    EXPECT_STREQ(ca, " done");

    EXPECT_EQ(LTextReadLine(u"first\r\nsecond", out), 5u);
    EXPECT_EQ(std::u16string(out.View()), u"first");
    EXPECT_EQ(LTextReadLineCore(u"+more\n", out), 5u);
    EXPECT_EQ(std::u16string(out.View()), u"first+more");
}

TEST(TextScan, ReplaceAllDoesNotRescan) {
    struct Case {
        const char16_t* text;
        const char16_t* find;
        const char16_t* repl;
        const char16_t* want;
    } cases[] = {
        {u"aaaa", u"aa", u"a", u"aa"},
        {u"a.b.c", u".", u"..", u"a..b..c"},
        {u"abc", u"", u"x", u"abc"},
        {u"abc", u"abc", u"", u""},
        {u"xyz", u"q", u"r", u"xyz"},
    };
    for (const auto& c : cases) {
        LString s(c.text);
        s.ReplaceAll(c.find, c.repl);
        EXPECT_EQ(std::u16string(s.View()), std::u16string(c.want)) << LToUtf8(c.text);
        EXPECT_EQ(s.capacity, s.length + 1) << LToUtf8(c.text);
    }
}

TEST(TextScan, CsvFieldsRoundTrip) {
    LStringA line;
    EXPECT_EQ(LCsvAppendQuotedField(line, "say \"hi\"\tnow"), 16u);
    EXPECT_EQ(line.Str(), "\"say \"\"hi\"\" now\"");
    LCsvAppendField(line, "2024");
    EXPECT_EQ(line.Str(), "\"say \"\"hi\"\" now\",2024");

    LCsvFieldReader r(u"  plain ,\"a \"\"q\"\" b\",last");
    std::vector<std::u16string> fields;
    while (!r.end) {
        fields.push_back(std::u16string(r.field.View()));
        r.Next();
    }
    EXPECT_EQ(fields, (std::vector<std::u16string>{u"plain", u"a \"q\" b", u"last"}));
    EXPECT_EQ(r.field.length, 0u);

    LCsvFieldReader lost(u"\"x\"junk, y");
    EXPECT_EQ(std::u16string(lost.field.View()), u"x");
    lost.Next();
    EXPECT_EQ(std::u16string(lost.field.View()), u"y");
}

TEST(TextScan, MobileUserAgents) {
    struct Case {
        const char16_t* ua;
        bool mobile;
    } cases[] = {
        {u"Mozilla/5.0 (iPhone; CPU iPhone OS 17_0)", true},
        {u"Mozilla/5.0 (Linux; Android 14) Mobile Safari", true},
        {u"Mozilla/5.0 (Linux; Android 14; Tablet) Safari", false},
        {u"BlackBerry9700", true},
        {u"Mozilla/4.0 (compatible; IEMobile 7.0)", true},
        {u"Mozilla/4.0 (Windows CE; PPC)", true},
        {u"Mozilla/5.0 (X11; Linux x86_64) Firefox", false},
        {u"iphone lowercase", false},
        {nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(LIsMobileUserAgent(c.ua), c.mobile) << (c.ua ? LToUtf8(c.ua) : "null");
}
