// The live meter: a session's bytes land in the hour they were counted, the
// quota warnings come once per cycle (also across a restart), the hang-up is
// asked for once, and the next dial in the cycle needs a yes.
#include "usage/UsageMeter.h"
#include "usage/QuotaEvent.h"

#include "UsageFixture.h"

#include <gtest/gtest.h>

using namespace kvusage;
using kvtest::Local;

namespace {

constexpr uint32_t kMb = 1048576;

class MeterTest : public kvtest::UsageDbTest {
protected:
    std::unique_ptr<CUsageMeter> Make()
    {
        return std::make_unique<CUsageMeter>(
            m_db, [this] { return m_plan; }, [this] { return m_now; },
            [this](const std::string& t) { m_notices.push_back(t); });
    }
    UsageSettings m_plan;
    int64_t m_now = Local(2025, 3, 31, 23, 58);
    std::vector<std::string> m_notices;
};

} // namespace

TEST_F(MeterTest, ASessionAcrossMidnightIsSplitWhereTheBytesWereCounted)
{
    auto meter = Make();
    meter->CountersCleared();
    meter->Counters(1000, 100, 60000);
    m_now += 60;
    meter->Counters(3000, 300, 120000); // 23:59: +2000
    m_now += 120;                       // 00:01 on April 1st
    meter->Counters(10000, 400, 240000);
    meter->SessionEnded();
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    std::vector<UsageRow> days;
    ASSERT_TRUE(store.Daily(Local(2025, 3, 1), Local(2025, 5, 1), days));
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].rx, 3000u);
    EXPECT_EQ(days[0].tx, 300u);
    EXPECT_EQ(days[0].seconds, 120u);
    EXPECT_EQ(days[1].rx, 7000u);
    EXPECT_EQ(days[1].tx, 100u);
    EXPECT_EQ(days[1].seconds, 120u);
}

TEST_F(MeterTest, ResetAndOutsideClearingCountFromZeroAgain)
{
    auto meter = Make();
    meter->Counters(5000, 50, 1000);
    meter->CountersCleared(); // a traffic reset
    meter->Counters(200, 2, 2000);
    meter->Counters(100, 1, 3000); // cleared by someone else: 100 new bytes
    meter->SessionEnded();
    EXPECT_EQ(meter->CycleUsage().rx, 5300u);
    EXPECT_EQ(meter->CycleUsage().tx, 53u);
}

TEST_F(MeterTest, WarningsComeOncePerCycleAtEachPercentage)
{
    m_plan.kind = QuotaKind::Download;
    m_plan.quotaMb = 10;
    m_now = Local(2025, 3, 10, 12);
    auto meter = Make();
    meter->Counters(7 * kMb, 50 * kMb, 0); // uploads do not count for a download quota
    EXPECT_TRUE(m_notices.empty());
    meter->Counters(8 * kMb, 50 * kMb, 0);
    ASSERT_EQ(m_notices.size(), 1u);
    EXPECT_NE(m_notices[0].find("80 %"), std::string::npos) << m_notices[0];
    EXPECT_NE(m_notices[0].find("download"), std::string::npos);
    meter->Counters(9 * kMb, 50 * kMb, 0);
    EXPECT_EQ(m_notices.size(), 1u);
    meter->SessionEnded();
    // A restart in the same cycle does not repeat the 80 % notice.
    meter = Make();
    meter->CountersCleared();
    meter->Counters(kMb / 2, 0, 0);
    EXPECT_EQ(m_notices.size(), 1u);
    meter->Counters(kMb, 0, 0);
    ASSERT_EQ(m_notices.size(), 2u);
    EXPECT_NE(m_notices[1].find("100 %"), std::string::npos) << m_notices[1];
    EXPECT_EQ(m_notices[1].find("hung up"), std::string::npos); // hang-up is off by default
    meter->SessionEnded();
    // The next cycle starts quiet and warns again.
    m_now = Local(2025, 4, 1, 8);
    meter->CountersCleared();
    meter->Counters(9 * kMb, 0, 0);
    ASSERT_EQ(m_notices.size(), 3u);
    EXPECT_NE(m_notices[2].find("80 %"), std::string::npos);
}

