// Date-time values: parts, Unix seconds, time zones and the display pattern language.

#include "support/DateTime.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

using namespace kestrova;

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return EncodeDateTime({ y, mo, d, h, mi, s, ms });
}

// Two values that differ by less than half a millisecond.
void ExpectSameInstant(TDateTime a, TDateTime b)
{
    EXPECT_LT(std::fabs(a - b) * MillisecondsPerDay, 0.5) << FormatDateTime(
        "yyyy-MM-dd hh:nn:ss.zzz", a) << " vs " << FormatDateTime("yyyy-MM-dd hh:nn:ss.zzz", b);
}

TEST(DateTime, EncodesTheDayCountFrom1899)
{
    EXPECT_EQ(At(1899, 12, 30), 0.0);
    EXPECT_EQ(At(1970, 1, 1), UnixEpochDays);
    EXPECT_EQ(At(2023, 3, 15), 45000.0);
    EXPECT_EQ(At(1899, 12, 29, 18), -0.25); // one linear scale, also before the origin
    EXPECT_DOUBLE_EQ(At(2000, 1, 1, 6), 36526.25);
}

TEST(DateTime, PartsRoundTripAcrossLeapYearsAndTheWholeRange)
{
    const TDateTimeParts samples[] = { { 1, 1, 1, 0, 0, 0, 0 }, { 1600, 2, 29, 1, 2, 3, 4 },
        { 1899, 12, 30, 0, 0, 0, 1 }, { 1900, 3, 1, 12, 0, 0, 0 }, { 2000, 2, 29, 23, 59, 59, 999 },
        { 2024, 2, 29, 7, 5, 9, 500 }, { 9999, 12, 31, 23, 59, 59, 999 } };
    for (const auto &p : samples) {
        const TDateTimeParts q = DecodeDateTime(EncodeDateTime(p));
        EXPECT_EQ(std::tie(q.Year, q.Month, q.Day, q.Hour, q.Minute, q.Second, q.Millisecond),
            std::tie(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond))
            << p.Year << "-" << p.Month << "-" << p.Day;
    }
    TDateTime untouched = 7;
    const TDateTimeParts invalid[] = { { 1900, 2, 29 }, { 2100, 2, 29 }, { 2023, 2, 29 },
        { 2024, 4, 31 }, { 2024, 13, 1 }, { 0, 1, 1 }, { 2024, 1, 1, 24 }, { 2024, 1, 1, 0, 0, 60 },
        { 2024, 1, 1, 0, 0, 0, 1000 } };
    for (const TDateTimeParts &bad : invalid) {
        EXPECT_FALSE(TryEncodeDateTime(bad, untouched));
        EXPECT_THROW(EncodeDateTime(bad), EConvertError);
    }
    EXPECT_EQ(untouched, 7.0);
}

TEST(DateTime, DecodingRoundsToTheMillisecond)
{
    const TDateTimeParts up = DecodeDateTime(At(2024, 5, 1, 12) + 0.9996 / 86400.0);
    EXPECT_EQ(
        std::tie(up.Hour, up.Minute, up.Second, up.Millisecond), std::make_tuple(12, 0, 1, 0));
    const TDateTimeParts nextDay = DecodeDateTime(At(2024, 2, 29) + 1.0 - 1e-10);
    EXPECT_EQ(std::tie(nextDay.Month, nextDay.Day, nextDay.Hour), std::make_tuple(3, 1, 0));
    EXPECT_THROW(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), EConvertError);
    EXPECT_THROW(DecodeDateTime(std::numeric_limits<double>::infinity()), EConvertError);
    EXPECT_THROW(DecodeDateTime(1e12), EConvertError);
}

TEST(DateTime, UnixSecondsShareTheUtcScale)
{
    EXPECT_EQ(UnixToDateTime(0), UnixEpochDays);
    ExpectSameInstant(UnixToDateTime(1700000000), At(2023, 11, 14, 22, 13, 20));
    EXPECT_EQ(DateTimeToUnix(At(2023, 11, 14, 22, 13, 20)), 1700000000);
    EXPECT_EQ(DateTimeToUnix(At(2023, 11, 14, 22, 13, 20, 999)), 1700000000);
    EXPECT_EQ(DateTimeToUnix(At(1969, 12, 31, 23, 59, 59)), -1);
    EXPECT_EQ(DateTimeToUnix(At(1969, 12, 31, 23, 59, 59, 500)), -1);
    for (int64_t s : { int64_t(-86399), int64_t(1), int64_t(951782400), int64_t(4102444799) })
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(s)), s);
}

