#include "foundation/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Encode(const std::string& bytes, uint32_t flags) {
    LString out;
    LBase64Encode(bytes.data(), bytes.size(), out, flags);
    return LToUtf8(out);
}

std::string Decode(const char* text) {
    LHeapBlock block;
    size_t n = LBase64Decode(text, std::strlen(text), block);
    return n ? std::string(static_cast<const char*>(block.block), n) : std::string();
}

// 0, 1, 2, ... as bytes.
std::string Bytes(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(i * 7 + 3);
    return s;
}

}  // namespace

TEST(Base64, EncodesGroupsFillAndFlags) {
    struct Case {
        std::string bytes;
        uint32_t flags;
        const char* want;
    } cases[] = {
        {"abc", 0, "YWJj"},
        {"a", 0, "YQ=="},
        {"a", LBase64NoFill, "YQ"},
        {"ab", 0, "YWI="},
        {"ab", LBase64NoFill, "YWI"},
        {"", 0, ""},
        {std::string("\xff\xfe\x00", 3), 0, "//4A"},
        {"any carnal pleas", LBase64NoLineBreaks, "YW55IGNhcm5hbCBwbGVhcw=="},
    };
    for (const auto& c : cases) EXPECT_EQ(Encode(c.bytes, c.flags), c.want) << c.bytes;
}

TEST(Base64, BreaksLinesAfter76Characters) {
    struct Case {
        size_t n;
        uint32_t flags;
        std::vector<size_t> lines;  // characters per line, in order
        const char* tailEnd;        // how the text ends
    } cases[] = {
        {56, 0, {76}, "="},
        {57, 0, {76, 0}, "\r\n"},
        {58, 0, {76, 4}, "=="},
        {114, 0, {76, 76, 0}, "\r\n"},
        {115, 0, {76, 76, 4}, "=="},
        {115, LBase64NoFill, {76, 76, 2}, ""},
        {300, LBase64NoLineBreaks, {400}, ""},
    };
    for (const auto& c : cases) {
        std::string text = Encode(Bytes(c.n), c.flags);
        EXPECT_EQ(text.size(), LBase64EncodedLength(c.n, c.flags)) << c.n;
        std::vector<size_t> lines;
        size_t start = 0;
        for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
            lines.push_back(pos - start);
        lines.push_back(text.size() - start);
        EXPECT_EQ(lines, c.lines) << c.n;
        if (*c.tailEnd) {
            EXPECT_EQ(text.substr(text.size() - std::strlen(c.tailEnd)), c.tailEnd) << c.n;
        }
        EXPECT_EQ(Decode(text.c_str()), Bytes(c.n)) << c.n;
    }
}

TEST(Base64, EncodeReplacesButNoBytesUnbrokenKeepsOutput) {
    LString out(u"old");
    LBase64Encode("abc", 3, out, 0);
    EXPECT_EQ(LToUtf8(out), "YWJj");
    LBase64Encode("", 0, out, LBase64NoLineBreaks);
    EXPECT_EQ(LToUtf8(out), "YWJj");
    LBase64Encode("", 0, out, 0);
    EXPECT_EQ(LToUtf8(out), "");
    LBase64EncodeCore("a", 1, out, 0);
    LBase64EncodeCore("a", 1, out, 0);
    EXPECT_EQ(LToUtf8(out), "YQ==YQ==");
}

TEST(Base64, NarrowEncoderAlwaysBreaksAndFills) {
    LStringA out("x");
    std::string in = Bytes(58);
    LBase64EncodeA(in.data(), in.size(), out);
    std::string s = out.Str();
    EXPECT_EQ(s.size(), 1u + 76 + 2 + 4);
    EXPECT_EQ(s.substr(77, 2), "\r\n");
    EXPECT_EQ(s.substr(s.size() - 2), "==");
}

TEST(Base64, FixedFieldKeeps259Characters) {
    std::string in = Bytes(300);
    char16_t buf[260];
    LBase64EncodeW260(in.data(), in.size(), buf, LBase64NoLineBreaks);
    std::string full = Encode(in, LBase64NoLineBreaks);
    EXPECT_EQ(LToUtf8(buf), full.substr(0, 259));
    LBase64EncodeW260(in.data(), in.size(), buf, 0);
    EXPECT_EQ(LToUtf8(buf), Encode(in, 0).substr(0, 259));
    LBase64EncodeW260("ab", 2, buf, LBase64NoFill);
    EXPECT_EQ(LToUtf8(buf), "YWI");
}

TEST(Base64, DecodesSkippingEverythingOutsideTheAlphabet) {
    struct Case {
        const char* text;
        std::string want;
    } cases[] = {
        {"YWJj", "abc"},
        {"YW\r\nJj", "abc"},
        {" Y W J j ", "abc"},
        {"YQ==", "a"},
        {"YQ", "a"},
        {"YWI", "ab"},
        {"YWJjZ", "abc"},  // one character alone gives nothing
        {"====", ""},
        {"", ""},
        {"//4A", std::string("\xff\xfe\x00", 3)},
        {"YW=Jj", "abc"},  // '=' is skipped wherever it stands
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.text), c.want) << c.text;

    // The text ends at a zero byte even when the count says more.
    LHeapBlock block;
    EXPECT_EQ(LBase64Decode("YWJj\0YWJj", 9, block), 3u);
    LStringA none;
    EXPECT_EQ(LBase64Decode(none, block), 0u);
}
