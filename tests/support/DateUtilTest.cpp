#include "support/DateUtil.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

DateTime Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime{static_cast<uint16_t>(y), static_cast<uint16_t>(mo), static_cast<uint16_t>(d),
                    static_cast<uint16_t>(h), static_cast<uint16_t>(mi), static_cast<uint16_t>(s)};
}

// The calendar of the C library, in UTC, as the independent reference.
DateTime Reference(int64_t secs) {
    const time_t t = static_cast<time_t>(secs);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return Make(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

void ExpectUnixRoundTrip(int32_t secs) {
    DateTime dt;
    UnixToDateTime(secs, dt);
    ASSERT_EQ(dt, Reference(secs)) << secs;
    int32_t back = -1;
    DateTimeToUnix(dt, back);
    ASSERT_EQ(back, secs);
    ASSERT_EQ(DateToUnix(dt), secs);
}

constexpr uint32_t Packed20130305 = 1113944292; // 2013-03-05 14:07:08

// Every test reads the clock as UTC, so local and Unix time agree.
class DateUtilClock : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
};

} // namespace

TEST(DateUtil, UnixDateStrValues) {
    struct Case {
        int32_t secs;
        std::string_view want;
    };
    const Case cases[] = {
        {0, "00:00 01-01-1970"},          {86399, "23:59 01-01-1970"},
        {951782400, "00:00 29-02-2000"},  {1104494400, "12:00 31-12-2004"},
        {1234567890, "23:31 13-02-2009"}, {2147483647, "03:14 19-01-2038"},
        {-1, "00:00 01-01-1970"},         {INT32_MIN, "00:00 01-01-1970"},
        {68255999, "23:59 29-02-1972"},   {68256000, "00:00 01-03-1972"},
    };
    for (const Case& c : cases) EXPECT_EQ(UnixDateStr(c.secs), c.want) << c.secs;
    EXPECT_EQ(UnixDayStr(951782400), "29-02-2000");
    EXPECT_EQ(UnixDayStr(0), "01-01-1970");
}

TEST(DateUtil, NegativeSecondsAreTheEpochWithZeroSeconds) {
    DateTime dt;
    UnixToDateTime(-59, dt);
    EXPECT_EQ(dt, Make(1970, 1, 1));
    UnixToDateTime(INT32_MIN, dt);
    EXPECT_EQ(dt, Make(1970, 1, 1));
}

TEST(DateUtil, UnixConversionsRoundTripOverTheWholeRange) {
    for (int64_t s = 0; s <= INT32_MAX; s += 9973) ExpectUnixRoundTrip(static_cast<int32_t>(s));
    const int32_t edges[] = {0,         1,          59,         60,         86399,
                             86400,     31535999,   31536000,   63071999,   63072000,
                             68255999,  68256000,   94694399,   94694400,   951868799,
                             951868800, 1104537599, 1104537600, 2147483646, 2147483647};
    for (int32_t s : edges) ExpectUnixRoundTrip(s);
}

TEST(DateUtil, DateTimeToUnixValues) {
    int32_t secs = 0;
    DateTimeToUnix(Make(1972, 3, 1), secs);
    EXPECT_EQ(secs, 68256000);
    DateTimeToUnix(Make(1973, 1, 1), secs);
    EXPECT_EQ(secs, 94694400);
    EXPECT_EQ(DateToUnix(Make(2009, 2, 13, 23, 31, 30)), 1234567890);
    EXPECT_EQ(DateToUnix(Make(1970, 1, 1)), 0);
}

TEST(DateUtil, JulianDayNumbers) {
    int32_t j = 0;
    DateToJulian(2000, 1, 1, j);
    EXPECT_EQ(j, 2451545);
    DateToJulian(1970, 1, 1, j);
    EXPECT_EQ(j, 2440588);
    uint16_t y = 0, m = 0, d = 0;
    JulianToDate(2451545, y, m, d);
    EXPECT_EQ((DateTime{y, m, d}), Make(2000, 1, 1));
    JulianToDate(2440588, y, m, d);
    EXPECT_EQ((DateTime{y, m, d}), Make(1970, 1, 1));
    EXPECT_EQ(JulianDateStr(2451545, 1), "01/01/00");
    EXPECT_EQ(JulianDateStr(2440588, 3), "70/01/01");
    EXPECT_EQ(JulianDateStr(2451604, 2), "29/02/00");
    EXPECT_EQ(JulianDateStr(2451545, 9), "");
}

