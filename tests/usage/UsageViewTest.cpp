// What the usage window is given beside the database: the running session's
// unwritten hours in the right day, cycle and month, and the link's up and
// down moments from the sessions' records and the running session.
#include "usage/UsageView.h"

#include "UsageFixture.h"
#include "usage/UsageMeter.h"

#include <gtest/gtest.h>

#include <limits>


using namespace kvusage;
using kvtest::Local;

namespace {

UsageRow Hour(int64_t start, uint64_t rx, uint64_t tx, uint64_t seconds = 60)
{
    return UsageRow{start, start + 3600, rx, tx, seconds};
}

// A view of the cycle starting on the 15th, as the store gives it: one day
// written in each cycle.
UsageViewData CycleView()
{
    UsageViewData v;
    v.thisCycle = CycleContaining(Local(2025, 3, 20, 12), 15);
    v.lastCycle = PreviousCycle(Local(2025, 3, 20, 12), 15);
    v.thisCycleDays = {UsageRow{Local(2025, 3, 16), Local(2025, 3, 17), 1000, 10, 600}};
    v.thisCycleSum = v.thisCycleDays[0];
    v.months = {UsageRow{Local(2025, 2, 1), Local(2025, 3, 1), 5, 5, 5},
                UsageRow{Local(2025, 3, 1), Local(2025, 4, 1), 1000, 10, 600}};
    return v;
}

kvtraffic::TrafficRecord Session(int64_t end, uint32_t seconds)
{
    kvtraffic::TrafficRecord r;
    r.time = end;
    r.duration = seconds * 1000;
    r.bytesReceived = 1;
    return r;
}

class UsageViewDb : public kvtest::UsageDbTest {};

} // namespace

TEST(UsageView, UnwrittenHoursJoinTheirDayCycleAndMonth)
{
    kvtest::ScopedZone zone("Europe/Berlin");
    UsageViewData v = CycleView();
    AddUnbooked(v, {Hour(Local(2025, 3, 16, 9), 500, 5),    // a day already written
                    Hour(Local(2025, 3, 20, 11), 2000, 20), // today, nothing written yet
                    Hour(Local(2025, 3, 14, 23), 7, 7)});   // before the cycle day: last cycle
    EXPECT_EQ(v.thisCycleSum.rx, 3500u);
    EXPECT_EQ(v.thisCycleSum.tx, 35u);
    EXPECT_EQ(v.thisCycleSum.seconds, 720u);
    ASSERT_EQ(v.thisCycleDays.size(), 2u);
    EXPECT_EQ(v.thisCycleDays[0].rx, 1500u);
    EXPECT_EQ(v.thisCycleDays[1].start, Local(2025, 3, 20));
    EXPECT_EQ(v.thisCycleDays[1].end, Local(2025, 3, 21));
    EXPECT_EQ(v.thisCycleDays[1].rx, 2000u);
    EXPECT_EQ(v.lastCycleSum.rx, 7u);
    ASSERT_EQ(v.lastCycleDays.size(), 1u);
    EXPECT_EQ(v.lastCycleDays[0].start, Local(2025, 3, 14));
    ASSERT_EQ(v.months.size(), 2u);
    EXPECT_EQ(v.months[1].rx, 3507u);
    EXPECT_EQ(v.months[0].rx, 5u);
}

TEST(UsageView, AnHourOfANewMonthMakesItsMonthRow)
{
    kvtest::ScopedZone zone("America/New_York");
    UsageViewData v = CycleView();
    v.thisCycle = CycleContaining(Local(2025, 4, 1, 0, 30), 1);
    AddUnbooked(v, {Hour(Local(2025, 4, 1, 0), 42, 1)});
    ASSERT_EQ(v.months.size(), 3u);
    EXPECT_EQ(v.months[2].start, Local(2025, 4, 1));
    EXPECT_EQ(v.months[2].end, Local(2025, 5, 1));
    EXPECT_EQ(v.months[2].rx, 42u);
    EXPECT_EQ(v.thisCycleSum.rx, 1042u);
}

