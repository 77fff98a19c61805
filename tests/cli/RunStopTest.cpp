// "run" against the simulated modem stops on time: at the end of its
// seconds and on SIGTERM, also while a phonebook read is under way and when
// the modem reports an absurd number of phonebook entries.
#include "RunCli.h"

#include "platform/Event.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

using kvtest::RunCli;

namespace {

class CliRunStop : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        m_db = settings.Dir() + "/WVL.MDB";
        std::filesystem::copy_file(KORVIA_BUILT_DB, m_db);
        setenv("KORVIANET_DB", m_db.c_str(), 1);
    }
    void TearDown() override
    {
        if (sim)
            sim->Stop();
        unsetenv("KORVIANET_DB");
        unsetenv("KORVIANET_SYSFS_ROOT");
    }
    void StartSim(int cardEntries)
    {
        kv::sim::ModemSimulator::Options o;
        o.registerDevice = false;
        o.demoState = false;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<kv::sim::ModemSimulator>(o);
        sim->WithModel([&](kv::sim::ModemModel& m) {
            m.pbRuim.capacity = uint16_t(cardEntries);
            for (int i = 1; i <= cardEntries; ++i)
                m.pbRuim.entries[uint32_t(i)] = kv::sim::PbEntry{"555" + std::to_string(1000 + i), "N" + std::to_string(i)};
        });
        ASSERT_TRUE(sim->Start());
    }
    // Runs "run" with args; the wall time it took in ms.
    int64_t Run(std::vector<std::string> args, kvtest::CliResult& r, int signalAfterMs = -1)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir(), "--device", sim->SlavePath(), "run"});
        const int64_t start = kv::TickMs();
        r = RunCli(args, signalAfterMs, SIGTERM);
        return kv::TickMs() - start;
    }

    kvtest::TempSettings settings;
    std::string m_db;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
};

bool Before(const std::string& out, const std::string& first, const std::string& second)
{
    const size_t a = out.find(first);
    const size_t b = out.find(second);
    return a != std::string::npos && b != std::string::npos && a < b;
}

} // namespace

TEST_F(CliRunStop, AModemReporting65535PhonebookEntriesStopsOnTime)
{
    StartSim(5);
    ASSERT_EQ(sim->Command("pb-count ruim 65535 65535").substr(0, 2), "OK");
    ASSERT_EQ(sim->Command("pb-count memory 65535").substr(0, 2), "OK");
    kvtest::CliResult r;
    const int64_t ms = Run({"--seconds", "5"}, r);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(ms, 5000 + 5000) << "the stop took effect " << ms - 5000 << " ms late";
    EXPECT_NE(r.out.find("phonebook in use 65535 taken as 1000"), std::string::npos);
    EXPECT_NE(r.out.find("engine stopped"), std::string::npos);
}

TEST_F(CliRunStop, ASignalDuringALongPhonebookReadStopsWithinSeconds)
{
    StartSim(1000);
    ASSERT_EQ(sim->Command("delay 100").substr(0, 2), "OK"); // every answer comes late
    kvtest::CliResult r;
    const int64_t ms = Run({}, r, 6000);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Before(r.out, "PBook Count Reord Read", "phonebook read stopped")) << "stopped inside the read";
    EXPECT_LT(ms, 6000 + 4000) << "the stop took effect " << ms - 6000 << " ms late";
    EXPECT_NE(r.out.find("engine stopped"), std::string::npos);
}
