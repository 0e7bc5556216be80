// The per-IP rate limits under a clock the test moves.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>

#include "foundation/time_source.h"
#include "net/rate_limit.h"

namespace {

uint64_t g_now = 0;
uint64_t TestTick() { return g_now; }

uint32_t Key(const char* dotted) {
    in_addr a;
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

class RateLimit : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 1000000;
        table_ = std::make_unique<LIPRateLimit>();
        LSetTickFuncForTests(TestTick);
    }
    void TearDown() override { LSetTickFuncForTests(nullptr); }
    LIPRateLimitEntry& Entry(uint32_t key) { return table_->FindEntry(LIPRateLimit::BucketOf(key), key); }
    // n connections; the number of the first refused one, -1 when none was.
    int FirstRefusal(uint32_t key, int n) {
        int first = -1;
        for (int i = 1; i <= n; ++i)
            if (LIPRateLimitConnection(*table_, key) && first < 0) first = i;
        return first;
    }
    std::unique_ptr<LIPRateLimit> table_;
};

TEST_F(RateLimit, SeventySixthConnectionIsRefusedAndTheCountIsCapped) {
    uint32_t key = Key("203.0.113.7");
    EXPECT_EQ(FirstRefusal(key, 200), 76);
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(LIPRateLimitConnection(*table_, key));
    EXPECT_EQ(Entry(key).short_count, 600u);
}

TEST_F(RateLimit, RecentlyGoodAddressGetsFiveTimesTheAllowance) {
    uint32_t key = Key("198.51.100.1");
    LIPRateLimit::MarkGood(*table_, key);
    EXPECT_EQ(FirstRefusal(key, 4000), 376);
    EXPECT_EQ(Entry(key).short_count, 8u * 375u);
}

TEST_F(RateLimit, ShortWindowHalvesOnceThenForgets) {
    uint32_t key = Key("192.0.2.1");
    g_now = 0xFFFFFFFFull - 20000;  // the 32-bit tick wraps inside the window
    for (int i = 0; i < 40; ++i) LIPRateLimitConnection(*table_, key);
    uint32_t start = Entry(key).short_start;
    g_now += 45000;  // between 30 and 90 s: halve and move on by 30 s
    LIPRateLimitConnection(*table_, key);
    EXPECT_EQ(Entry(key).short_count, 21u);
    EXPECT_EQ(Entry(key).short_start, static_cast<uint32_t>(start + 30000));
    g_now += 100000;  // over 90 s after the window's start: from 0
    LIPRateLimitConnection(*table_, key);
    EXPECT_EQ(Entry(key).short_count, 1u);
    EXPECT_EQ(Entry(key).short_start, static_cast<uint32_t>(g_now));
}

TEST_F(RateLimit, BlockedAddressIsAdmittedAfterHalvingsOrQuiet) {
    uint32_t key = Key("192.0.2.2");
    FirstRefusal(key, 700);
    ASSERT_EQ(Entry(key).short_count, 600u);
    // Every 30 s the count halves: 600 -> 300 -> 150 -> 75: admitted once
    // a hit no longer lifts it over 75.
    int refused = 0;
    for (int step = 0; step < 4; ++step) {
        g_now += 30000;
        refused += LIPRateLimitConnection(*table_, key) ? 1 : 0;
    }
    EXPECT_EQ(refused, 3);
    uint32_t quiet = Key("192.0.2.3");
    FirstRefusal(quiet, 700);
    g_now += 91000;
    EXPECT_FALSE(LIPRateLimitConnection(*table_, quiet));
}

TEST_F(RateLimit, LongWindowLimitHalvesAndIsForgottenAfter36Hours) {
    uint32_t key = Key("192.0.2.4");
    // 3000 per 12 hours, spread so that the short window never trips.
    int refused_at = -1;
    for (int i = 1; i <= 3100 && refused_at < 0; ++i) {
        if (i % 70 == 0) g_now += 100000;
        if (LIPRateLimitConnection(*table_, key)) refused_at = i;
    }
    EXPECT_EQ(refused_at, 3001);
    EXPECT_TRUE(LIPRateLimit::IsOverLimit(*table_, key, 75, 3000));
    uint32_t start = Entry(key).long_start;
    g_now = start + 43200000 + 1000;  // one long window later: halved
    LIPRateLimitConnection(*table_, key);
    EXPECT_EQ(Entry(key).long_start, start + 43200000);
    EXPECT_LT(Entry(key).long_count, 3000u);
    EXPECT_FALSE(LIPRateLimit::IsOverLimit(*table_, key, 75, 3000));
    g_now += 129600000;  // 36 quiet hours: from 0
    LIPRateLimitConnection(*table_, key);
    EXPECT_EQ(Entry(key).long_count, 1u);
}