TEST(DateUtil, JulianHelpersAgreeDayByDay) {
    // 1600-03-01 to 2400-03-01: full Gregorian rule, century years included.
    int32_t first = 0, last = 0;
    DateToJulian(1600, 3, 1, first);
    DateToJulian(2400, 3, 1, last);
    int32_t prev = first - 1;
    for (int32_t j = first; j <= last; ++j) {
        uint16_t y = 0, m = 0, d = 0;
        JulianToDate(j, y, m, d);
        int32_t back = 0;
        DateToJulian(y, m, d, back);
        ASSERT_EQ(back, j);
        ASSERT_EQ(back, prev + 1);
        prev = back;
        const std::string yy = std::to_string(y).substr(2, 2);
        const std::string mm = (m < 10 ? "0" : "") + std::to_string(m);
        const std::string dd = (d < 10 ? "0" : "") + std::to_string(d);
        ASSERT_EQ(JulianDateStr(j, 3), yy + "/" + mm + "/" + dd) << j;
        if (y >= 1920 && y <= 2019) {
            ASSERT_EQ(DateStrToDays(mm + "/" + dd + "/" + yy), j);
        }
    }
    uint16_t y = 0, m = 0, d = 0;
    JulianToDate(last, y, m, d);
    EXPECT_EQ((DateTime{y, m, d}), Make(2400, 3, 1));
}

TEST(DateUtil, DateStrToDaysTwoDigitYears) {
    int32_t j = 0;
    EXPECT_EQ(DateStrToDays("01/01/00"), 2451545);
    DateToJulian(2019, 6, 1, j);
    EXPECT_EQ(DateStrToDays("06/01/19"), j);
    DateToJulian(1920, 6, 1, j);
    EXPECT_EQ(DateStrToDays("06/01/20"), j);
    // Text that is not a number reads as 0, like the zeros of "00/00/00".
    EXPECT_EQ(DateStrToDays("xx/yy/zz"), DateStrToDays("00/00/00"));
}

TEST(DateUtil, DosPackedValues) {
    EXPECT_EQ(UnpackDosTime(Packed20130305), Make(2013, 3, 5, 14, 7, 8));
    EXPECT_EQ(DosDateStr(Packed20130305, 1), "03/05/13");
    EXPECT_EQ(DosDateStr(Packed20130305, 2), "05/03/13");
    EXPECT_EQ(DosDateStr(Packed20130305, 3), "13/03/05");
    EXPECT_EQ(DosDateStr(Packed20130305, 0), "");
    EXPECT_EQ(DosTimeStrEx(Packed20130305, 0), "14:07");
    EXPECT_EQ(DosTimeStrEx(Packed20130305, 1), "02:07p");
    EXPECT_EQ(DosTimeStrEx(Packed20130305, 2), "14:07:08");
    EXPECT_EQ(DosTimeStrEx(Packed20130305, 3), "");
    EXPECT_EQ(DateStrToDos("03/05/13"), 1113915392u);
    EXPECT_EQ(DateStrToDos("03/05/13"), 0x42650000u);
    EXPECT_EQ(DosToUnix(Packed20130305), DateToUnix(Make(2013, 3, 5, 14, 7, 8)));
    EXPECT_EQ(DosToUnix(0x00210000), 315532800); // 1980-01-01 00:00:00
}

TEST(DateUtil, DateStrToDosYearPivot) {
    EXPECT_EQ(UnpackDosTime(DateStrToDos("01/02/79")), Make(2079, 1, 2));
    EXPECT_EQ(UnpackDosTime(DateStrToDos("01/02/80")), Make(1980, 1, 2));
    EXPECT_EQ(UnpackDosTime(DateStrToDos("12/31/99")), Make(1999, 12, 31));
}

TEST(DateUtil, DateStrToDosNeverSpillsIntoOtherFields) {
    // Month 99 and day 99 are masked to their widths, the year stays 2013.
    EXPECT_EQ(UnpackDosTime(DateStrToDos("99/99/13")).Year, 2013);
    EXPECT_EQ(UnpackDosTime(DateStrToDos("99/99/13")).Hour, 0);
}

