// "at status" and "at apn" against the registered simulator, found by port
// discovery as the program finds it.
#include "RunCli.h"

#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>

using kvtest::RunCli;

namespace {

class CliAt : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
    }
    void TearDown() override { unsetenv("KORVIANET_SYSFS_ROOT"); }
    kvtest::CliResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir()});
        return RunCli(args);
    }
    kvtest::TempSettings settings;
};

bool HasLine(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

} // namespace

TEST_F(CliAt, StatusAndApnOfTheSimulatedModem)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    ASSERT_EQ(sim.Command("card pin-locked"), "OK\n");

    auto r = Run({"at", "status"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(HasLine(r.out, "card SIM PIN")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "pin-requested 1")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "apn ")) << r.out; // no IMSI while locked: no APN

    ASSERT_EQ(sim.Command("card unlocked"), "OK\n");
    ASSERT_EQ(sim.Command("imsi 310410123456789"), "OK\n");
    r = Run({"at", "status"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(HasLine(r.out, "imsi 310410123456789")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "card READY")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "pin-requested 0")) << r.out;
    EXPECT_EQ(r.out.rfind("signal ", 0), 0u) << r.out;
    const std::string apn = sim.WithModel([](kv::sim::ModemModel& m) { return m.apn; });
    EXPECT_FALSE(apn.empty());
    EXPECT_TRUE(HasLine(r.out, "apn " + apn)) << r.out;

    r = Run({"at", "apn"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(HasLine(r.out, "apn " + apn + " key 310410")) << r.out;
}

TEST_F(CliAt, ApnOfAGivenImsiAndUsage)
{
    auto r = Run({"at", "apn", "460030912345678"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(HasLine(r.out, "apn 3GNET key 46003")) << r.out;
    r = Run({"at", "apn", "999994600312345"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(HasLine(r.out, "apn none")) << r.out;
    EXPECT_EQ(Run({"at", "apn", "46003\r"}).exitCode, 2);
    EXPECT_EQ(Run({"at"}).exitCode, 2);
    EXPECT_EQ(Run({"at", "status"}).exitCode, 3); // no modem
}
