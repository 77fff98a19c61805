// Dialling again after a lost link: the schedule on a clock of the test's
// own, and the connection manager against the simulated dial-up service with
// short pauses: a dropped link comes back, each attempt on the message line;
// the user's Disconnect, a switched-off setting and a missing modem stop it.
#include "NetFixture.h"

#include "net/Reconnect.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>

using namespace kvnet;
using kvtest::NetTest;

TEST(ReconnectPlan, WaitsFiveTenThirtyThenSixtySecondsAndGivesUpAfterTenTries)
{
    CReconnectPlan plan;
    EXPECT_EQ(plan.TakeDue(1'000'000), 0); // nothing lost, nothing to do
    plan.LinkLost(0);
    std::vector<int64_t> waits;
    int64_t now = 0, since = 0;
    for (int attempt = 1; attempt <= CReconnectPlan::kMaxAttempts; ++attempt) {
        while (plan.TakeDue(now) == 0)
            now += 100;
        waits.push_back(now - since);
        EXPECT_EQ(plan.Attempts(), attempt);
        EXPECT_TRUE(plan.UnderWay());
        EXPECT_EQ(plan.TakeDue(now + 3'600'000), 0); // one at a time
        now += 2000;                                  // the dial takes a while
        plan.AttemptFailed(now);
        since = now;
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{5000, 10000, 30000, 60000, 60000, 60000, 60000, 60000, 60000, 60000}));
    EXPECT_TRUE(plan.GaveUp());
    EXPECT_FALSE(plan.Armed());
    EXPECT_EQ(plan.TakeDue(now + 3'600'000), 0);
    // A new loss starts over.
    plan.LinkLost(now);
    EXPECT_FALSE(plan.GaveUp());
    EXPECT_EQ(plan.TakeDue(now + 4999), 0);
    EXPECT_EQ(plan.TakeDue(now + 5000), 1);
}