TEST_F(RateLimit, IsOverLimitCountsNothingAndCaps) {
    uint32_t key = Key("192.0.2.5");
    EXPECT_FALSE(LIPRateLimit::IsOverLimit(*table_, key, 5, 25));  // unknown address
    for (int i = 0; i < 5; ++i) table_->CountHit(LIPRateLimit::BucketOf(key), key);
    EXPECT_FALSE(LIPRateLimit::IsOverLimit(*table_, key, 5, 25));
    EXPECT_EQ(Entry(key).short_count, 5u);
    for (int i = 0; i < 100; ++i) table_->CountHit(LIPRateLimit::BucketOf(key), key);
    // The long window is judged first: over 25, capped at 200.
    EXPECT_TRUE(LIPRateLimit::IsOverLimit(*table_, key, 5, 25));
    EXPECT_EQ(Entry(key).long_count, 105u);
    EXPECT_EQ(Entry(key).short_count, 105u);
    // Under a wide long limit the short one trips and is capped at 8 x 5.
    EXPECT_TRUE(LIPRateLimit::IsOverLimit(*table_, key, 5, 1000));
    EXPECT_EQ(Entry(key).short_count, 40u);
    EXPECT_TRUE(LIPRateLimit::IsOverLimit(*table_, key, 5, 25));
    // 90 quiet seconds reset the short count; the long window still holds.
    g_now += 91000;
    EXPECT_FALSE(LIPRateLimit::IsOverLimit(*table_, key, 5, 1000));
    EXPECT_EQ(Entry(key).short_count, 0u);
    EXPECT_TRUE(LIPRateLimit::IsOverLimit(*table_, key, 5, 25));
}

TEST_F(RateLimit, BucketsRecycleTheOldestOrTheIdleEntry) {
    // Keys with the same first octet share a bucket but not an entry.
    uint32_t first = Key("10.0.0.1");
    for (int i = 0; i < 16; ++i) {
        std::string dotted = "10.0.0." + std::to_string(i + 1);
        table_->CountHit(LIPRateLimit::BucketOf(Key(dotted.c_str())), Key(dotted.c_str()));
        g_now += 1000;
    }
    EXPECT_EQ(Entry(first).short_count, 1u);
    EXPECT_EQ(Entry(Key("10.0.0.2")).short_count, 1u);
    // A 17th address replaces the one whose short window started first.
    uint32_t newcomer = Key("74.0.0.1");  // 74 % 64 == 10: the same bucket
    ASSERT_EQ(LIPRateLimit::BucketOf(newcomer), LIPRateLimit::BucketOf(first));
    table_->CountHit(LIPRateLimit::BucketOf(newcomer), newcomer);
    auto& b = table_->buckets[LIPRateLimit::BucketOf(first)];
    bool first_still_there = false;
    for (auto& e : b.entries) first_still_there |= (e.key == first);
    EXPECT_FALSE(first_still_there);
    // An entry idle for more than 36 hours goes before an older-started one.
    g_now += 129600000 + 1;
    for (auto& e : b.entries) {
        e.short_start = g_now - 1000;
        if (e.key == Key("10.0.0.9")) e.short_start = g_now - 129600001;
        if (e.key == Key("10.0.0.2")) e.short_start = g_now - 200000;  // oldest, not idle
    }
    uint32_t third = Key("138.0.0.1");  // 138 % 64 == 10
    table_->CountHit(LIPRateLimit::BucketOf(third), third);
    bool nine_there = false, two_there = false;
    for (auto& e : b.entries) {
        nine_there |= (e.key == Key("10.0.0.9"));
        two_there |= (e.key == Key("10.0.0.2"));
    }
    EXPECT_FALSE(nine_there);
    EXPECT_TRUE(two_there);
}

TEST_F(RateLimit, MarkGoodReplacesTheOldestRemembered) {
    uint32_t base = Key("20.0.0.0");
    for (uint32_t i = 0; i < 96; ++i) {
        LIPRateLimit::MarkGood(*table_, base + (i << 24));
        g_now += 10;
    }
    EXPECT_TRUE(table_->IsGood(base));
    LIPRateLimit::MarkGood(*table_, base);  // refreshed: now the youngest
    g_now += 10;
    uint32_t newcomer = Key("84.0.0.0");  // 84 % 64 == 20
    LIPRateLimit::MarkGood(*table_, newcomer);
    EXPECT_TRUE(table_->IsGood(newcomer));
    EXPECT_TRUE(table_->IsGood(base));
    EXPECT_FALSE(table_->IsGood(base + (1u << 24)));
}

TEST_F(RateLimit, BotPenalty) {
    uint32_t key = Key("192.0.2.9");
    LIPRateLimitBotPenalty(*table_, key);
    EXPECT_EQ(Entry(key).short_count, 16u);
    EXPECT_EQ(Entry(key).long_count, 64u);
    for (int i = 0; i < 20; ++i) table_->CountHit(LIPRateLimit::BucketOf(key), key);
    LIPRateLimitBotPenalty(*table_, key);
    EXPECT_EQ(Entry(key).short_count, 144u);
    EXPECT_EQ(Entry(key).long_count, 336u);
    EXPECT_TRUE(LIPRateLimitConnection(*table_, key));
}

}  // namespace
