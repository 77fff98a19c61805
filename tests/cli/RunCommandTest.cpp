// "run" against the simulator when the modem is pulled out and plugged in
// again: the engine ends at once, the command waits for the modem and
// restarts the engine, cycle after cycle, and still stops on time.
#include "RunCli.h"

#include "platform/Event.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

using kvtest::RunCli;

namespace {

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

} // namespace

TEST(CliRun, ModemPulledOutAndBackIsPickedUpAgainEachTime)
{
    kvtest::TempSettings settings;
    setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
    unsetenv("KORVIANET_DOSDEVICES");
    const std::string db = settings.Path("WVL.MDB");
    std::filesystem::copy_file(KORVIA_BUILT_DB, db);
    setenv("KORVIANET_DB", db.c_str(), 1);

    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());

    kvtest::CliResult r;
    const int64_t t0 = kv::TickMs();
    std::thread cli([&] { r = RunCli({"--config-dir", settings.Dir(), "run", "--seconds", "26"}); });
    // two cycles: away for about three seconds, back for about eight
    for (int cycle = 0; cycle < 2; ++cycle) {
        kv::SleepMs(cycle == 0 ? 6000 : 8000);
        sim.Command("unplug");
        kv::SleepMs(3000);
        sim.Command("replug");
    }
    cli.join();
    const int64_t took = kv::TickMs() - t0;
    sim.Stop();
    unsetenv("KORVIANET_DB");
    unsetenv("KORVIANET_SYSFS_ROOT");

    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_LT(took, 29000) << "--seconds was not honoured";
    EXPECT_EQ(CountOf(r.out, "[run] the modem is gone: waiting for it to come back"), 2u) << r.out;
    EXPECT_EQ(CountOf(r.out, "[run] the modem is back: engine restarted"), 2u) << r.out;
    EXPECT_LE(CountOf(r.out, "get vbat info error"), 2u) << "polled a port that is gone";
    // polling again after the second return: the status record shows roaming
    const size_t back = r.out.rfind("engine restarted");
    ASSERT_NE(back, std::string::npos);
    EXPECT_NE(r.out.find("indicator 1117 = ", back), std::string::npos) << r.out.substr(back);
    EXPECT_NE(r.out.find("[run] engine stopped"), std::string::npos);
}
