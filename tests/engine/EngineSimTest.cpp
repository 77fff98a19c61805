// The engine over the real serial port against the modem simulator on a pty.
#include "EngineFixture.h"

#include "engine/CommPortLink.h"
#include "engine/DeviceRecovery.h"
#include "host/PageButtons.h"
#include "engine/StatusIds.h"
#include "sim/ModemSimulator.h"

using namespace kv;

namespace {

class EngineOnSimulator : public ::testing::Test {
protected:
    void Start(const sim::ModemSimulator::Options& o)
    {
        simulator = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(simulator->Start());
        port.SetDevicePath(simulator->SlavePath());
        engine.SetDiscovery([] { return PortChoice{1, DEVICE_KIND_NV}; });
    }
    ~EngineOnSimulator() override
    {
        engine.StopDmEngine();
        if (simulator)
            simulator->Stop();
    }
    static sim::ModemSimulator::Options Quiet()
    {
        sim::ModemSimulator::Options o;
        o.registerDevice = false;
        o.unsolicitedPeriodMs = 500; // unsolicited packets between the answers
        return o;
    }

    kvtest::TempSettings settings;
    kvtest::LogCapture log;
    CHeadlessHost host;
    CCommPort port;
    CCommPortLink link{port};
    CDmEngine engine{host, link};
    std::unique_ptr<sim::ModemSimulator> simulator;
    std::atomic<size_t> statusSeen{0};
};

} // namespace

TEST_F(EngineOnSimulator, StartsUpAndPollsOverThePty)
{
    Start(Quiet());
    host.SetObserver([&](const std::string& s) {
        if (s.rfind("indicator 1117", 0) == 0 || s.rfind("indicator 1042", 0) == 0)
            ++statusSeen;
    });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000));
    EXPECT_TRUE(log.Has("DM_UI_ENABLE"));
    EXPECT_TRUE(log.Has("sms_max_slot = "));
    EXPECT_NE(host.Indicator(IND_BATTERY), -1);
    EXPECT_NE(host.Indicator(IND_SERVICE), -1);
    EXPECT_LT(host.Signal(IND_SIGNAL_1X), 0); // signed dBm from the short layout
    EXPECT_NE(GetProfileString("modem", "esn", "", 64, kMainIni), "");
    EXPECT_TRUE(engine.ThreadRunning());
    engine.StopDmEngine();
    EXPECT_EQ(host.State().m_nPortState.load(), DM_STOPPED);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(EngineOnSimulator, AsksForThePinOfALockedCard)
{
    auto o = Quiet();
    o.pinLocked = true;
    Start(o);
    int asked = 0;
    host.SetPinProvider([&](int, const std::function<bool()>&) {
        ++asked;
        WriteProfileString("chv1", "num", "1234", kMainIni);
        return PinResult::Ok;
    });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000));
    EXPECT_EQ(asked, 1);
    const auto boxes = host.MessageBoxes();
    EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Successful Pin Code Verification."),
              boxes.end());
}

TEST_F(EngineOnSimulator, TheServiceBadgeFollowsTheModemAtTheNextPoll)
{
    Start(Quiet());
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return host.IndicatorShown(statusid::IDC_SERVICE); }, 20000));
    const int service = host.Indicator(IND_SERVICE);
    ASSERT_NE(service, SERVICE_NONE);
    // No system at all: the badge goes within a poll or two.
    ASSERT_EQ(simulator->Command("service off"), "OK\n");
    EXPECT_TRUE(host.RunUntil([&] { return !host.IndicatorShown(statusid::IDC_SERVICE); }, 3000));
    EXPECT_EQ(host.Indicator(IND_SERVICE), SERVICE_NONE);
    EXPECT_EQ(host.State().m_ucServiceState.load(), SERVICE_NONE);
    ASSERT_EQ(simulator->Command("service on"), "OK\n");
    EXPECT_TRUE(host.RunUntil([&] { return host.IndicatorShown(statusid::IDC_SERVICE); }, 3000));
    EXPECT_EQ(host.Indicator(IND_SERVICE), service);
}

TEST_F(EngineOnSimulator, ASilentModemIsPolledOnWithoutCountingErrors)
{
    Start(Quiet());
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000));
    simulator->Command("silent on");
    ASSERT_TRUE(host.RunUntil([&] { return log.CountOf("get vbat info error") >= 2; }, 15000));
    EXPECT_TRUE(engine.ThreadRunning());
    EXPECT_FALSE(log.Has("did not communication"));
    simulator->Command("silent off");
    const size_t before = log.CountOf("get vbat info error");
    host.RunUntil([] { return false; }, 1500);
    EXPECT_LE(log.CountOf("get vbat info error"), before + 1);
    EXPECT_TRUE(engine.ThreadRunning());
}

