// The month windows in local time and the month sums at their edges:
// the turn of the year, summer time, and a zone whose clocks jump at the
// very midnight that starts a month.
#include "TrafficFixture.h"

#include "traffic/TrafficStats.h"

using namespace kvtraffic;
using kvtest::Local;
using kvtest::RecordBytes;

namespace {
class TrafficMonths : public kvtest::TrafficTest {};
} // namespace

TEST_F(TrafficMonths, DecemberIsThePreviousMonthOfJanuaryAndTheEdgesCountOnTheirSide)
{
    kvtest::ScopedTimeZone tz("UTC0");
    const int64_t now = Local(2025, 1, 10, 12, 0, 0);
    const MonthWindow cur = CurrentMonthWindow(now);
    const MonthWindow prev = PreviousMonthWindow(now);
    EXPECT_EQ(cur.start, Local(2025, 1, 1));
    EXPECT_EQ(cur.end, now);
    EXPECT_EQ(prev.start, Local(2024, 12, 1));
    EXPECT_EQ(prev.end, Local(2024, 12, 31, 23, 59, 59));

    std::string file;
    file += RecordBytes(Local(2024, 11, 30, 23, 59, 59), 1, 1, 1);       // November: neither
    file += RecordBytes(Local(2024, 12, 1, 0, 0, 0), 1, 10, 100);         // first second of December
    file += RecordBytes(Local(2024, 12, 31, 23, 59, 59), 1, 20, 200);     // last second of December
    file += RecordBytes(Local(2025, 1, 1, 0, 0, 0), 1, 30, 300);          // first second of January
    file += RecordBytes(Local(2025, 3, 1), 1, 40, 400);                   // in the future: still counted
    WriteTraffic("PktFF.dat", file);

    const MonthTraffic c = CurrentMonthTraffic(now);
    EXPECT_EQ(c.download, 700);
    EXPECT_EQ(c.upload, 70);
    EXPECT_EQ(c.Total(), 770);
    const MonthTraffic p = PreviousMonthTraffic(now);
    EXPECT_EQ(p.download, 300);
    EXPECT_EQ(p.upload, 30);
    EXPECT_EQ(p.window.start, prev.start);

    // The one-pass overview agrees with the single sums.
    const TrafficOverview o = ReadTrafficOverview(now);
    EXPECT_EQ(o.current.download, c.download);
    EXPECT_EQ(o.current.upload, c.upload);
    EXPECT_EQ(o.previous.download, p.download);
    EXPECT_EQ(o.previous.upload, p.upload);
    EXPECT_EQ(o.totalReceived, 1001);
    EXPECT_EQ(o.totalSent, 101);
}

TEST_F(TrafficMonths, WindowsFollowTheLocalZoneAcrossSummerTime)
{
    // Central Europe: summer time began on 31 March 2024 at 02:00.
    kvtest::ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const int64_t now = Local(2024, 4, 15, 12, 0, 0);
    const MonthWindow cur = CurrentMonthWindow(now);
    const MonthWindow prev = PreviousMonthWindow(now);
    EXPECT_EQ(cur.start, 1711922400);  // 2024-03-31 22:00:00 UTC = 1 April 00:00 CEST
    EXPECT_EQ(prev.start, 1709247600); // 2024-02-29 23:00:00 UTC = 1 March 00:00 CET
    EXPECT_EQ(prev.end, 1711922399);
    // March had an hour less: 31 days less one hour.
    EXPECT_EQ(prev.end + 1 - prev.start, 31 * 86400 - 3600);

    // In winter the previous month of November is October, whose end lies
    // after the change back.
    const MonthWindow oct = PreviousMonthWindow(Local(2024, 11, 2, 8));
    EXPECT_EQ(oct.start, 1727733600);  // 2024-09-30 22:00:00 UTC
    EXPECT_EQ(oct.end, 1730415599);    // 2024-10-31 22:59:59 UTC
    EXPECT_EQ(oct.end + 1 - oct.start, 31 * 86400 + 3600);

    WriteTraffic("PktFF.dat", RecordBytes(1711922399, 1, 1, 10) + RecordBytes(1711922400, 1, 2, 20));
    EXPECT_EQ(PreviousMonthTraffic(now).download, 10);
    EXPECT_EQ(CurrentMonthTraffic(now).download, 20);
}

TEST_F(TrafficMonths, AMonthWhoseMidnightDoesNotExistStartsWhenItsClocksJump)
{
    // Clocks go from 00:00 to 01:00 on 1 April (day 91 of the year) in this
    // zone, three hours west of UTC: that midnight never happens.
    kvtest::ScopedTimeZone tz("AAA3BBB,J91/0,J305/0");
    const int64_t jump = 1711940400; // 2024-04-01 03:00:00 UTC
    const int64_t now = jump + 10 * 86400;
    EXPECT_EQ(CurrentMonthWindow(now).start, jump);
    EXPECT_EQ(PreviousMonthWindow(now).end, jump - 1);
    WriteTraffic("PktFF.dat", RecordBytes(jump - 1, 1, 1, 10) + RecordBytes(jump, 1, 2, 20));
    EXPECT_EQ(PreviousMonthTraffic(now).download, 10);
    EXPECT_EQ(CurrentMonthTraffic(now).download, 20);
}
