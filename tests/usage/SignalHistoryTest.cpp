// The signal history: one row a minute with the minute's levels, levels the
// receiver did not report left out, and one row per minute in the table.
#include "usage/SignalHistory.h"
#include "usage/SignalTrace.h"

#include "UsageFixture.h"

#include <gtest/gtest.h>

using namespace kvusage;
using kvtest::UsageDbTest;

TEST(SignalMinute, MinMaxMeanOverTheLevelsThatWereThere)
{
    CSignalMinute m;
    m.Start(600);
    m.Add({-80, 99, 2, 0});
    m.Add({-90, -70, 4, 1});
    m.Add({255, -75, 4, 0}); // blank 1x
    m.Add({-151, 5, 4, 0});  // out of range: no level
    const SignalRow r = m.Row();
    EXPECT_EQ(r.minute, 600);
    EXPECT_EQ(r.samples, 4);
    EXPECT_EQ(r.oneXMin, -90);
    EXPECT_EQ(r.oneXMax, -80);
    ASSERT_TRUE(r.oneXMean);
    EXPECT_DOUBLE_EQ(*r.oneXMean, -85.0);
    EXPECT_EQ(r.evdoMin, -75);
    EXPECT_EQ(r.evdoMax, -70);
    EXPECT_DOUBLE_EQ(*r.evdoMean, -72.5);
    EXPECT_EQ(r.sysMode, 4);
    EXPECT_EQ(r.roaming, 1);
    CSignalMinute none;
    none.Start(0);
    none.Add({99, 99, 0, 0});
    EXPECT_FALSE(none.Row().oneXMin);
    EXPECT_FALSE(none.Row().evdoMean);
}

TEST_F(UsageDbTest, OneRowPerMinuteThePollRan)
{
    const int64_t base = 1'750'000'020; // a minute's first second
    int64_t now = base + 20;
    {
        CSignalHistory h(m_db, [&] { return now; });
        for (int i = 0; i < 80; ++i) { // polls every 2 s for 160 s: three minutes touched
            h.Add({-70 - (i % 5), -60, 4, 0});
            now += 2;
        }
        EXPECT_EQ(h.Written(), 2); // the minute under way is not written yet
    }
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    std::vector<SignalRow> rows;
    ASSERT_TRUE(store.Signal(0, now + 60, rows));
    ASSERT_EQ(rows.size(), 3u); // the destructor wrote the last
    EXPECT_EQ(rows[0].minute, base);
    EXPECT_EQ(rows[0].samples, 20);
    EXPECT_EQ(rows[1].samples, 30);
    EXPECT_EQ(rows[2].samples, 30);
    EXPECT_EQ(rows[1].minute - rows[0].minute, 60);
    EXPECT_EQ(rows[1].oneXMin, -74);
    EXPECT_EQ(rows[1].oneXMax, -70);
}

TEST(SignalTrace, KeepsTheLastFiveMinutesEvenAfterTheClockGoesBack)
{
    CSignalTrace trace(300);
    for (int64_t t = 1000; t <= 1600; t += 2)
        trace.Add(t, {-80, -70, 4, 0});
    auto points = trace.Points();
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points.front().t, 1300);
    EXPECT_EQ(points.back().t, 1600);
    trace.Add(900, {-81, -71, 4, 0}); // the clock was set back
    points = trace.Points();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].s.oneXDbm, -81);
}