// The modem pulled out and plugged in again, found each time through port
// discovery and the dosdevices link.
TEST_F(EngineOnSimulator, UnplugEndsTheEngineAtOnceAndRecoveryRestartsItCycleAfterCycle)
{
    setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
    unsetenv("KORVIANET_DOSDEVICES");
    sim::ModemSimulator::Options o = Quiet();
    o.registerDevice = true;
    simulator = std::make_unique<sim::ModemSimulator>(o);
    ASSERT_TRUE(simulator->Start());
    engine.SetDiscovery([] { return DiscoverModemPort(); });
    host.SetObserver([&](const std::string& s) {
        if (s.rfind("indicator 1117", 0) == 0)
            ++statusSeen;
    });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return statusSeen.load() > 0; }, 20000));

    CDeviceRecovery recovery(engine, 200);
    EXPECT_EQ(recovery.Poll(), CDeviceRecovery::Step::EngineRunning);
    for (unsigned cycle = 1; cycle <= 2; ++cycle) {
        SCOPED_TRACE(cycle);
        const size_t vbatBefore = log.CountOf("get vbat info error");
        const size_t hangBefore = log.CountOf("port hung up: the modem is gone");
        ASSERT_EQ(simulator->Command("unplug"), "OK\n");
        // the engine ends by itself, well before any exchange's time-out
        ASSERT_TRUE(host.RunUntil([&] { return !engine.ThreadRunning(); }, 2500))
            << "the engine goes on polling a port that hung up";
        EXPECT_TRUE(engine.EndedByHangup());
        EXPECT_EQ(log.CountOf("port hung up: the modem is gone"), hangBefore + 1);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(host.State().m_nPortState.load(), DM_STOPPED);
        EXPECT_EQ(host.Indicator(IND_BATTERY), 1);
        EXPECT_EQ(host.Indicator(IND_SERVICE), int(SERVICE_NONE));
        EXPECT_EQ(host.Indicator(IND_ROAMING), 128);
        EXPECT_EQ(host.Signal(IND_SIGNAL_1X), kSignalNone);

        // while it is away: nothing polled, nothing restarted
        const int64_t away = TickMs() + 1000;
        while (TickMs() < away) {
            host.RunUntil([] { return false; }, 50);
            EXPECT_EQ(recovery.Poll(), CDeviceRecovery::Step::Waiting);
        }
        EXPECT_LE(log.CountOf("get vbat info error"), vbatBefore + 1);
        EXPECT_FALSE(engine.ThreadRunning());
        EXPECT_EQ(recovery.Restarts(), cycle - 1);

        // back: restarted within a few intervals, and polling again
        ASSERT_EQ(simulator->Command("replug"), "OK\n");
        const size_t seen = statusSeen.load();
        CDeviceRecovery::Step step = CDeviceRecovery::Step::Waiting;
        const int64_t deadline = TickMs() + 10000;
        while (step != CDeviceRecovery::Step::Restarted && TickMs() < deadline) {
            host.RunUntil([] { return false; }, 50);
            step = recovery.Poll();
        }
        ASSERT_EQ(step, CDeviceRecovery::Step::Restarted);
        EXPECT_EQ(recovery.Restarts(), cycle);
        EXPECT_TRUE(host.RunUntil([&] { return statusSeen.load() > seen; }, 20000));
        EXPECT_EQ(recovery.Poll(), CDeviceRecovery::Step::EngineRunning);
    }
    unsetenv("KORVIANET_SYSFS_ROOT");
}

// An engine that ended for another reason is left alone.
TEST_F(EngineOnSimulator, RecoveryLeavesAnEngineThatWasStoppedAlone)
{
    Start(Quiet());
    ASSERT_TRUE(engine.UserDmRestart());
    engine.StopDmEngine();
    CDeviceRecovery recovery(engine, 10);
    for (int i = 0; i < 5; ++i) {
        SleepMs(20);
        EXPECT_EQ(recovery.Poll(), CDeviceRecovery::Step::NotRecovering);
    }
    EXPECT_FALSE(engine.ThreadRunning());
    EXPECT_EQ(recovery.Attempts(), 0u);
}

