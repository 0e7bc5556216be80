#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>

#include "web/http/request_head.h"
#include "web/http/request_reader.h"

namespace {

struct LineCase {
    const char* line;
    const char* method;
    const char* target;
    double version;
};

TEST(RequestLine, SplitsMethodTargetAndVersion) {
    const LineCase cases[] = {
        {"GET /index.html HTTP/1.1", "GET", "/index.html", 1.1},
        {"POST /loglist?x=1 HTTP/1.0", "POST", "/loglist?x=1", 1.0},
        {"PUT / HTTP/1.1", "PUT", "/", 1.1},
        {"GET /", "GET", "/", 0},
        {"GET  /a  HTTP/2", "GET", "/a", 2},
        {"GET /a HTTP/inf", "GET", "/a", 0},
        {"", "", "", 0},
    };
    for (const LineCase& c : cases) {
        LWebRequestLine r;
        LWebParseRequestLine(c.line, &r);
        EXPECT_STREQ(r.method, c.method) << c.line;
        EXPECT_EQ(r.target.Str(), c.target) << c.line;
        EXPECT_NEAR(r.version, c.version, 1e-9) << c.line;
    }
}

TEST(RequestLine, MethodIsCutAt259Bytes) {
    std::string line(400, 'G');
    LWebRequestLine r;
    LWebParseRequestLine(line.c_str(), &r);
    EXPECT_EQ(std::strlen(r.method), 259u);
}

TEST(HeaderLine, NameValueAndBlanks) {
    LString name, value;
    LWebSplitHeaderLine(u"Host:   127.0.0.1:1098 ", name, value);
    EXPECT_EQ(std::u16string(name.c_str()), u"Host");
    EXPECT_EQ(std::u16string(value.c_str()), u"127.0.0.1:1098");
    LWebSplitHeaderLine(u"X-Empty:", name, value);
    EXPECT_EQ(std::u16string(name.c_str()), u"X-Empty");
    EXPECT_TRUE(value.IsEmpty());
}

TEST(BodyLength, OnlyPlainDecimalLengthsPass) {
    struct Case {
        const char16_t* length;
        const char16_t* transfer;
        LWebBodyLength want;
        int64_t value;
    } cases[] = {
        {nullptr, nullptr, LWebBodyLength::None, 0},
        {u"0", nullptr, LWebBodyLength::Length, 0},
        {u"3000001", nullptr, LWebBodyLength::Length, 3000001},
        {u"", nullptr, LWebBodyLength::Invalid, 0},
        {u"-5", nullptr, LWebBodyLength::Invalid, 0},
        {u"+5", nullptr, LWebBodyLength::Invalid, 0},
        {u"12abc", nullptr, LWebBodyLength::Invalid, 0},
        {u"99999999999999999999999", nullptr, LWebBodyLength::Invalid, 0},
        {u"10", u"chunked", LWebBodyLength::Invalid, 0},
        {nullptr, u"chunked", LWebBodyLength::Invalid, 0},
    };
    for (const Case& c : cases) {
        int64_t v = -1;
        EXPECT_EQ(LWebParseBodyLength(c.length, c.transfer, &v), c.want);
        if (c.want == LWebBodyLength::Length) {
            EXPECT_EQ(v, c.value);
        }
    }
}

TEST(KeepAlive, VersionAndConnectionHeader) {
    EXPECT_TRUE(LWebKeepAlive(1.1, nullptr));
    EXPECT_FALSE(LWebKeepAlive(1.0, nullptr));
    EXPECT_FALSE(LWebKeepAlive(1.1, u"close"));
    EXPECT_TRUE(LWebKeepAlive(1.1, u"Close"));  // exact lower case only
    EXPECT_FALSE(LWebKeepAlive(1.1, u"keep-alive, close"));
}

TEST(BotProbe, GreyListPhpAndPhpFolder) {
    EXPECT_TRUE(LWebIsBotProbe(u"/wp-admin"));
    EXPECT_TRUE(LWebIsBotProbe(u"/x/index.PHP"));
    EXPECT_TRUE(LWebIsBotProbe(u"/a/php/b"));
    EXPECT_TRUE(LWebIsBotProbe(u"/stager64"));
    EXPECT_FALSE(LWebIsBotProbe(u"/WP-ADMIN"));  // exact case
    EXPECT_FALSE(LWebIsBotProbe(u"/index.html"));
    EXPECT_FALSE(LWebIsBotProbe(u"/php.d/x.js"));
}

// Bytes handed out in the pieces a peer might send them.
class PieceSource : public LWebByteSource {
public:
    std::deque<std::string> pieces;
    uint32_t ReceiveSome(void* buffer, size_t n, size_t* count, uint32_t) override {
        if (pieces.empty()) return 2;
        std::string& p = pieces.front();
        size_t take = std::min(n, p.size());
        std::memcpy(buffer, p.data(), take);
        p.erase(0, take);
        if (p.empty()) pieces.pop_front();
        *count = take;
        return 0;
    }
};

TEST(ConnectionReader, LinesAcrossPiecesAndBodyAfterThem) {
    PieceSource src;
    src.pieces = {"GET / HT", "TP/1.1\r\nHost: a\r", "\n\r\nBODY", "!"};
    LWebConnectionReader reader(src);
    LStringA line;
    uint64_t deadline = LWebTickMs() + 1000;
    ASSERT_EQ(reader.ReadLine(line, LWebMaxLineBytes, deadline), LWebLineResult::Ok);
    EXPECT_EQ(line.Str(), "GET / HTTP/1.1");
    ASSERT_EQ(reader.ReadLine(line, LWebMaxLineBytes, deadline), LWebLineResult::Ok);
    EXPECT_EQ(line.Str(), "Host: a");
    ASSERT_EQ(reader.ReadLine(line, LWebMaxLineBytes, deadline), LWebLineResult::Ok);
    EXPECT_TRUE(line.IsEmpty());
    LByteBuffer body;
    ASSERT_EQ(reader.ReadExact(body, 5, 1000), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(body.buffer), body.length), "BODY!");
    EXPECT_FALSE(reader.HasPendingBytes());
    EXPECT_NE(reader.ReadExact(body, 1, 1000), 0u);  // the peer has nothing more
}

