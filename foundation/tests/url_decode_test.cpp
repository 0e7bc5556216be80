#include "foundation/url_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::u16string> Fields(const LStringMap& m) {
    std::vector<std::u16string> out;
    m.ForEach([&](const LStringMapNode& n) {
        out.push_back(std::u16string(n.key.View()) + u"=" + std::u16string(n.value ? n.value->View() : u""));
    });
    return out;
}

}  // namespace

TEST(UrlDecode, NarrowFieldsStopAtTheirSeparators) {
    struct Case {
        const char* text;
        bool key;
        const char* want;
        size_t consumed;
    } cases[] = {
        {"a+b%20c=1", true, "a b c", 7},
        {"name&x", true, "name", 4},
        {"v%3D1&next", false, "v=1", 5},
        {"%C3%A9", false, "\xc3\xa9", 6},
        {"a%00b", false, "ab", 5},      // a decoded zero byte is dropped
        {"%G1", false, "\x01", 3},      // a non-hex digit counts as 0
        {"x%4", false, "x", 3},         // a cut-off escape ends the field
        {"x%", false, "x", 2},
        {"x%4&y=1", false, "x", 3},     // ...without taking the separator
        {"x%&y=1", true, "x", 2},
        {"x%41=1", true, "xA", 4},
        {"", true, "", 0},
    };
    for (const auto& c : cases) {
        LStringA out("pre:");
        size_t n = c.key ? LUrlDecodeQueryKey(c.text, out) : LUrlDecodeQueryValue(c.text, out);
        EXPECT_EQ(out.Str(), std::string("pre:") + c.want) << c.text;
        EXPECT_EQ(n, c.consumed) << c.text;
    }
}

TEST(UrlDecode, WideDecodersJoinUtf8Runs) {
    LString out;
    EXPECT_EQ(LUrlDecodeToWide("a%C3%A9&b=%F0%9F%98%80+\xc3\xa9", out), 25u);
    EXPECT_EQ(std::u16string(out.View()), u"a\u00e9&b=\U0001F600 \u00e9");
    out.Clear();
    LUrlDecodeToWide("%C3x%A9", out);  // a run cut short is not UTF-8
    EXPECT_EQ(std::u16string(out.View()), u"\ufffdx\ufffd");

    char16_t buf[260];
    LFormatBuffer fixed(buf);
    EXPECT_EQ(LUrlDecodeFormValueW(u"caf%C3%A9+\u00fc%26", fixed), 14u);
    EXPECT_EQ(std::u16string(buf), u"caf\u00e9 \u00fc&");
    std::u16string longText(300, u'z');
    LFormatBuffer fixed2(buf);
    EXPECT_EQ(LUrlDecodeFormValueW(longText.c_str(), fixed2), 300u);
    EXPECT_EQ(std::u16string(buf), std::u16string(259, u'z'));
}

TEST(FormDecode, RepeatedKeysStayInArrivalOrder) {
    struct Case {
        const char* text;
        std::vector<std::u16string> want;
    } cases[] = {
        {"a=1&b=%C3%A9&a=2&=x", {u"a=1", u"a=2", u"b=\u00e9"}},
        {"to=x&to=y&to=z&cc=", {u"cc=", u"to=x", u"to=y", u"to=z"}},
        {"flag&q=a+b&&empty=", {u"empty=", u"flag=", u"q=a b"}},
        {"k=v=w", {u"k=v=w"}},
        {"%00=1&x=%", {u"x="}},
        {"", {}},
    };
    for (const auto& c : cases) {
        LStringMap m;
        LParseUrlEncodedForm(m, c.text);
        EXPECT_EQ(Fields(m), c.want) << c.text;
    }
}

TEST(FormDecode, WideFormKeepsEscapesAsSingleUnits) {
    LStringMap m;
    LParseUrlEncodedFormW(m, u"b=%C3%A9&a=\u00e9+x&b=2&=drop");
    EXPECT_EQ(Fields(m), (std::vector<std::u16string>{u"a=\u00e9 x", u"b=\u00c3\u00a9", u"b=2"}));
}
