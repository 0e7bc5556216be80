#include "foundation/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/lstring.h"
#include "foundation/time_source.h"

namespace {

// Local time in Central Europe, with its daylight saving rules spelled out so
// that no zone database is needed.
class DateTimeLocal : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool had_ = false;
    std::string old_;
};

std::string Utc(time_t t) {
    char16_t buf[260];
    LFormatDateTimeUTC(t, buf);
    return LToUtf8(buf);
}

std::string Local(time_t t) {
    char16_t d[260], h[260];
    LFormatLocalDateAndTime(t, d, h);
    return LToUtf8(d) + " " + LToUtf8(h);
}

time_t gFixedNow = 0;
time_t FixedNow() { return gFixedNow; }

}  // namespace

TEST(DateTimeUtc, ParsesWithYearRuleAndDefaults) {
    struct Case {
        const char16_t* text;
        const char* want;
    } cases[] = {
        {u"2024-02-29", "2024-02-29 12:00:00"},
        {u"24-2-29 1:2:3", "2024-02-29 01:02:03"},
        {u"99-1-1 0:0:0", "1999-01-01 00:00:00"},
        {u"69-12-31 23:59:59", "2069-12-31 23:59:59"},
        {u"70-1-1 0:0:1", "1970-01-01 00:00:01"},
        {u"1000-6-1 0:0:0", "2900-06-01 00:00:00"},
        {u"2023", "2023-01-01 12:00:00"},
        {u"2023-7", "2023-07-01 12:00:00"},
        {u"2023-12-31 23:59:60", "2024-01-01 00:00:00"},
    };
    for (const auto& c : cases) {
        time_t t = 12345;
        EXPECT_TRUE(LParseDateTimeUTC(&t, c.text)) << LToUtf8(c.text);
        EXPECT_EQ(Utc(t), c.want) << LToUtf8(c.text);
    }
}

TEST(DateTimeUtc, YearRuleBoundaries) {
    struct Case {
        int year;
        int want;
    } cases[] = {{0, 2000}, {69, 2069}, {70, 1970}, {99, 1999}, {100, 2000}, {1000, 2900}, {1970, 1970}, {2999, 2999}};
    for (const auto& c : cases) {
        time_t t = 0;
        ASSERT_TRUE(LMakeTimeUTC(&t, c.year, 6, 1, 0, 0, 0)) << c.year;
        EXPECT_EQ(Utc(t).substr(0, 4), std::to_string(c.want)) << c.year;
    }
}

TEST(DateTimeUtc, EmptyGivesZeroAndUnrepresentableLeavesOut) {
    time_t t = 77;
    EXPECT_TRUE(LParseDateTimeUTC(&t, u""));
    EXPECT_EQ(t, 0);
    t = 77;
    EXPECT_TRUE(LParseDateTimeUTC(&t, nullptr));
    EXPECT_EQ(t, 0);
    // 1969 stays out of range, and so does anything after the year 3000.
    t = 77;
    EXPECT_FALSE(LParseDateTimeUTC(&t, u"1969-12-31 23:59:59"));
    EXPECT_EQ(t, 77);
    EXPECT_FALSE(LMakeTimeUTC(&t, 3001, 1, 1, 0, 0, 0));
    EXPECT_FALSE(LMakeTimeUTC(&t, 1899, 1, 1, 0, 0, 0));  // 3799
    EXPECT_EQ(t, 77);
}

TEST(DateTimeUtc, FormatsEpochAndNowNeverReadsAsEpoch) {
    EXPECT_EQ(Utc(0), "1970-01-01 00:00:00");
    char16_t day[260];
    LFormatDateUTC(951782400, day);  // 2000-02-29
    EXPECT_EQ(LToUtf8(day), "2000-02-29");

    char16_t now[260] = u"x";
    char nowA[260] = "x";
    gFixedNow = 0;
    LSetNowFuncForTests(FixedNow);
    LNowDateTimeUTC(now);
    EXPECT_EQ(now[0], 0);
    LTodayDateUTC(now);
    EXPECT_EQ(now[0], 0);
    gFixedNow = 1709208000;  // 2024-02-29 12:00:00
    LNowDateTimeUTC(now);
    EXPECT_EQ(LToUtf8(now), "2024-02-29 12:00:00");
    LTodayDateUTC(now);
    EXPECT_EQ(LToUtf8(now), "2024-02-29");
    LNowDateTimeUTCA(nowA);
    EXPECT_STREQ(nowA, "2024-02-29 12:00:00");
    LSetNowFuncForTests(nullptr);
    LNowDateTimeUTC(now);
    EXPECT_NE(LToUtf8(now), "2024-02-29 12:00:00");
    EXPECT_EQ(std::char_traits<char16_t>::length(now), 19u);
}

TEST(DateTimeCalendar, DaysInMonth) {
    struct Case {
        int year, month, want;
    } cases[] = {{1900, 2, 28}, {2000, 2, 29}, {2024, 2, 29}, {2023, 2, 28}, {2100, 2, 28}, {2023, 1, 31},
                 {2023, 4, 30}, {2023, 12, 31}, {2023, 0, 0},  {2023, 13, 0}, {2023, -1, 0}};
    for (const auto& c : cases) EXPECT_EQ(LDaysInMonth(c.year, c.month), c.want) << c.year << "-" << c.month;
}

