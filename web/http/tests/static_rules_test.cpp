#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "web/http/static_rules.h"

namespace {

TEST(ContentType, TableByExtensionAnyCase) {
    int age = -1;
    bool inl = false;
    EXPECT_STREQ(LWebletContentType(u"a/index.HTML", &age, &inl), "text/html");
    EXPECT_EQ(age, 3600);
    EXPECT_TRUE(inl);
    EXPECT_STREQ(LWebletContentType(u"logo.ico", &age, &inl), "image/x-icon");
    EXPECT_EQ(age, 14400);
    EXPECT_STREQ(LWebletContentType(u"ajax.JS", &age, &inl), "text/javascript");
    EXPECT_EQ(age, 3600);
    EXPECT_TRUE(inl);
    EXPECT_STREQ(LWebletContentType(u"app.json", &age, &inl), "application/octet-stream");
    EXPECT_EQ(age, 0);
    EXPECT_FALSE(inl);
    EXPECT_STREQ(LWebletContentType(u"dir.html/file", &age, &inl), "application/octet-stream");
}

TEST(Validators, EtagLastModifiedAndConditions) {
    char lm[64], etag[64];
    // 2026-12-09 10:11:12 UTC, a Wednesday.
    const int64_t t = 1796811072;
    LWebletMakeValidators(t, 10, lm, etag);
    EXPECT_STREQ(lm, "Wed, 09 Dec 2026 10:11:12 GMT");
    char want[64];
    std::snprintf(want, sizeof want, "%llxa", static_cast<unsigned long long>(t % 10000000));
    EXPECT_STREQ(etag, want);

    std::u16string inm = u"\"a\", \"" + std::u16string(etag, etag + std::strlen(etag)) + u"\"";
    EXPECT_FALSE(LWebletFileValidators(t, 10, inm.c_str(), nullptr, lm, etag));
    EXPECT_TRUE(LWebletFileValidators(t, 10, u"\"other\"", nullptr, lm, etag));
    // A stale If-None-Match still lets If-Modified-Since decide.
    EXPECT_FALSE(LWebletFileValidators(t, 10, u"\"other\"", u"wed, 09 dec 2026 10:11:12 gmt", lm, etag));
    EXPECT_TRUE(LWebletFileValidators(t, 11, nullptr, u"Wed, 09 Dec 2026 10:11:13 GMT", lm, etag));
}

TEST(Range, SingleRangesOverTenBytes) {
    struct Case {
        const char16_t* range;
        uint64_t length;
        LWebRangeResult want;
        uint64_t first, last;
    } cases[] = {
        {u"bytes=0-0", 10, LWebRangeResult::Partial, 0, 0},
        {u"bytes=-3", 10, LWebRangeResult::Partial, 7, 9},
        {u"bytes=5-2", 10, LWebRangeResult::Unsatisfiable, 0, 0},
        {u"bytes=5-100", 10, LWebRangeResult::Partial, 5, 9},
        {u"bytes=5-", 10, LWebRangeResult::Partial, 5, 9},
        {u"bytes=-30", 10, LWebRangeResult::Partial, 0, 9},
        {u"bytes=20-30", 10, LWebRangeResult::Unsatisfiable, 0, 0},
        {u"bytes=2-3,5-6", 10, LWebRangeResult::Partial, 2, 3},
        {u"bytes=0-0", 0, LWebRangeResult::Unsatisfiable, 0, 0},
        {u"bytes=-1", 0, LWebRangeResult::Unsatisfiable, 0, 0},
        {u"bytes=abc", 10, LWebRangeResult::Ignore, 0, 0},
        {u"bytes=-", 10, LWebRangeResult::Ignore, 0, 0},
        {u"bytes=1-2x", 10, LWebRangeResult::Ignore, 0, 0},
        {u"bytes 1-2", 10, LWebRangeResult::Ignore, 0, 0},
        {u"bytes=99999999999999999999999-", 10, LWebRangeResult::Ignore, 0, 0},
        {u"", 10, LWebRangeResult::Ignore, 0, 0},
    };
    for (const Case& c : cases) {
        uint64_t first = 0, last = 0;
        LWebRangeResult r = LWebParseRange(c.range, c.length, &first, &last);
        EXPECT_EQ(static_cast<int>(r), static_cast<int>(c.want)) << std::string(c.range, c.range + 5);
        if (r == LWebRangeResult::Partial) {
            EXPECT_EQ(first, c.first);
            EXPECT_EQ(last, c.last);
        }
    }
}

TEST(AcceptEncoding, OnlyTheGzipTokenItself) {
    EXPECT_TRUE(LWebAcceptsGzip(u"gzip, deflate"));
    EXPECT_TRUE(LWebAcceptsGzip(u"deflate, gzip;q=0.5"));
    EXPECT_TRUE(LWebAcceptsGzip(u"br,gzip"));
    EXPECT_FALSE(LWebAcceptsGzip(u"x-gzip"));
    EXPECT_FALSE(LWebAcceptsGzip(u"gzipped"));
    EXPECT_FALSE(LWebAcceptsGzip(u"gzip;q=0"));
    EXPECT_FALSE(LWebAcceptsGzip(u"gzip;q=0.000"));
    EXPECT_FALSE(LWebAcceptsGzip(u"identity"));
    EXPECT_FALSE(LWebAcceptsGzip(nullptr));
}

}  // namespace
