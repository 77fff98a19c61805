// A quota crossed in the middle of a session, end to end: the connection
// manager feeds the live meter, the warnings come once each, the hang-up
// comes when asked for, the session's hours are in the database, and the
// next Net Connect in the cycle dials only after a yes.
#include "NetFixture.h"

#include "usage/UsageMeter.h"

#include <mutex>

using namespace kvnet;
using kvtest::NetTest;

namespace {

class QuotaSession : public NetTest {
protected:
    QuotaSession()
    {
        kvnet::CSimRasBackend::Options o;
        o.stepMs = 15;
        o.rxBytesPerSec = 300'000;
        o.txBytesPerSec = 20'000;
        backend = std::make_shared<kvnet::CSimRasBackend>(o);
        db = settings.Path("WVL.MDB");
        kvtest::WriteFileBytes(db, kvtest::ReadFileBytes(KORVIA_BUILT_DB));
        plan.kind = kvusage::QuotaKind::Both;
        plan.quotaMb = 1;
        plan.warnPercents = {50, 100};
        plan.hangUp = true;
    }
    void Start()
    {
        meter = std::make_shared<kvusage::CUsageMeter>(
            db, [this] { return plan; }, kvusage::CUsageMeter::Clock{}, [this](const std::string& t) {
                std::lock_guard<std::mutex> g(noticeLock);
                notices.push_back(t);
            });
        kvnet::ConnectionUi ui = Ui();
        ui.countersRead = [this](uint32_t rx, uint32_t tx, uint32_t ms) { return meter->Counters(rx, tx, ms); };
        ui.countersCleared = [this] { meter->CountersCleared(); };
        ui.sessionEnded = [this] { meter->SessionEnded(); };
        ui.confirmDial = [this] {
            ++asked;
            if (!meter->DialNeedsConfirmation())
                return true;
            if (!sayYes)
                return false;
            meter->DialConfirmed();
            return true;
        };
        manager = std::make_unique<kvnet::CConnectionManager>(host, ui);
        manager->SetAccount("card", "card", "");
        ASSERT_TRUE(manager->Start());
    }
    std::vector<std::string> Notices()
    {
        std::lock_guard<std::mutex> g(noticeLock);
        return notices;
    }
    std::string db;
    kvusage::UsageSettings plan;
    std::shared_ptr<kvusage::CUsageMeter> meter;
    std::mutex noticeLock;
    std::vector<std::string> notices;
    std::atomic<int> asked{0};
    bool sayYes = false;
};

} // namespace

TEST_F(QuotaSession, TheQuotaHangsUpOnceAndTheNextDialWaitsForAYes)
{
    Start();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    // The hang-up comes by itself, and the session's record is written.
    ASSERT_TRUE(Until([&] { return Records().size() == 1 && manager->State() == RAS_REQ_LOOK; }, 15000));
    EXPECT_FALSE(manager->ReconnectPending());
    const std::vector<std::string> n = Notices();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_NE(n[0].find("50 %"), std::string::npos) << n[0];
    EXPECT_NE(n[1].find("100 %"), std::string::npos) << n[1];
    EXPECT_NE(n[1].find("hung up"), std::string::npos) << n[1];
    // The hours hold what the meter saw: the quota, at most the record.
    const kvusage::UsageRow used = meter->CycleUsage();
    const uint64_t recorded = uint64_t(Records()[0].bytesReceived) + Records()[0].bytesSent;
    EXPECT_GE(used.rx + used.tx, 1048576u);
    EXPECT_LE(used.rx + used.tx, recorded);

    // No yes, no dial.
    ASSERT_TRUE(Until([&] { return host.ControlEnabled(kv::IDC_NET_CONNECT); }));
    manager->NetConnect();
    EXPECT_EQ(asked.load(), 2); // the first dial was asked too, and needed no yes
    EXPECT_FALSE(manager->RasRequestPending(RAS_REQ_CONNECT));
    EXPECT_NE(manager->State(), RAS_REQ_CONNECT);

    // A yes dials, and the rest of the cycle runs without another hang-up.
    sayYes = true;
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    host.RunUntil([] { return false; }, 1500);
    EXPECT_EQ(manager->State(), RAS_REQ_MONITOR);
    EXPECT_EQ(Notices().size(), 2u);
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return Records().size() == 2; }));
}
