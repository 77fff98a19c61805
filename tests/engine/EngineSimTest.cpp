// The engine over the real serial port against the modem simulator on a pty.
#include "EngineFixture.h"

#include "engine/CommPortLink.h"
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
