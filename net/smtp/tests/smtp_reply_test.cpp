#include <gtest/gtest.h>

#include <string>

#include "net/smtp/smtp_reply.h"

namespace {

struct ReplyCase {
    const char* name;
    std::string bytes;
    int code;
    const char* text;
    bool startTls;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class SmtpReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(SmtpReplyTest, WholeAndInSingleBytes) {
    const ReplyCase& c = GetParam();
    LSmtpReplyReader whole;
    EXPECT_TRUE(whole.Feed(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ(whole.code, c.code);
    EXPECT_STREQ(whole.text, c.text);
    EXPECT_EQ(whole.startTls, c.startTls);

    // The same reply arriving one byte per receive.
    LSmtpReplyReader split;
    bool done = false;
    for (size_t i = 0; i < c.bytes.size() && !done; ++i) done = split.Feed(&c.bytes[i], 1);
    EXPECT_TRUE(done);
    EXPECT_EQ(split.code, c.code);
    EXPECT_STREQ(split.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SmtpReplyTest,
    ::testing::Values(
        ReplyCase{"Greeting", "220 mx.example ESMTP\r\n", 220, "", false},
        ReplyCase{"Multiline", "250-mx.example\r\n250-SIZE 1000\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n", 250, "", true},
        ReplyCase{"StartTlsLast", "250-mx\r\n250 STARTTLS\r\n", 250, "", true},
        ReplyCase{"StartTlsWithBlank", "250-mx\r\n250-STARTTLS \r\n250 OK\r\n", 250, "", true},
        ReplyCase{"NotStartTlsPrefix", "250-mx\r\n250-STARTTLSX\r\n250 OK\r\n", 250, "", false},
        ReplyCase{"LowerCaseNotOffered", "250-mx\r\n250 starttls\r\n", 250, "", false},
        ReplyCase{"TextAfterFirstColon", "550 5.1.1 <a@b>: Recipient: unknown\r\n", 550, " Recipient: unknown", false},
        ReplyCase{"TextAcrossLines", "554-first: one\r\n554 two\r\n", 554, " one554 two", false},
        ReplyCase{"BareLf", "354 go ahead\n", 354, "", false},
        ReplyCase{"ShortLine", "2\r\n", 2, "", false},
        ReplyCase{"TrailingBytesDropped", "250 ok\r\n999 extra\r\n", 250, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmtpReplyReader, LongLinesAndTextAreCut) {
    std::string longLine = "250-" + std::string(600, 'x') + "\r\n";
    std::string reply = longLine + "250 x:" + std::string(400, 'y') + "\r\n";
    LSmtpReplyReader r;
    EXPECT_TRUE(r.Feed(reply.data(), reply.size()));
    EXPECT_EQ(r.code, 250);
    EXPECT_EQ(std::string(r.text), std::string(259, 'y'));
}

TEST(SmtpReplyReader, IncompleteUntilLastLine) {
    LSmtpReplyReader r;
    EXPECT_FALSE(r.Feed("250-a\r\n250", 10));
    EXPECT_FALSE(r.Complete());
    EXPECT_TRUE(r.Feed(" b\r\n", 4));
    EXPECT_EQ(r.code, 250);
}

}  // namespace

// The whole reply is kept for the user: every line with its code, without
// line ends; 8BITMIME is noted as STARTTLS is.
TEST(SmtpReplyReader, WholeReplyAndEightBitMime) {
    struct Case {
        std::string bytes;
        const char* full;
        bool eightBitMime;
    } cases[] = {
        {"451 4.3.0 try later\r\n", "451 4.3.0 try later", false},
        {"550-5.1.1 first line\r\n550 5.1.1 second: line\r\n", "550-5.1.1 first line 550 5.1.1 second: line", false},
        {"250-mx\r\n250-8BITMIME\r\n250 SIZE 100\r\n", "250-mx 250-8BITMIME 250 SIZE 100", true},
        {"250-mx\r\n250 8BITMIMEX\r\n", "250-mx 250 8BITMIMEX", false},
    };
    for (const Case& c : cases) {
        LSmtpReplyReader r;
        EXPECT_TRUE(r.Feed(c.bytes.data(), c.bytes.size()));
        EXPECT_STREQ(r.full, c.full);
        EXPECT_EQ(r.eightBitMime, c.eightBitMime) << c.bytes;
    }
    std::string huge = "554 " + std::string(2000, 'z') + "\r\n";
    LSmtpReplyReader r;
    r.Feed(huge.data(), huge.size());
    EXPECT_EQ(std::string(r.full).size(), sizeof r.full - 1);
}
