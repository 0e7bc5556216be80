#include "foundation/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <class T>
bool UsesInline(const T& conv, const void* text) {
    auto* p = static_cast<const char*>(text);
    auto* o = reinterpret_cast<const char*>(&conv);
    return p >= o && p < o + sizeof conv;
}

}  // namespace

TEST(Utf8, TemporaryCopiesChooseInlineOrHeap) {
    std::u16string w85(85, u'x'), w86(86, u'x');
    LUTF8FromWide a(w85.c_str()), b(w86.c_str());
    EXPECT_TRUE(UsesInline(a, a.text));
    EXPECT_FALSE(UsesInline(b, b.text));
    EXPECT_EQ(std::string(b.text), std::string(86, 'x'));

    std::string n259(259, 'y'), n260(260, 'y');
    LWideFromUTF8 c(n259.c_str()), d(n260.c_str());
    EXPECT_TRUE(UsesInline(c, c.text));
    EXPECT_FALSE(UsesInline(d, d.text));
    EXPECT_EQ(d.Length(), 260u);
}

TEST(Utf8, SettersReplaceInvalidInput) {
    struct Case {
        const char* utf8;
        const char16_t* wide;
    } cases[] = {
        {"a\xc3\xa9", u"a\u00e9"},
        {"\xf4\x90\x80\x80", u"\ufffd"},  // above U+10FFFF
        {"", u""},
    };
    for (const auto& c : cases) {
        LString s(u"old");
        s.SetUtf8(c.utf8);
        EXPECT_EQ(std::u16string(s.View()), std::u16string(c.wide)) << c.utf8;
    }
    LStringA a;
    a.SetUtf8FromWide(u"a\xd800" u"b\xdc00");
    EXPECT_EQ(a.Str(), "a\xef\xbf\xbd" "b\xef\xbf\xbd");
    a.Clear();
    a.Reserve(260);
    LAppendCharUTF8(a, u'A');
    LAppendCharUTF8(a, u'\u00e9');
    LAppendCharUTF8(a, 0xD83D);  // half a pair on its own
    a.Terminate();
    EXPECT_EQ(a.Str(), "A\xc3\xa9\xef\xbf\xbd");
}

TEST(Utf8, LongTextsAreMeasuredBeforeReserving) {
    std::u16string big(40000, u'\u00e9');
    LStringA a;
    a.SetUtf8FromWide(big.c_str(), big.size());
    EXPECT_EQ(a.length, 80000u);
    EXPECT_EQ(a.capacity, 80001u);
    LStringA small;
    small.SetUtf8FromWide(u"ab", 2);
    EXPECT_EQ(small.capacity, 13u);
}

TEST(Utf8, FixedBuffersCutAtWholeCharacters) {
    char out[260];
    std::u16string ascii(300, u'a');
    EXPECT_EQ(LWideToUTF8Buf(out, ascii.c_str()), 259u);
    EXPECT_EQ(std::string(out), std::string(259, 'a'));

    // 258 ASCII then a two-byte character: it does not fit and is dropped whole.
    std::u16string mixed(258, u'a');
    mixed += u"\u00e9z";
    EXPECT_EQ(LWideToUTF8Buf(out, mixed.c_str()), 258u);
    EXPECT_EQ(std::string(out), std::string(258, 'a'));

    char16_t wide[260];
    std::string u8(258, 'b');
    u8 += "\xf0\x9f\x98\x80";  // needs two units, one is left
    EXPECT_EQ(LUTF8ToWideBuf(wide, u8.c_str()), 258u);
    EXPECT_EQ(LUTF8ToWideBuf(wide, "x\xc3\xa9"), 2u);
    EXPECT_EQ(std::u16string(wide), u"x\u00e9");
    EXPECT_EQ(LUTF8ToWideBuf(wide, nullptr), 0u);
    EXPECT_EQ(LWideToUTF8Buf(out, u"\u00e9"), 2u);
}

// Appending copies an ASCII start as it is and encodes from the first unit
// that is not ASCII on, after what the string held before.
TEST(Utf8, AppendingWideTextKeepsWhatWasThere) {
    struct Case {
        std::u16string wide;
        const char* utf8;
    } cases[] = {
        {u"", "old:"},
        {u"plain text", "old:plain text"},
        {u"caf\u00e9 ok", "old:caf\xc3\xa9 ok"},
        {u"\U0001F600 then ascii", "old:\xf0\x9f\x98\x80 then ascii"},
        {std::u16string(u"a\xdc00z"), "old:a\xef\xbf\xbdz"},  // a lone low surrogate
        {std::u16string(300, u'x') + u"\u044f", nullptr},
    };
    for (const auto& c : cases) {
        LStringA out;
        out.SetUtf8FromWide(u"old:", 4);
        LStringAAppendWide(out, c.wide.c_str(), c.wide.size());
        std::string want = c.utf8 ? c.utf8 : "old:" + std::string(300, 'x') + "\xd1\x8f";
        EXPECT_EQ(out.Str(), want);
        EXPECT_EQ(out.length, want.size());
    }
}
