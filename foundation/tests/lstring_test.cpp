#include <gtest/gtest.h>

#include <string>

#include "foundation/lstring.h"
#include "foundation/utf8.h"

namespace {

TEST(LString, ConstructionRules) {
    LString a;
    a.InitTextMax(u"hello", 0);
    EXPECT_EQ(a.buffer, nullptr);
    a.InitTextMax(u"hello", 3);
    EXPECT_EQ(a.View(), u"hel");
    EXPECT_EQ(a.capacity, 4u);

    LString empty_with_buffer(u"");
    LString copy;
    copy.InitCopy(empty_with_buffer);
    EXPECT_NE(copy.buffer, nullptr);  // an empty text with a buffer still owns one unit
    EXPECT_EQ(copy.capacity, 1u);
    copy.AssignString(empty_with_buffer);
    EXPECT_EQ(copy.buffer, nullptr);

    LString r;
    r.InitReserve(0);
    EXPECT_EQ(r.buffer, nullptr);
    r.InitReserve(10);
    EXPECT_EQ(r.capacity, 10u);
    EXPECT_EQ(r.length, 0u);
}

TEST(LString, AppendGrowsByNeedWithMinimum) {
    LStringA s;
    s.Append("abc");
    EXPECT_EQ(s.capacity, 260u);
    std::string big(300, 'q');
    s.Append(big.c_str());
    // The old capacity plus the need, not a doubling.
    EXPECT_EQ(s.capacity, 260u + 304u);
    EXPECT_EQ(s.length, 303u);
    // Appending from our own buffer is safe even when it moves.
    s.AppendN(s.buffer, s.length);
    EXPECT_EQ(s.length, 606u);
    EXPECT_EQ(s.View().substr(303, 3), "abc");
}

TEST(LString, BulkAppendStartsFromTheMinimum) {
    // Four times an empty capacity is still empty: growth must start somewhere.
    LStringA s;
    ASSERT_TRUE(s.AppendBytes("abc", 3));
    EXPECT_GE(s.capacity, 260u);
    std::string big(5000, 'b');
    ASSERT_TRUE(s.AppendBytes(big.data(), big.size()));
    EXPECT_EQ(s.length, 5003u);
    EXPECT_GE(s.capacity, 5004u);
}

TEST(LString, AdoptTakesTheBuffer) {
    LStringA a("left"), b("right");
    char* p = b.buffer;
    a.Adopt(b);
    EXPECT_EQ(a.buffer, p);
    EXPECT_EQ(a.Str(), "right");
    EXPECT_EQ(b.buffer, nullptr);
    EXPECT_EQ(b.length, 0u);
}

TEST(LByteBuffer, ResizeAndFailures) {
    LByteBuffer b;
    b.Resize(10);
    EXPECT_EQ(b.length, 10u);
    b.Resize(15);
    EXPECT_EQ(b.capacity, 20u);  // max(2 x capacity, n)
    EXPECT_TRUE(b.Append("xyz", 3));
    EXPECT_EQ(b.length, 18u);
    // An impossible reservation empties the buffer instead of corrupting it.
    EXPECT_FALSE(b.Reserve(uint64_t(1) << 62));
    EXPECT_EQ(b.buffer, nullptr);
    EXPECT_EQ(b.length, 0u);
    EXPECT_EQ(LAllocChecked(size_t(1) << 62), nullptr);
}

TEST(Utf8, RoundTripsAndReplacesInvalid) {
    struct {
        std::string in;
        std::u16string want;
    } cases[] = {
        {"abc", u"abc"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xFFz", u"a\uFFFDz"},        // stray byte
        {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
        {"\xED\xA0\x80", u"\uFFFD"},    // encoded surrogate
        {"\xE2\x82", u"\uFFFD"},        // cut sequence at the end
    };
    for (const auto& c : cases) {
        LString w = LFromUtf8(c.in);
        EXPECT_EQ(w.View(), c.want) << c.in;
    }
    const char16_t lone[] = {u'a', 0xDC00, u'b', 0};
    EXPECT_EQ(LToUtf8(lone), "a\xEF\xBF\xBD" "b");
}

TEST(Utf8, TemporaryConversionsAndFields) {
    std::u16string s85(85, u'a'), s300(300, u'b');
    LUTF8FromWide small(s85.c_str());
    LUTF8FromWide large(s300.c_str());
    EXPECT_EQ(small.Length(), 85u);
    EXPECT_EQ(large.Length(), 300u);

    char field[260];
    EXPECT_EQ(LWideToUTF8Buf(field, s300.c_str()), 259u);
    // A cut never leaves half a character.
    std::u16string euro(200, u'\u20AC');
    size_t n = LWideToUTF8Buf(field, euro.c_str());
    EXPECT_EQ(n % 3, 0u);
    char16_t wfield[260];
    EXPECT_EQ(LUTF8ToWideBuf(wfield, std::string(400, 'c').c_str()), 259u);
}

}  // namespace
