// Billing cycles and local days, in zones whose daylight-saving change falls
// at midnight, and the cycle day as the user types it.
#include "usage/BillingCycle.h"

#include "traffic/TrafficStats.h"
#include "UsageFixture.h"

#include <gtest/gtest.h>

using namespace kvusage;
using kvtest::Local;
using kvtest::ScopedZone;
using kvtest::Utc;

TEST(CycleDay, AcceptsOneToTwentyEightAndRefusesTheRestWithAReason)
{
    int day = 0;
    EXPECT_TRUE(ParseCycleDay("1", day));
    EXPECT_EQ(day, 1);
    EXPECT_TRUE(ParseCycleDay(" 28 ", day));
    EXPECT_EQ(day, 28);
    for (const char* bad : {"29", "30", "31"}) {
        std::string why;
        EXPECT_FALSE(ParseCycleDay(bad, day, &why)) << bad;
        EXPECT_NE(why.find("not every month"), std::string::npos) << why;
        EXPECT_NE(why.find("1 to 28"), std::string::npos) << why;
    }
    for (const char* bad : {"", "0", "-1", "32", "1x", "+3", "99999", "2 8"}) {
        std::string why;
        EXPECT_FALSE(ParseCycleDay(bad, day, &why)) << bad;
        EXPECT_FALSE(why.empty());
    }
    EXPECT_EQ(day, 28); // refusals leave the value alone
    EXPECT_EQ(SaneCycleDay(31), kCycleDayDefault);
    EXPECT_EQ(SaneCycleDay(0), kCycleDayDefault);
}

TEST(LocalDays, ADayThatLosesItsMidnightStartsAtOneInTheMorning)
{
    // Santiago: on 2024-09-08 the clock goes from 23:59:59 (-04) to 01:00 (-03).
    ScopedZone zone("America/Santiago");
    const int64_t start = LocalDateStart(2024, 9, 8);
    EXPECT_EQ(start, Utc(2024, 9, 8, 4));
    EXPECT_EQ(LocalDateText(start), "2024-09-08");
    EXPECT_EQ(LocalDateText(start - 1), "2024-09-07");
    EXPECT_EQ(NextLocalDayStart(start) - start, 23 * 3600);
    EXPECT_EQ(LocalDayStart(start + 5 * 3600), start);
    // And on 2024-04-07 the hour before midnight comes twice: the 6th has 25 hours.
    const int64_t sat = LocalDateStart(2024, 4, 6);
    EXPECT_EQ(NextLocalDayStart(sat) - sat, 25 * 3600);
    EXPECT_EQ(NextLocalDayStart(sat), Utc(2024, 4, 7, 4));
}

TEST(LocalDays, HavanaSpringChangeAtMidnight)
{
    ScopedZone zone("America/Havana");
    const int64_t start = LocalDateStart(2024, 3, 10);
    EXPECT_EQ(start, Utc(2024, 3, 10, 5)); // 01:00 CDT
    EXPECT_EQ(LocalDayStart(start - 1), LocalDateStart(2024, 3, 9));
    EXPECT_EQ(LocalMonthStart(start), LocalDateStart(2024, 3, 1));
    EXPECT_EQ(NextLocalMonthStart(LocalDateStart(2024, 12, 1)), LocalDateStart(2025, 1, 1));
}

TEST(Cycles, EdgesFallOnTheFirstSecondOfTheCycleDay)
{
    ScopedZone zone("America/Santiago");
    // Cycle day 8: the cycle begins on the day that has no midnight.
    const Span s = CycleContaining(Local(2024, 9, 8, 2), 8);
    EXPECT_EQ(s.start, Utc(2024, 9, 8, 4));
    EXPECT_EQ(s.end, LocalDateStart(2024, 10, 8));
    // The last second before it belongs to the previous cycle.
    const Span before = CycleContaining(s.start - 1, 8);
    EXPECT_EQ(before.end, s.start);
    EXPECT_EQ(before.start, LocalDateStart(2024, 8, 8));
    EXPECT_EQ(PreviousCycle(s.start, 8).start, before.start);
    EXPECT_TRUE(s.Holds(s.start));
    EXPECT_FALSE(s.Holds(s.end));
}

TEST(Cycles, DayOneIsTheCalendarMonthOfTheTrafficPages)
{
    for (const char* tz : {"America/Santiago", "America/Havana", "Europe/Berlin", "Asia/Kolkata"}) {
        ScopedZone zone(tz);
        for (int64_t now : {Local(2024, 9, 8, 12), Local(2024, 3, 1, 0, 0, 0), Local(2024, 2, 29, 23, 59, 59)}) {
            const Span c = CycleContaining(now, 1);
            EXPECT_EQ(c.start, kvtraffic::CurrentMonthWindow(now).start) << tz << " " << now;
            const Span p = PreviousCycle(now, 1);
            const kvtraffic::MonthWindow pm = kvtraffic::PreviousMonthWindow(now);
            EXPECT_EQ(p.start, pm.start) << tz;
            EXPECT_EQ(p.end - 1, pm.end) << tz; // theirs ends inclusive
        }
    }
}

TEST(Cycles, DayTwentyEightInFebruaryAndAroundTheYear)
{
    ScopedZone zone("Europe/Berlin");
    Span s = CycleContaining(Local(2025, 2, 27, 12), 28);
    EXPECT_EQ(s.start, Local(2025, 1, 28));
    EXPECT_EQ(s.end, Local(2025, 2, 28));
    s = CycleContaining(Local(2025, 2, 28), 28);
    EXPECT_EQ(s.start, Local(2025, 2, 28));
    EXPECT_EQ(s.end, Local(2025, 3, 28));
    // A leap day lies in the cycle that began on the 28th.
    s = CycleContaining(Local(2024, 2, 29, 8), 28);
    EXPECT_EQ(s.start, Local(2024, 2, 28));
    // January's early days belong to December's cycle of the year before.
    s = CycleContaining(Local(2025, 1, 3), 15);
    EXPECT_EQ(s.start, Local(2024, 12, 15));
    EXPECT_EQ(s.end, Local(2025, 1, 15));
    EXPECT_EQ(PreviousCycle(Local(2025, 1, 3), 15).start, Local(2024, 11, 15));
}

TEST(Dates, TypedDatesAreRealCalendarDays)
{
    ScopedZone zone("America/Santiago");
    int64_t t = 0;
    ASSERT_TRUE(ParseLocalDate("2024-09-08", t));
    EXPECT_EQ(t, Utc(2024, 9, 8, 4));
    EXPECT_TRUE(ParseLocalDate("2024-02-29", t));
    for (const char* bad : {"2023-02-29", "2024-13-01", "2024-00-10", "2024-1-01", "24-01-01", "2024/01/01", "",
                            "1969-12-31", "2024-01-32", "2024-01-0x"})
        EXPECT_FALSE(ParseLocalDate(bad, t)) << bad;
}
