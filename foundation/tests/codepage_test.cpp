#include "foundation/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string Hex(const LStringA& s) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint64_t i = 0; i < s.length; ++i) {
        unsigned char c = static_cast<unsigned char>(s.buffer[i]);
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

LStringA FromHex(const char* hex) {
    LStringA s;
    s.Reserve(1);
    for (; hex[0] && hex[1]; hex += 2) {
        auto v = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        s.AppendChar(static_cast<char>(v(hex[0]) * 16 + v(hex[1])));
    }
    return s;
}

std::u16string Wide(uint32_t cp, const LStringA& bytes) {
    LString out;
    LCodePageToWide(cp, bytes, out);
    return std::u16string(out.View());
}

}  // namespace

TEST(CodePage, LegacyCharsetsRoundTrip) {
    struct Case {
        uint32_t codePage;
        const char16_t* text;
        const char* hex;
    } cases[] = {
        {28591, u"caf\u00e9", "636166e9"},
        {28592, u"\u0141\u00f3d\u017a", "a3f364bc"},
        {28595, u"Привет", "bfe0d8d2d5e2"},
        {28598, u"שלום", "f9ece5ed"},
        {28606, u"\u0218", "aa"},
        {1250, u"\u0141\u00f3d\u017a", "a3f3649f"},
        {1251, u"Привет", "cff0e8e2e5f2"},
        {1252, u"\u20ac caf\u00e9", "80206361 66e9"},
        {1253, u"Ωμέγα", "d9ecdde3e1"},
        {1256, u"سلام", "d3e1c7e3"},
        {20866, u"Привет", "f0d2c9d7c5d4"},
        {932, u"日本語", "93fa967b8cea"},
        {50220, u"a日本語b", "611b2442467c4b5c386c1b284262"},
        {50222, u"日本語", "1b2442467c4b5c386c1b2842"},
        {949, u"한국어", "c7d1b1b9beee"},
        {51949, u"한국어", "c7d1b1b9beee"},
        {936, u"中文", "d6d0cec4"},
        {54936, u"中文\u20ac\U0001F600", "d6d0cec4a2e39439fc36"},
        {950, u"中文", "a4a4a4e5"},
        {65001, u"\u00e9\U0001F600", "c3a9f09f9880"},
        {1200, u"A\u00e9", "4100e900"},
    };
    for (const auto& c : cases) {
        std::string hex = c.hex;
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        LStringA bytes;
        LWideToCodePage(c.codePage, c.text, std::char_traits<char16_t>::length(c.text), bytes);
        EXPECT_EQ(Hex(bytes), hex) << c.codePage;
        EXPECT_EQ(Wide(c.codePage, FromHex(hex.c_str())), std::u16string(c.text)) << c.codePage;
    }
}

TEST(CodePage, ReadsWhatOtherIso2022JpWritersSend) {
    // Half-width katakana by ESC ( I, and JIS-Roman by ESC ( J.
    EXPECT_EQ(Wide(50222, FromHex("1b284931" "1b284a41" "1b2842")), u"\uff71A");
    // GB2312 inside ISO-2022-JP-2.
    EXPECT_EQ(Wide(50220, FromHex("1b244156501b2842")), u"中");
}

TEST(CodePage, BadInputBecomesReplacementCharacters) {
    struct Case {
        uint32_t codePage;
        const char* hex;
        const char16_t* want;
    } cases[] = {
        {932, "41 93", u"A\ufffd"},             // lead byte cut off at the end
        {932, "41 93 20 42", u"A\ufffd B"},     // lead byte without a trail byte
        {54936, "d6", u"\ufffd"},
        {65001, "41 c3 28", u"A\ufffd("},
        {65001, "ed a0 80", u"\ufffd"},         // an encoded surrogate
        {1252, "", u""},
        {12345, "414243", u""},                 // unknown code page
    };
    for (const auto& c : cases) {
        std::string hex = c.hex;
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        EXPECT_EQ(Wide(c.codePage, FromHex(hex.c_str())), std::u16string(c.want)) << c.codePage << " " << c.hex;
    }
}

TEST(CodePage, UnencodableCharactersBecomeQuestionMarks) {
    LStringA out;
    LWideToCodePage(1252, u"a\u65e5\U0001F600b", 5, out);
    EXPECT_EQ(out.Str(), "a??b");
    // The stateful encoder returns to ASCII before the replacement.
    out.Clear();
    LWideToCodePage(50220, u"日\u20ac本", 3, out);
    EXPECT_EQ(Hex(out), "1b2442467c1b28423f1b24424b5c1b2842");
    out.Clear();
    LWideToCodePage(28591, u"a\xd800" u"b", 3, out);  // a lone surrogate
    EXPECT_EQ(out.Str(), "a?b");
}

TEST(CodePage, MultiByteToWideStaysWithinCapacity) {
    char16_t buf[8];
    EXPECT_EQ(LMultiByteToWide(1251, buf, "\xcf\xf0\xe8\xe2\xe5\xf2", 8), 6u);
    EXPECT_EQ(std::u16string(buf), u"Привет");
    EXPECT_EQ(LMultiByteToWide(1251, buf, "\xcf\xf0\xe8\xe2\xe5\xf2", 4), 3u);
    EXPECT_EQ(std::u16string(buf), u"При");
    // A surrogate pair is never split at the cut.
    EXPECT_EQ(LMultiByteToWide(65001, buf, "ab\xf0\x9f\x98\x80", 4), 2u);
    EXPECT_EQ(std::u16string(buf), u"ab");
    buf[0] = u'x';
    EXPECT_EQ(LMultiByteToWide(1252, buf, "abc", 0), 0u);
    EXPECT_EQ(buf[0], u'x');
    EXPECT_EQ(LMultiByteToWide(1252, buf, nullptr, 8), 0u);
    EXPECT_EQ(buf[0], 0);
}

TEST(CodePage, AppendKeepsWhatWasThere) {
    LString out(u"x:");
    LCodePageAppendWide(20866, "\xf0\xd2", 2, out);
    EXPECT_EQ(std::u16string(out.View()), u"x:Пр");
    EXPECT_STREQ(LCodePageIconvName(28592), "ISO-8859-2");
    EXPECT_STREQ(LCodePageIconvName(0), "UTF-8");
    EXPECT_EQ(LCodePageIconvName(4242), nullptr);
}