TEST(DateUtil, TwelveHourTimes) {
    struct Case {
        int h, m;
        std::string_view twelve, plain;
    };
    const Case cases[] = {
        {0, 15, "12:15a", "00:15"},  {1, 0, "01:00a", "01:00"},  {11, 59, "11:59a", "11:59"},
        {12, 30, "12:30p", "12:30"}, {13, 5, "01:05p", "13:05"}, {23, 59, "11:59p", "23:59"},
    };
    for (const Case& c : cases) {
        const uint32_t p =
            (33u << 25) | (3u << 21) | (5u << 16) | (uint32_t(c.h) << 11) | (uint32_t(c.m) << 5);
        EXPECT_EQ(DosTimeStr(p, true), c.twelve);
        EXPECT_EQ(DosTimeStr(p, false), c.plain);
    }
}

TEST(DateUtil, DosWeekDayCountsFromSunday) {
    struct Case {
        std::string_view date; // MM/DD/YY, years below 80 in 20YY
        uint8_t want;
    };
    const Case cases[] = {
        {"03/05/13", 2}, // Tuesday
        {"01/01/80", 2}, // Tuesday
        {"01/01/00", 6}, // Saturday
        {"03/01/00", 3}, // Wednesday
        {"06/02/24", 0}, // Sunday
        {"12/31/79", 0}, // Sunday, 2079
    };
    for (const Case& c : cases) EXPECT_EQ(DosWeekDay(DateStrToDos(std::string(c.date))), c.want);
    // The day-count formula of the unit numbers the days alike from March 2000
    // to February 2100.
    for (int32_t j = 2451605; j <= 2451605 + 3000; ++j) {
        uint16_t y = 0, m = 0, d = 0;
        JulianToDate(j, y, m, d);
        const uint32_t p = (uint32_t(y - 1980) << 25) | (uint32_t(m) << 21) | (uint32_t(d) << 16);
        long n = 365L * y + d + 31L * (m - 1);
        if (m >= 3)
            n = n - long(0.4 * m + 2.3) + y / 4 - long(0.75 * (y / 100) + 1);
        else
            n = n + (y - 1) / 4 - long(0.75 * ((y - 1) / 100) + 1);
        ASSERT_EQ(DosWeekDay(p), n % 7) << j;
    }
}

TEST(DateUtil, ZeroPadding) {
    EXPECT_EQ(ZeroPad2(7), "07");
    EXPECT_EQ(ZeroPad2(42), "42");
    EXPECT_EQ(ZeroPad2(123), "12");
    EXPECT_EQ(ZeroPadN(5, 2), "05");
    EXPECT_EQ(ZeroPadN(2013, 4), "2013");
    EXPECT_EQ(ZeroPadN(5, 4), "0  5");
    EXPECT_EQ(ZeroPadN(12345, 2), "12345");
    EXPECT_EQ(ZeroPadN(7, 20), "0         ");
}

TEST(DateUtil, ValidMonthDay) {
    struct Case {
        std::string_view s;
        bool want;
    };
    const Case cases[] = {
        {"01/01", true},  {"12/31", true},  {"00/10", false}, {"13/10", false}, {"02/00", false},
        {"02/32", false}, {"ab/cd", false}, {"", false},      {"$C/1F", false}, {"$C/$1", true},
    };
    for (const Case& c : cases) EXPECT_EQ(ValidMonthDay(std::string(c.s)), c.want) << c.s;
}

TEST(DateUtil, FormatDateMask) {
    const DateTime dt = Make(2013, 3, 5, 14, 7, 9);
    EXPECT_EQ(FormatDateMask(dt, "DD NNN YYYY, HH:II:SS"), "05 Mar 2013, 14:07:09");
    EXPECT_EQ(FormatDateMask(dt, "yy-mm-dd"), "13-03-05");
    EXPECT_EQ(FormatDateMask(dt, "Address"), "A05re09");
    EXPECT_EQ(FormatDateMask(dt, "Mississippi"), "Mi09i09ippi"); // case is ignored
    // Every month by its three-letter name.
    const std::string names = "JanFebMarAprMayJunJulAugSepOctNovDec";
    for (int m = 1; m <= 12; ++m)
        EXPECT_EQ(FormatDateMask(Make(2013, m, 5), "NNN"), names.substr(3 * (m - 1), 3)) << m;
}

