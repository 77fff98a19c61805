// "connect", "disconnect" and "net status" against the modem simulator: the
// simulated dial-up service is chosen because discovery finds the simulator.
#include "RunCli.h"

#include "settings/Profile.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>

using kvtest::RunCli;

namespace {

class CliNet : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", settings.Dir().c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
        unsetenv("KORVIANET_RAS_BACKEND");
    }
    void TearDown() override
    {
        if (sim)
            sim->Stop();
        unsetenv("KORVIANET_SYSFS_ROOT");
    }
    kvtest::CliResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir()});
        return RunCli(args);
    }
    void StartSimulator()
    {
        kv::sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<kv::sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
    }

    kvtest::TempSettings settings;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
};

} // namespace

TEST_F(CliNet, ConnectDialsTheSimulatorCountsAndHangsUp)
{
    StartSimulator();
    const auto r = Run({"connect", "--seconds", "4", "--user", "card", "--password", "card"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("device: KORVIA CDMA Modem (simulated)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[net] dial: "), std::string::npos) << r.out; // the dial states as they pass
    EXPECT_NE(r.out.find("state: connected"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("duration 00:00:01  received "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("session ended: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[net] disconnected"), std::string::npos) << r.out;
    // Nothing is left behind for the next run.
    EXPECT_NE(Run({"net", "status"}).out.find("state not connected"), std::string::npos);
}

TEST_F(CliNet, WithoutAConnectionDisconnectAndStatusSaySo)
{
    setenv("KORVIANET_RAS_BACKEND", "sim", 1);
    const auto d = Run({"disconnect"});
    EXPECT_EQ(d.exitCode, 1);
    EXPECT_NE(d.out.find("not connected"), std::string::npos);
    const auto s = Run({"net", "status"});
    EXPECT_EQ(s.exitCode, 0);
    EXPECT_EQ(s.out, "state not connected\n");
    EXPECT_EQ(Run({"net"}).exitCode, 2);
    EXPECT_EQ(Run({"connect", "--seconds"}).exitCode, 2);
    EXPECT_EQ(Run({"disconnect", "now"}).exitCode, 2);
    unsetenv("KORVIANET_RAS_BACKEND");
}

TEST_F(CliNet, ConnectWithoutAModemSaysSoOnceAndDialsNothing)
{
    const auto r = Run({"connect", "--seconds", "2", "--user", "card", "--password", "card"});
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_EQ(r.err, "korvianet-cli: No modem found. Plug in the modem and try again.\n") << r.out;
    EXPECT_EQ(r.out.find("dialling"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("phonebook entry"), std::string::npos) << r.out;
}