// A sub-request that meets the unplug fails at once, and the engine still
// ends once its owner has resumed it.
TEST_F(EngineOnSimulator, SubRequestDuringAnUnplugFailsAtOnceAndTheEngineEnds)
{
    Start(Quiet());
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000));
    ASSERT_EQ(simulator->Command("unplug"), "OK\n");
    const int64_t t0 = TickMs();
    const uint16_t r = engine.DmSubRequest(DM_PREF_1X_DRC, 0, false);
    EXPECT_TRUE(r == DM_RESULT_EXCHANGE_FAILED || r == DM_RESULT_ENGINE_STOPPED) << std::hex << r;
    EXPECT_TRUE(host.RunUntil([&] { return !engine.ThreadRunning(); }, 5000));
    EXPECT_LT(TickMs() - t0, 5000);
    EXPECT_TRUE(engine.EndedByHangup());
    EXPECT_FALSE(port.IsOpen());
}

// The page buttons (dial pad, SMS, phonebook, volume) appear when the
// start-up chain has finished, not before; an unplug disables them where
// they are and the start-up after the replug enables them again.
TEST_F(EngineOnSimulator, PageButtonsAppearAtTheEndOfTheStartUpAndStayThroughAnUnplug)
{
    setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
    unsetenv("KORVIANET_DOSDEVICES");
    sim::ModemSimulator::Options o = Quiet();
    o.registerDevice = true;
    simulator = std::make_unique<sim::ModemSimulator>(o);
    ASSERT_TRUE(simulator->Start());
    engine.SetDiscovery([] { return DiscoverModemPort(); });
    // Whether a page button was shown while the chain still ran.
    std::atomic<bool> shownEarly{false};
    host.SetObserver([&](const std::string& s) {
        if (s.rfind("indicator", 0) == 0 && !log.Has("DM_UI_ENABLE"))
            for (int id : kPageButtons)
                if (host.ControlShown(id))
                    shownEarly = true;
    });
    ASSERT_TRUE(engine.UserDmRestart());
    for (int id : kPageButtons)
        EXPECT_FALSE(host.ControlShown(id)) << id;
    ASSERT_TRUE(host.RunUntil([&] { return log.Has("DM_UI_ENABLE") && host.ControlShown(IDC_VOLUME_UP); },
                              20000));
    EXPECT_FALSE(shownEarly.load());
    for (int id : kPageButtons) {
        EXPECT_TRUE(host.ControlShown(id)) << id;
        EXPECT_TRUE(host.ControlEnabled(id)) << id;
    }

    ASSERT_EQ(simulator->Command("unplug"), "OK\n");
    ASSERT_TRUE(host.RunUntil([&] { return !engine.ThreadRunning(); }, 2500));
    for (int id : kPageButtons) {
        EXPECT_TRUE(host.ControlShown(id)) << id;
        EXPECT_FALSE(host.ControlEnabled(id)) << id;
    }

    CDeviceRecovery recovery(engine, 200);
    ASSERT_EQ(simulator->Command("replug"), "OK\n");
    const int64_t deadline = TickMs() + 10000;
    while (recovery.Poll() != CDeviceRecovery::Step::Restarted && TickMs() < deadline)
        host.RunUntil([] { return false; }, 50);
    ASSERT_TRUE(host.RunUntil([&] { return host.ControlEnabled(IDC_VOLUME_UP); }, 20000));
    for (int id : kPageButtons) {
        EXPECT_TRUE(host.ControlShown(id)) << id;
        EXPECT_TRUE(host.ControlEnabled(id)) << id;
    }
    unsetenv("KORVIANET_SYSFS_ROOT");
}

// A stop while the engine waits for an answer that is not coming: the wait
// is cut short, so the stop never has to close the port under the engine,
// and the engine ends through its own end of work.
TEST_F(EngineOnSimulator, AStopCutsShortAnExchangeWaitingForItsAnswer)
{
    Start(Quiet());
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000));
    ASSERT_EQ(simulator->Command("unsolicited off"), "OK\n");
    ASSERT_EQ(simulator->Command("silent on"), "OK\n");
    ASSERT_TRUE(host.RunUntil([&] { return log.Has("get vbat info error"); }, 15000));
    // the next poll's battery request now waits its 3000 ms
    host.RunUntil([] { return false; }, 1000);
    engine.SetStopWaitMs(1000);
    engine.StopDmEngine();
    EXPECT_FALSE(log.Has("did not stop in")) << "the stop waited for the exchange's time-out";
    EXPECT_FALSE(engine.ThreadRunning());
    EXPECT_TRUE(log.Has("dm thread close 1"));
    EXPECT_FALSE(log.Has("did not communication"));
    EXPECT_EQ(host.State().m_nPortState.load(), DM_STOPPED);
    EXPECT_FALSE(port.IsOpen());
}