TEST_F(MeterTest, ASessionBeyondEveryStepGetsOneNotice)
{
    m_plan.kind = QuotaKind::Both;
    m_plan.quotaMb = 1;
    auto meter = Make();
    meter->Counters(kMb, kMb, 0);
    ASSERT_EQ(m_notices.size(), 1u);
    EXPECT_NE(m_notices[0].find("100 % of the quota (2.0 of 1 MB)"), std::string::npos) << m_notices[0];
}

TEST_F(MeterTest, TheHangUpIsAskedOnceAndTheNextDialNeedsAYes)
{
    m_plan.kind = QuotaKind::Both;
    m_plan.quotaMb = 2;
    m_plan.hangUp = true;
    m_now = Local(2025, 3, 10, 12);
    auto meter = Make();
    EXPECT_FALSE(meter->DialNeedsConfirmation());
    EXPECT_FALSE(meter->Counters(kMb, 0, 0));
    EXPECT_TRUE(meter->Counters(kMb, kMb, 0)); // the middle of the session
    ASSERT_FALSE(m_notices.empty());
    EXPECT_NE(m_notices.back().find("hung up"), std::string::npos) << m_notices.back();
    EXPECT_FALSE(meter->Counters(kMb, kMb + 10, 0)); // the hang-up is under way
    meter->SessionEnded();
    EXPECT_TRUE(meter->DialNeedsConfirmation());
    // Another instance (a restart, the command-line tool) sees it too.
    EXPECT_TRUE(Make()->DialNeedsConfirmation());
    meter->DialConfirmed();
    EXPECT_FALSE(meter->DialNeedsConfirmation());
    meter->CountersCleared();
    EXPECT_FALSE(meter->Counters(5 * kMb, 0, 0)); // no second hang-up in this cycle
    meter->SessionEnded();
    // The next cycle asks again.
    m_now = Local(2025, 4, 2, 9);
    meter->CountersCleared();
    EXPECT_FALSE(meter->DialNeedsConfirmation());
    EXPECT_TRUE(meter->Counters(3 * kMb, 0, 0));
}

TEST_F(MeterTest, WithoutADatabaseTheQuotaStillWatchesTheSession)
{
    m_plan.kind = QuotaKind::Upload;
    m_plan.quotaMb = 1;
    m_plan.hangUp = true;
    CUsageMeter meter(m_settings.Path("missing.mdb"), [this] { return m_plan; }, [this] { return m_now; },
                      [this](const std::string& t) { m_notices.push_back(t); });
    EXPECT_TRUE(meter.Counters(0, kMb, 0));
    EXPECT_EQ(m_notices.size(), 1u);
    EXPECT_FALSE(meter.Flush());
}

namespace {
struct EventLog : kv::IOwnerListener {
    std::vector<kv::OwnerEvent> events;
    void OnOwnerEvent(const kv::OwnerEvent& e) override { events.push_back(e); }
};
} // namespace

TEST_F(MeterTest, WarningsReachTheOwnersHubWithTheirFigures)
{
    m_plan.kind = QuotaKind::Both;
    m_plan.quotaMb = 10;
    m_plan.hangUp = true;
    m_now = Local(2025, 3, 10, 12);
    kv::COwnerHub hub;
    EventLog log;
    hub.AddListener(&log);
    auto meter = Make();
    meter->SetQuotaSink(QuotaPublisher(hub));
    meter->Counters(6 * kMb, 2 * kMb, 0); // 8 MB: 80 %
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].percent, 80u);
    EXPECT_TRUE(meter->Counters(7 * kMb, 4 * kMb, 0)); // 11 MB: at the quota, hang up
    ASSERT_EQ(log.events.size(), 2u);
    const kv::OwnerEvent& e = log.events[1];
    EXPECT_EQ(e.kind, kv::OwnerEventKind::QuotaWarning);
    EXPECT_EQ(e.percent, 100u);
    EXPECT_EQ(e.used, 11ull * kMb);
    EXPECT_EQ(e.quota, 10ull * kMb);
    EXPECT_EQ(e.text, m_notices.at(1));
    EXPECT_NE(e.text.find("hung up"), std::string::npos) << e.text;
    meter->Counters(9 * kMb, 5 * kMb, 0);
    EXPECT_EQ(log.events.size(), 2u); // once per cycle, as on the message line
    hub.RemoveListener(&log);
}