TEST(ReconnectPlan, TheUsersDisconnectOrConnectAndASuccessEndIt)
{
    CReconnectPlan plan({100});
    plan.LinkLost(0);
    EXPECT_EQ(plan.TakeDue(100), 1);
    plan.Connected();
    EXPECT_FALSE(plan.Armed());
    EXPECT_EQ(plan.TakeDue(10'000), 0);

    plan.LinkLost(0);
    plan.UserStopped();
    EXPECT_EQ(plan.TakeDue(10'000), 0);
    plan.LinkLost(20'000); // a loss noticed after the user's Disconnect
    EXPECT_FALSE(plan.Armed());
    plan.UserConnected();  // the user's own dial
    plan.LinkLost(30'000);
    EXPECT_EQ(plan.TakeDue(30'100), 1);
    plan.UserConnected();  // gives way to it
    EXPECT_FALSE(plan.Armed());
    EXPECT_EQ(CReconnectPlan::AttemptText(2), "Reconnecting (attempt 2 of 10)...");
}

TEST(ReconnectPlan, TheDelaysFromTheEnvironmentAreTakenOnlyAsAListOfNumbers)
{
    setenv(kReconnectDelaysEnv, "200,300", 1);
    EXPECT_EQ(ReconnectDelaysFromEnv(), (std::vector<int64_t>{200, 300}));
    for (const char* bad : {"", "200,", "-5", "1e3", "200;300", "99999999999"}) {
        setenv(kReconnectDelaysEnv, bad, 1);
        EXPECT_TRUE(ReconnectDelaysFromEnv().empty()) << bad;
    }
    unsetenv(kReconnectDelaysEnv);
    EXPECT_TRUE(ReconnectDelaysFromEnv().empty());
}

namespace {

class Reconnect : public NetTest {
protected:
    void StartWith(bool enabled, std::vector<int64_t> delays = {300, 300})
    {
        kvnet::ConnectionUi ui = Ui();
        ui.reconnectEnabled = [enabled] { return enabled; };
        ui.reconnectDelaysMs = std::move(delays);
        ui.modemPresent = [this] { return present.load(); };
        host.SetObserver([this](const std::string& what) {
            std::lock_guard<std::mutex> g(recordLock);
            notes.push_back(what);
        });
        manager = std::make_unique<kvnet::CConnectionManager>(host, ui);
        manager->SetAccount("card", "card", "");
        ASSERT_TRUE(manager->Start());
    }
    bool SawLine(const std::string& text)
    {
        std::lock_guard<std::mutex> g(recordLock);
        return std::find(notes.begin(), notes.end(), "message line: " + text) != notes.end();
    }
    std::atomic<bool> present{true};
    std::vector<std::string> notes;
};

} // namespace

TEST_F(Reconnect, ADroppedLinkIsDialledAgainAndCounted)
{
    StartWith(true);
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    backend->DropConnections();
    // The loss is given up as before (its session recorded), then dialled again.
    ASSERT_TRUE(Until([&] { return Records().size() == 1; }, 8000));
    ASSERT_TRUE(Until([&] { return backend->Dials() == 2 && Connected(); }, 8000));
    EXPECT_TRUE(SawLine("Reconnecting (attempt 1 of 10)...")) << host.MessageLine();
    EXPECT_FALSE(manager->ReconnectPending());
    RasDialParams dial;
    ASSERT_TRUE(backend->LastDial(dial));
    EXPECT_EQ(dial.userName, "card");
    // The new session ends as any other.
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return Records().size() == 2 && manager->State() == RAS_REQ_LOOK; }));
    kv::SleepMs(1000);
    EXPECT_EQ(backend->Dials(), 2);
}

TEST_F(Reconnect, FailedAttemptsGoOnUntilTheUsersDisconnect)
{
    StartWith(true, {200});
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    // Every attempt fails: the next dial's failure is armed as each starts.
    backend->FailNextDial(RAS_ERR_AUTHENTICATION, 1);
    backend->DropConnections();
    int armedFor = 1;
    ASSERT_TRUE(Until([&] {
        if (backend->Dials() > armedFor) {
            armedFor = backend->Dials();
            backend->FailNextDial(RAS_ERR_AUTHENTICATION, 1);
        }
        return manager->ReconnectAttempts() >= 3;
    }, 15000));
    EXPECT_TRUE(SawLine("Reconnecting (attempt 1 of 10)..."));
    EXPECT_TRUE(manager->ReconnectPending());
    const int dials = backend->Dials();
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_LOOK && !manager->ReconnectPending(); }));
    kv::SleepMs(1000);
    EXPECT_LE(backend->Dials(), dials + 1); // at most the one already under way
    EXPECT_FALSE(manager->ReconnectPending());
}

TEST_F(Reconnect, NothingIsDialledWithTheSettingOffOrWhileTheModemIsAway)
{
    StartWith(false);
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    backend->DropConnections();
    ASSERT_TRUE(Until([&] { return Records().size() == 1 && manager->State() == RAS_REQ_LOOK; }, 8000));
    kv::SleepMs(1000);
    EXPECT_EQ(backend->Dials(), 1);
    manager->Shutdown();
    manager.reset();

    StartWith(true);
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    present = false;
    backend->DropConnections();
    ASSERT_TRUE(Until([&] { return Records().size() == 2 && manager->ReconnectPending(); }, 8000));
    kv::SleepMs(1000);
    EXPECT_EQ(backend->Dials(), 2); // the two connects, no attempt while the modem is away
    EXPECT_EQ(manager->ReconnectAttempts(), 0);
    present = true;
    ASSERT_TRUE(Until([&] { return backend->Dials() == 3 && Connected(); }, 8000));
    // Exit ends a plan as Disconnect does.
    manager->StopThread();
    EXPECT_FALSE(manager->ReconnectPending());
}

TEST_F(Reconnect, TheSettingIsOursAndOffByDefault)
{
    EXPECT_FALSE(ReconnectSettingOn());
    kv::WriteProfileString(kv::kSecReconnect, kv::kKeyNum, "1", kv::kIniOurs);
    EXPECT_TRUE(ReconnectSettingOn());
    EXPECT_EQ(kv::GetProfileString(kv::kSecReconnect, kv::kKeyNum, "", 8, kv::kIniDialer), "");
    kv::WriteProfileString(kv::kSecReconnect, kv::kKeyNum, "0", kv::kIniOurs);
    EXPECT_FALSE(ReconnectSettingOn());
}