// Runs each test in New York time, restoring the previous zone afterwards.
class DateTimeNewYork : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const char *tz = std::getenv("TZ"))
            Saved = tz;
        setenv("TZ", "America/New_York", 1);
        tzset();
    }
    void TearDown() override
    {
        if (Saved)
            setenv("TZ", Saved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> Saved;
};

TEST_F(DateTimeNewYork, ConvertsWithTheRulesOfEachDate)
{
    ExpectSameInstant(UtcToLocal(At(2026, 1, 15, 12)), At(2026, 1, 15, 7));
    ExpectSameInstant(UtcToLocal(At(2026, 7, 1, 12, 0, 0, 250)), At(2026, 7, 1, 8, 0, 0, 250));
    ExpectSameInstant(LocalToUtc(At(2026, 7, 1, 8, 0, 0, 250)), At(2026, 7, 1, 12, 0, 0, 250));
    ExpectSameInstant(UtcToLocal(At(1960, 1, 1, 5)), At(1960, 1, 1));
    ExpectSameInstant(LocalToUtc(At(1960, 1, 1)), At(1960, 1, 1, 5));
    EXPECT_EQ(UtcToLocal(0), 0.0);
    EXPECT_EQ(LocalToUtc(0), 0.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(UtcToLocal(nan)));
    EXPECT_TRUE(std::isnan(LocalToUtc(nan)));
}

TEST_F(DateTimeNewYork, ClockChangesMapToNearbyInstants)
{
    // 2026-03-08: 02:00 EST becomes 03:00 EDT.
    ExpectSameInstant(UtcToLocal(At(2026, 3, 8, 6, 59, 59)), At(2026, 3, 8, 1, 59, 59));
    ExpectSameInstant(UtcToLocal(At(2026, 3, 8, 7)), At(2026, 3, 8, 3));
    ExpectSameInstant(LocalToUtc(At(2026, 3, 8, 3)), At(2026, 3, 8, 7));
    const TDateTime skipped = LocalToUtc(At(2026, 3, 8, 2, 30));
    EXPECT_TRUE(std::fabs(skipped - At(2026, 3, 8, 6, 30)) < 1e-6
        || std::fabs(skipped - At(2026, 3, 8, 7, 30)) < 1e-6)
        << FormatDateTime("hh:nn", skipped);

    // 2026-11-01: 02:00 EDT becomes 01:00 EST, so 01:30 happens twice.
    ExpectSameInstant(UtcToLocal(At(2026, 11, 1, 5, 30)), At(2026, 11, 1, 1, 30));
    ExpectSameInstant(UtcToLocal(At(2026, 11, 1, 6, 30)), At(2026, 11, 1, 1, 30));
    const TDateTime twice = LocalToUtc(At(2026, 11, 1, 1, 30));
    ExpectSameInstant(UtcToLocal(twice), At(2026, 11, 1, 1, 30));
    ExpectSameInstant(LocalToUtc(At(2026, 11, 1, 2, 30)), At(2026, 11, 1, 7, 30));
}

TEST(DateTimeFormat, PatternLettersQuotedLiteralsAndCopiedCharacters)
{
    const TDateTime t = At(2024, 2, 9, 7, 5, 3, 42);
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd hh:nn:ss", t), "2024/02/09 07:05:03");
    EXPECT_EQ(FormatDateTime("M/d/yy h:n:s", t), "2/9/24 7:5:3");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz z", t), "07:05:03.042 42");
    EXPECT_EQ(FormatDateTime("\"Invalid time format!\"", t), "Invalid time format!");
    EXPECT_EQ(FormatDateTime("'day' d \"of\" M", t), "day 9 of 2");
    EXPECT_EQ(FormatDateTime("h\xC3\xA9-", t), "7\xC3\xA9-");
    EXPECT_EQ(FormatDateTime("", t), "");
    EXPECT_EQ(FormatDateTime("yyyy", At(5, 1, 1)), "0005");
    EXPECT_EQ(
        FormatDateTime("hh:nn:ss", At(2024, 1, 1, 23, 59, 59) + 0.9996 / 86400.0), "00:00:00");
}

TEST(DateTimeFormat, RejectsWhatItCannotShow)
{
    const TDateTime t = At(2024, 2, 9, 7, 5, 3);
    for (const char *pattern : { "q", "hh:nn am/pm", "hhh", "ddd", "MMMM", "\"open", "ss'", "c" })
        EXPECT_THROW(FormatDateTime(pattern, t), EConvertError) << pattern;
    EXPECT_THROW(FormatDateTime("hh", std::numeric_limits<double>::quiet_NaN()), EConvertError);
}

} // namespace