TEST(ConnectionReader, OverlongLineIsRefusedWithoutGrowing) {
    PieceSource src;
    src.pieces = {std::string(LWebMaxLineBytes, 'a') + "\r\n", std::string(LWebMaxLineBytes + 1, 'b') + "\r\n",
                  std::string(100000, 'c')};
    LWebConnectionReader reader(src);
    LStringA line;
    uint64_t deadline = LWebTickMs() + 1000;
    EXPECT_EQ(reader.ReadLine(line, LWebMaxLineBytes, deadline), LWebLineResult::Ok);
    EXPECT_EQ(line.length, LWebMaxLineBytes);
    EXPECT_EQ(reader.ReadLine(line, LWebMaxLineBytes, deadline), LWebLineResult::TooLong);
    LWebConnectionReader reader2(src);
    EXPECT_EQ(reader2.ReadLine(line, LWebMaxLineBytes, deadline), LWebLineResult::TooLong);
    EXPECT_LE(line.length, LWebMaxLineBytes + 1);
}

TEST(ConnectionReader, PastDeadlineFailsWithoutWaiting) {
    PieceSource src;
    src.pieces = {"GET / HTTP/1.1"};  // never ends its line
    LWebConnectionReader reader(src);
    LStringA line;
    EXPECT_EQ(reader.ReadLine(line, LWebMaxLineBytes, LWebTickMs()), LWebLineResult::Failed);
}

TEST(ConnectionReader, ReadUntilClosedKeepsToItsCap) {
    PieceSource src;
    src.pieces = {"12345", "67890"};
    LWebConnectionReader reader(src);
    LByteBuffer body;
    bool over = false;
    reader.ReadUntilClosed(body, 10, 1000, &over);
    EXPECT_FALSE(over);
    EXPECT_EQ(body.length, 10u);
    PieceSource src2;
    src2.pieces = {"12345", "678901"};
    LWebConnectionReader reader2(src2);
    LByteBuffer body2;
    reader2.ReadUntilClosed(body2, 10, 1000, &over);
    EXPECT_TRUE(over);
}

}  // namespace