TEST(DateUtil, DurationTexts) {
    EXPECT_EQ(SecsToDHMS(93784), "1d 2h 3m 4s");
    EXPECT_EQ(SecsToDHMS(5), "0d 0h 0m 5s");
    EXPECT_EQ(SecsToHM(3725), "01:02");
    EXPECT_EQ(SecsToHM(360000), "10:00");
    EXPECT_EQ(SecsToHMStr(3725), "01:02");
    EXPECT_EQ(SecsToHMStr(360000), "10:00");
    EXPECT_EQ(SecsToHMS(3725), "01:02:05");
    EXPECT_EQ(MinsToHM(125), "02:05");
    EXPECT_EQ(StrToIntVal("$10"), 16);
    EXPECT_EQ(StrToIntVal("10 "), 0);
}

TEST(DateUtil, TimerElapsedAcrossTheHour) {
    // Deadline set at 59:30.00 for two minutes ahead.
    const int32_t deadline = 59 * 6000 + 30 * 100 + 12000;
    struct Case {
        int32_t now;
        bool want;
    };
    const Case cases[] = {
        {59 * 6000 + 30 * 100, false},
        {359999, false},
        {0, false},
        {1000, false},
        {8999, false},
        {9000, true},
        {20000, true},
    };
    for (const Case& c : cases) EXPECT_EQ(TimerElapsedAt(deadline, c.now), c.want) << c.now;
    // Within the hour.
    EXPECT_FALSE(TimerElapsedAt(1000, 999));
    EXPECT_TRUE(TimerElapsedAt(1000, 1000));
    EXPECT_TRUE(TimerElapsedAt(1000, 5000));
    EXPECT_TRUE(TimerElapsedAt(0, 359999));
}

TEST(DateUtil, TimerReadsTheClock) {
    const int32_t now = HourHundredths();
    EXPECT_GE(now, 0);
    EXPECT_LT(now, 360000);
    EXPECT_TRUE(TimerElapsed(TimerHundredths(0) - 1));
    EXPECT_FALSE(TimerElapsed(TimerHundredths(720000)));
}

TEST_F(DateUtilClock, ClockHelpersReadLocalTime) {
    // The helpers read CLOCK_REALTIME; time() may come from a coarser clock
    // that lags it by a tick (seen on 32-bit x86), so bracket with the same one.
    const auto realSecs = [] {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return ts.tv_sec;
    };
    const time_t before = realSecs();
    DateTime now;
    NowDateTime(now);
    const uint32_t dos = NowDosTime();
    const int32_t today = TodayJulian();
    const int32_t secsOfDay = SecsOfDay();
    const time_t after = realSecs();

    int32_t secs = 0;
    DateTimeToUnix(now, secs);
    EXPECT_GE(secs, before);
    EXPECT_LE(secs, after);
    EXPECT_GE(DosToUnix(dos), before - 1); // DOS seconds are even
    EXPECT_LE(DosToUnix(dos), after);
    int32_t j0 = 0, j1 = 0;
    const DateTime d0 = Reference(before), d1 = Reference(after);
    DateToJulian(d0.Year, d0.Month, d0.Day, j0);
    DateToJulian(d1.Year, d1.Month, d1.Day, j1);
    EXPECT_GE(today, j0);
    EXPECT_LE(today, j1);
    if (before % 86400 <= after % 86400) {
        EXPECT_GE(secsOfDay, before % 86400);
        EXPECT_LE(secsOfDay, after % 86400);
    }
    const int32_t mins = MinsOfDay();
    EXPECT_GE(mins, 0);
    EXPECT_LT(mins, 1440);

    const int32_t ago = DaysAgo(today - 5, 1);
    const int32_t later = TodayJulian();
    EXPECT_GE(ago, 5);
    EXPECT_LE(ago, 5 + (later - today));
    const int32_t agoDos = DaysAgo(static_cast<int32_t>(DateStrToDos("01/01/00")), 2);
    EXPECT_GE(agoDos, today - 2451545);
    EXPECT_LE(agoDos, TodayJulian() - 2451545);
    EXPECT_EQ(DaysAgo(0, 7), 0);
}