TEST(UsageView, LinkMomentsComeFromTheSessionsAndTheRunningOne)
{
    const int64_t now = 1'800'000'000;
    const Span span = SignalSpan(now);
    const std::vector<kvtraffic::TrafficRecord> sessions = {
        Session(now - 90000, 600),     // ended before the day shown
        Session(now - 86000, 3600),    // came up before it, went down inside
        Session(now - 7200, 1800),     // wholly inside
    };
    const std::vector<LinkMoment> m = LinkMoments(sessions, span, now - 300);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].t, now - 86000);
    EXPECT_FALSE(m[0].up);
    EXPECT_EQ(m[1].t, now - 9000);
    EXPECT_TRUE(m[1].up);
    EXPECT_EQ(m[2].t, now - 7200);
    EXPECT_FALSE(m[2].up);
    EXPECT_EQ(m[3].t, now - 300);
    EXPECT_TRUE(m[3].up);
    EXPECT_TRUE(LinkMoments({}, span, 0).empty());
}

TEST_F(UsageViewDb, LinkMomentsAreReadFromTheSessionsFile)
{
    const int64_t now = 1'800'000'000;
    const std::string path = m_settings.Path("PktFF.dat");
    // Two sessions and a torn tail from a crash, which counts nothing.
    kvtest::WriteFileBytes(path, kvtest::RecordBytes(now - 5000, 100000, 1, 1)
                                     + kvtest::RecordBytes(now - 1000, 200000, 1, 1) + std::string(7, '\x7f'));
    std::vector<LinkMoment> m;
    ASSERT_TRUE(LoadLinkMoments(path, SignalSpan(now), 0, m));
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].t, now - 5100);
    EXPECT_EQ(m[3].t, now - 1000);
    EXPECT_FALSE(LoadLinkMoments(m_settings.Path("absent.dat"), SignalSpan(now), now - 10, m));
    ASSERT_EQ(m.size(), 1u) << "the running session is still marked";
}

TEST_F(UsageViewDb, TheMeterHandsOverWhatItHasNotWrittenAndWhenTheSessionCameUp)
{
    int64_t now = Local(2025, 3, 20, 10);
    CUsageMeter meter(m_db, [] { return UsageSettings{}; }, [&] { return now; });
    EXPECT_TRUE(meter.Unbooked().empty());
    EXPECT_EQ(meter.SessionSince(), 0);
    meter.CountersCleared();
    meter.Counters(4000, 40, 30000);
    ASSERT_EQ(meter.Unbooked().size(), 1u);
    EXPECT_EQ(meter.Unbooked()[0].rx, 4000u);
    EXPECT_EQ(meter.SessionSince(), now - 30);
    now += 70; // the first write
    meter.Counters(5000, 50, 100000);
    EXPECT_TRUE(meter.Unbooked().empty());
    EXPECT_EQ(meter.SessionSince(), now - 70 - 30) << "the session's start does not move";
    meter.SessionEnded();
    EXPECT_EQ(meter.SessionSince(), 0);
}

TEST(UsageView, ADamagedRecordMarksNothing)
{
    kvtraffic::TrafficRecord bad = Session(0, 0);
    bad.time = std::numeric_limits<int64_t>::min(); // would overflow with its duration
    bad.duration = 4'000'000'000u;
    EXPECT_TRUE(LinkMoments({bad}, Span{std::numeric_limits<int64_t>::min(), 0}, 0).empty());
    uint8_t rec[kvtraffic::kTrafficRecordSize];
    kvtraffic::EncodeTrafficRecord(bad, rec);
    std::vector<kvtraffic::TrafficRecord> out;
    kvtraffic::CollectTrafficSessions(rec, 1, std::numeric_limits<int64_t>::min(), 0, out);
    EXPECT_TRUE(out.empty());
}
