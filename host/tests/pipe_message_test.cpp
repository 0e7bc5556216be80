// The channel's bytes without a socket: header fields, log-line payloads
// and reply blocks, as both ends read them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/pipe_message.h"

TEST(PipeMessage, HeaderIsLittleEndianAndRoundTrips) {
    LPipeHeader h;
    h.type = LPipeTypeCommandNumber;
    h.code = 0x1000005;
    h.length = 0x01020304;
    h.id = 0xA0B0C0D0;
    unsigned char raw[LPipeHeaderSize];
    LPipeHeaderEncode(h, raw);
    const unsigned char want[] = {0x34, 0x12, 0x01, 0x80, 0x05, 0x00, 0x00, 0x01,
                                  0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0};
    EXPECT_EQ(0, std::memcmp(raw, want, sizeof want));
    LPipeHeader back = LPipeHeaderDecode(raw);
    EXPECT_EQ(back.magic, LPipeMagic);
    EXPECT_EQ(back.type, h.type);
    EXPECT_EQ(back.code, h.code);
    EXPECT_EQ(back.length, h.length);
    EXPECT_EQ(back.id, h.id);
    // Bit 15: the length is a number, no payload follows.
    EXPECT_FALSE(back.HasPayload());
    back.type = LPipeTypeCommand;
    EXPECT_TRUE(back.HasPayload());
}

TEST(PipeMessage, LogLineCutsLongTimeText) {
    LPipeLogLine l = LPipeLogLineBuild("12:34:56", "Hello");
    EXPECT_EQ(l.time_size, 9u);
    EXPECT_EQ(l.payload, std::string("12:34:56\0Hello\0", 15));

    std::string long_time(300, 't');
    l = LPipeLogLineBuild(long_time.c_str(), "x");
    EXPECT_EQ(l.time_size, 260u);
    EXPECT_EQ(l.payload.size(), 262u);
    EXPECT_EQ(l.payload[259], '\0');
}

TEST(PipeMessage, LogLineSplitForcesTerminatorsInside) {
    struct Case {
        std::string payload;
        uint32_t split;
        const char* time_text;
        const char* line_text;
    };
    const std::vector<Case> cases = {
        {std::string("12:00:00\0line\0", 14), 9, "12:00:00", "line"},
        // A split of 0 splits after the first byte.
        {std::string("Xabc\0", 5), 0, "", "abc"},
        // A split at or past the end is lowered to length - 1.
        {std::string("abcdef", 6), 99, "abcd", ""},
        // No terminators sent: both texts still end inside the payload.
        {std::string("timeline", 8), 4, "tim", "lin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload);
        std::vector<unsigned char> bytes(c.payload.begin(), c.payload.end());
        std::string t, line;
        ASSERT_TRUE(LPipeLogLineSplit(bytes.data(), static_cast<uint32_t>(bytes.size()), c.split, t, line));
        EXPECT_EQ(t, c.time_text);
        EXPECT_EQ(line, c.line_text);
    }
    unsigned char one[1] = {'x'};
    std::string t, line;
    EXPECT_FALSE(LPipeLogLineSplit(one, 1, 1, t, line));
}

TEST(PipeMessage, ReplyBlockFieldsAlwaysTerminated) {
    struct Case {
        size_t message, detail;  // text sizes
        size_t want_message, want_detail;
    };
    const Case cases[] = {{255, 8191, 255, 8191}, {256, 8192, 255, 8191}, {0, 0, 0, 0}};
    for (const Case& c : cases) {
        LDesktopReply r;
        r.id = 77;
        r.ok = true;
        r.message.assign(c.message, 'm');
        r.detail.assign(c.detail, 'd');
        unsigned char block[LDesktopReplyBlockSize];
        std::memset(block, 0xFF, sizeof block);
        LDesktopReplyEncode(r, block);
        EXPECT_EQ(block[0], 77);
        EXPECT_EQ(block[4], 1);
        EXPECT_EQ(std::strlen(reinterpret_cast<char*>(block + 8)), c.want_message);
        EXPECT_EQ(std::strlen(reinterpret_cast<char*>(block + 264)), c.want_detail);
        EXPECT_EQ(block[8 + 255], 0);
        EXPECT_EQ(block[LDesktopReplyBlockSize - 1], 0);
    }
}
