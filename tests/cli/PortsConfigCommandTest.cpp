// "ports" with and without a registered modem, and "config" against a
// private settings folder given with --config-dir.
#include "RunCli.h"

#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using kvtest::RunCli;

namespace {

class CliSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        // no real USB devices, and dosdevices inside the settings folder
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

TEST_F(CliSettings, PortsWithoutAModemExits3)
{
    const auto r = Run({"ports"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(HasLine(r.out, "driver none")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "kind 0")) << r.out;
    EXPECT_EQ(r.out.find("COM"), std::string::npos) << r.out;
    EXPECT_EQ(Run({"ports", "extra"}).exitCode, 2);
}

TEST_F(CliSettings, PortsShowsTheRegisteredSimulator)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    const int com = sim.ComNumber();
    ASSERT_GT(com, 0);

    auto r = Run({"ports"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    EXPECT_EQ(first.rfind("COM" + std::to_string(com) + " " + sim.DevicePath() + " -> " + sim.SlavePath() + " ", 0),
              0u)
        << first;
    EXPECT_NE(first.find("PID_6502&MI_02"), std::string::npos) << first;
    EXPECT_TRUE(HasLine(r.out, "driver new")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "kind 2")) << r.out;
    EXPECT_NE(r.out.find("\ndevice "), std::string::npos) << r.out;

    // another settings folder knows nothing of it
    const std::string other = kvtest::MakeTempDir("kvcli");
    r = RunCli({"--config-dir", other, "ports"});
    EXPECT_EQ(r.exitCode, 3) << r.out;
    kvtest::RemoveTree(other);

    // unplugged: gone; replugged: back on the same number
    ASSERT_TRUE(sim.Unplug());
    EXPECT_EQ(Run({"ports"}).exitCode, 3);
    ASSERT_TRUE(sim.Replug());
    r = Run({"ports"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("COM" + std::to_string(com) + " ", 0), 0u) << r.out;
}

TEST_F(CliSettings, ConfigWritesAndReadsThePrivateFolderOnly)
{
    kvtest::TempSettings elsewhere; // the environment now points here
    auto r = Run({"config", "set", "syskor.ini", "sysinf", "slps", "0"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(settings.Path("syskor.ini")));
    EXPECT_FALSE(std::filesystem::exists(elsewhere.Path("syskor.ini")));

    r = Run({"config", "get", "syskor.ini", "sysinf", "slps"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0\n");
    r = Run({"config", "get", "syskor.ini", "sysinf", "missing"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\n");
    r = Run({"config", "dir"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, settings.Dir() + "\n");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"config"}, {"config", "get", "syskor.ini"}, {"config", "set", "a", "b", "c"}, {"config", "drop"},
             {"config", "set", "../../evil.ini", "a", "b", "c"}, {"config", "get", "/etc/passwd", "a", "b"}}) {
        r = Run(bad);
        EXPECT_EQ(r.exitCode, 2) << bad.size();
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliSettings, ConfigSwitchesTheDesktopNotifications)
{
    auto r = Run({"config", "notifications"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "on\n");
    ASSERT_EQ(Run({"config", "notifications", "off"}).exitCode, 0);
    EXPECT_NE(kvtest::ReadFileBytes(settings.Path("korvianet.ini")).find("[notifications]\nnum=0"), std::string::npos);
    r = Run({"--json", "config", "notifications"});
    EXPECT_EQ(r.out.find("\"notifications\":\"off\"") != std::string::npos
                  || r.out.find("\"notifications\": \"off\"") != std::string::npos,
              true)
        << r.out;
    EXPECT_EQ(Run({"config", "notifications", "maybe"}).exitCode, 2);
    EXPECT_EQ(Run({"config", "notifications", "on", "now"}).exitCode, 2);
    ASSERT_EQ(Run({"config", "notifications", "on"}).exitCode, 0);
    EXPECT_EQ(Run({"config", "notifications"}).out, "on\n");
}