TEST_F(DateTimeLocal, ParsesLocalDatesAcrossDaylightSaving) {
    time_t t = 0;
    ASSERT_TRUE(LParseLocalDate(&t, u"2024-7-1"));
    EXPECT_EQ(Utc(t), "2024-07-01 10:00:00");  // summer time, UTC+2
    ASSERT_TRUE(LParseLocalDate(&t, u"2024-1-1"));
    EXPECT_EQ(Utc(t), "2024-01-01 11:00:00");
    ASSERT_TRUE(LParseLocalDateAndTime(&t, u"24-12-31", u"23:59:59"));
    EXPECT_EQ(Local(t), "2024-12-31 23:59:59");
    ASSERT_TRUE(LParseLocalDateAndTime(&t, u"2024-3-5", u""));
    EXPECT_EQ(Local(t), "2024-03-05 00:00:00");
    ASSERT_TRUE(LParseLocalDateAndTime(&t, u"2024", nullptr));
    EXPECT_EQ(Local(t), "2024-01-01 00:00:00");
    t = 5;
    ASSERT_TRUE(LParseLocalDateAndTime(&t, u"", u"10:00:00"));
    EXPECT_EQ(t, 0);
    t = 5;
    ASSERT_TRUE(LParseLocalDate(&t, nullptr));
    EXPECT_EQ(t, 0);
    EXPECT_EQ(Local(0), " ");  // time 0 shows as empty date and time
}

TEST_F(DateTimeLocal, AddMonthsAcrossYearEndsAndLeapDays) {
    struct Case {
        const char16_t* date;
        const char16_t* time;
        int n;
        const char* want;
    } cases[] = {
        {u"2024-1-31", u"10:20:30", 1, "2024-02-29 10:20:30"},
        {u"2023-1-31", u"10:20:30", 1, "2023-02-28 10:20:30"},
        {u"2024-3-15", u"08:00:00", -3, "2023-12-15 08:00:00"},
        {u"2024-1-15", u"08:00:00", -1, "2023-12-15 08:00:00"},
        {u"2024-1-15", u"08:00:00", -12, "2023-01-15 08:00:00"},
        {u"2024-1-15", u"08:00:00", -13, "2022-12-15 08:00:00"},
        {u"2024-12-31", u"23:00:00", 1, "2025-01-31 23:00:00"},
        {u"2024-11-30", u"00:00:00", 14, "2026-01-30 00:00:00"},
        {u"2024-2-29", u"12:00:00", 12, "2025-02-28 12:00:00"},
        {u"2024-2-29", u"12:00:00", 48, "2028-02-29 12:00:00"},
        {u"2024-3-31", u"12:00:00", 0, "2024-03-31 12:00:00"},
        {u"2024-5-31", u"12:00:00", -3, "2024-02-29 12:00:00"},
    };
    for (const auto& c : cases) {
        time_t start = 0, out = 0;
        ASSERT_TRUE(LParseLocalDateAndTime(&start, c.date, c.time));
        ASSERT_TRUE(LAddMonths(start, &out, c.n)) << LToUtf8(c.date);
        EXPECT_EQ(Local(out), c.want) << LToUtf8(c.date) << " + " << c.n;
    }
}

TEST_F(DateTimeLocal, FileTimesAndBuildDate) {
    // 2024-02-29 12:00:00 UTC in 100 ns units since 1601.
    uint64_t ft = (1709208000ull + 11644473600ull) * 10000000ull + 1234567;
    EXPECT_EQ(LFileTimeToTime(ft), 1709208000);
    EXPECT_EQ(LFileTimeToTime(0), 0);

    time_t t = 0;
    ASSERT_TRUE(LParseCompilerDate("Feb 29 2024", &t));
    EXPECT_EQ(Local(t), "2024-02-29 00:00:00");
    ASSERT_TRUE(LParseCompilerDate("Dec  1 2025", &t));
    EXPECT_EQ(Local(t), "2025-12-01 00:00:00");
    // An unknown month is month 0: December of the year before.
    ASSERT_TRUE(LParseCompilerDate("Foo 10 2025", &t));
    EXPECT_EQ(Local(t), "2024-12-10 00:00:00");

    ASSERT_TRUE(LGetBuildDate(&t));
    EXPECT_EQ(Local(t).substr(11), "00:00:00");
    EXPECT_GE(t, 1735686000);  // built in 2025 or later
    EXPECT_LE(t, time(nullptr));
}

TEST(TimeSource, TickIsInjectableAndWrapsAt32Bits) {
    static uint64_t fake = 0;
    LSetTickFuncForTests([]() -> uint64_t { return fake; });
    fake = 0x1FFFFFFF0ull;
    EXPECT_EQ(LPerfCounterMs(), 0x1FFFFFFF0ull);
    EXPECT_EQ(LTickCount(), 0xFFFFFFF0u);
    uint32_t before = LTickCount();
    fake += 0x20;
    EXPECT_EQ(static_cast<uint32_t>(LTickCount() - before), 0x20u);
    LSetTickFuncForTests(nullptr);
    uint64_t a = LPerfCounterMs();
    EXPECT_GE(LPerfCounterMs(), a);
    EXPECT_LT(a, 0x1FFFFFFF0ull * 1000);  // the real clock again
}
