// The port's life against the simulated modem: found through discovery,
// opened, closed and reopened; the modem pulled out in the middle of a
// transaction and plugged in again.
#include "SimLink.h"
#include "support/AsUser.h"

#include "engine/DrvComm.h"
#include "link/DiagCatalog.h"
#include "platform/Event.h"

#include <atomic>
#include <thread>

using namespace kv;
using kvtest::kWaitMs;

namespace {

class PortLifecycle : public kvtest::SimLink {};

bool WaitUntil(const std::function<bool()>& cond)
{
    const int64_t end = TickMs() + kWaitMs;
    while (!cond()) {
        if (TickMs() >= end)
            return false;
        SleepMs(10);
    }
    return true;
}

} // namespace

TEST_F(PortLifecycle, NoModemMeansNoPortAndNothingWritten)
{
    EXPECT_EQ(DiscoverAndOpen(), 0);
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(Send(BuildVersionReq()), kDiagNotWritten);
    EXPECT_EQ(resp[0], 0xA5) << "a closed port leaves the response alone";
}

TEST_F(PortLifecycle, OpenCloseAndReopenThroughDiscovery)
{
    StartSim();
    const int com = DiscoverAndOpen();
    ASSERT_GT(com, 0);
    EXPECT_EQ(port.DevicePathToOpen(), sim->DevicePath());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.OpenPort(), 0) << "already open";
    EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered);

    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(port.ClosePort(), 1);
        EXPECT_TRUE(port.ReaderExited().IsSet());
        EXPECT_EQ(port.ClosePort(), 0);
        EXPECT_EQ(Send(BuildVersionReq()), kDiagNotWritten);
        EXPECT_EQ(DiscoverAndOpen(), com) << round;
        ASSERT_TRUE(port.IsOpen()) << round;
        EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered) << round;
        EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered) << round;
    }
}

// The same for a normal user, whose reopen exclusive mode would refuse: the
// simulator, the settings folder and the port all belong to that user.
TEST_F(PortLifecycle, ReopenThroughDiscoveryAsANormalUser)
{
    if (!kvtest::CanRunAsNormalUser())
        GTEST_SKIP() << "cannot drop to a normal user here";
    const std::string err = kvtest::RunAsNormalUser([]() -> std::string {
        try {
            kvtest::TempSettings own;
            setenv("KORVIANET_SYSFS_ROOT", (own.Dir() + "/no-sysfs").c_str(), 1);
            kv::sim::ModemSimulator modem(kv::sim::ModemSimulator::Options{});
            if (!modem.Start())
                return "the simulator did not start";
            std::string why;
            for (int round = 0; round < 4 && why.empty(); ++round) {
                CCommPort p;
                PortDiscovery d;
                const int com = d.FindComPort();
                p.SetEventMask(EV_RXFLAG);
                p.SetPortNumber(uint32_t(com));
                p.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
                if (com <= 0 || p.OpenPort() != 1) {
                    why = "open refused in round " + std::to_string(round);
                    break;
                }
                p.SetNotifyMode(false);
                std::array<uint8_t, 256> r{};
                if (p.Transact(BuildBattInfoReq(), r.data(), r.size()) != kDiagAnswered)
                    why = "no answer in round " + std::to_string(round);
                p.ClosePort();
            }
            modem.Stop();
            return why;
        } catch (const std::exception& e) {
            return e.what();
        }
    });
    EXPECT_EQ(err, "");
}

TEST_F(PortLifecycle, UnplugDuringATransactionThenReplug)
{
    StartSim();
    const int com = DiscoverAndOpen();
    ASSERT_GT(com, 0);
    ASSERT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);

    // The answer is held back; the modem leaves once it has the request.
    Control("delay 60000 1");
    const uint64_t before = sim->Received();
    std::atomic<bool> unplugged{false};
    std::thread puller([&] {
        if (WaitReceivedMoreThan(before))
            unplugged = sim->Unplug();
    });
    const uint8_t r = Send(BuildBattInfoReq(), 3000);
    puller.join();
    ASSERT_TRUE(unplugged.load());
    EXPECT_NE(r, kDiagAnswered);
    EXPECT_EQ(resp[0], 0xFF);

    // The port stays open on the vanished device: the reader notices the
    // hang-up and then waits without using the CPU.
    ASSERT_TRUE(WaitUntil([&] { return port.HungUp(); }));
    const double cpu0 = kvtest::ProcessCpuSeconds();
    SleepMs(2000);
    const double cpuUsed = kvtest::ProcessCpuSeconds() - cpu0;
    EXPECT_LT(cpuUsed, 0.4) << "the reader spins on the dead tty";
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagNotWritten);

    // Closing does not wait for the reader's back-off.
    const int64_t t0 = TickMs();
    EXPECT_EQ(port.ClosePort(), 1);
    EXPECT_LT(TickMs() - t0, 2000);
    EXPECT_TRUE(port.ReaderExited().IsSet());

    // Gone from discovery and from the dosdevices folder.
    EXPECT_EQ(DiscoverAndOpen(), 0);
    EXPECT_FALSE(port.IsOpen());

    // Plugged in again: same COM number, a new tty behind the link.
    ASSERT_TRUE(sim->Replug());
    EXPECT_EQ(DiscoverAndOpen(), com);
    ASSERT_TRUE(port.IsOpen());
    BattInfo b;
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    EXPECT_TRUE(ParseBattInfo(resp.data(), port.LastResponseLength(), b));
}

TEST_F(PortLifecycle, ModemThatLeavesAndReturnsBetweenTransactions)
{
    StartSim();
    ASSERT_GT(DiscoverAndOpen(), 0);
    ASSERT_EQ(Send(BuildVersionReq()), kDiagAnswered);
    // unplugged and back before the program notices: the old tty is dead
    // for good, the port must be reopened through discovery
    ASSERT_TRUE(sim->Unplug());
    ASSERT_TRUE(sim->Replug());
    EXPECT_NE(Send(BuildVersionReq(), 500), kDiagAnswered);
    EXPECT_EQ(port.ClosePort(), 1);
    ASSERT_GT(DiscoverAndOpen(), 0);
    EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered);
}
