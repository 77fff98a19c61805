// The data session of `korvianet-cli connect` survives what the desktop does
// to it: SIGTERM and SIGHUP hang up and record it, a kill -9 leaves a
// journal that the next command folds into the traffic files, a link the
// simulator drops is dialled again when the user asked for that, and a
// suspend hangs up and records it, the resume dialling again.
#include "RunCli.h"

#include "platform/RuntimeDir.h"
#include "settings/FileUtil.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"
#include "support/FakeLogind.h"
#include "support/PrivateBus.h"
#include "support/TempSettings.h"
#include "traffic/SessionJournal.h"
#include "traffic/TrafficRecords.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include "platform/Event.h"
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <thread>

using kvtest::RunCli;

namespace {

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", settings.Dir().c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
        unsetenv("KORVIANET_RAS_BACKEND");
        kv::sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<kv::sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
    }
    void TearDown() override
    {
        sim->Stop();
        unsetenv("KORVIANET_SYSFS_ROOT");
        unsetenv(kvtraffic::kJournalSecondsEnv);
        unsetenv("KORVIANET_RECONNECT_DELAYS_MS");
        unsetenv("KORVIANET_SYSTEM_BUS_ADDRESS");
    }
    std::vector<std::string> Args(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir()});
        return args;
    }
    std::vector<kvtraffic::TrafficRecord> Records(const char* file) const
    {
        const std::string bytes = kvtest::ReadFileBytes(settings.DataDir() + "/" + file);
        std::vector<kvtraffic::TrafficRecord> out;
        for (size_t at = 0; at + kvtraffic::kTrafficRecordSize <= bytes.size(); at += kvtraffic::kTrafficRecordSize)
            out.push_back(kvtraffic::DecodeTrafficRecord(reinterpret_cast<const uint8_t*>(bytes.data() + at)));
        return out;
    }
    // The journals in the data folder.
    std::vector<std::string> Journals() const
    {
        std::vector<std::string> out;
        const std::string dir = settings.DataDir() + "/sessions";
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string n = e->d_name;
                if (n.size() > 8 && n.compare(n.size() - 8, 8, ".journal") == 0)
                    out.push_back(dir + "/" + n);
            }
            ::closedir(d);
        }
        return out;
    }

    // Runs connect; once it is connected (its status file is up) and
    // afterMs more have passed, sig goes to it (pid from its pid file).
    kvtest::CliResult ConnectAndSignal(int sig, int64_t afterMs)
    {
        std::thread killer([&] {
            const int64_t end = kv::TickMs() + 25000;
            std::string text;
            while (!kv::ReadWholeFile(kv::CRunLock::PathOf("korvianet-connect.status"), text) && kv::TickMs() < end)
                kv::SleepMs(50);
            kv::SleepMs(afterMs);
            if (const pid_t pid = kv::CRunLock::HolderPid("korvianet-connect.lock"); pid > 1)
                ::kill(pid, sig);
        });
        auto r = RunCli(Args({"connect", "--user", "card", "--password-file", kvtest::PasswordFile(settings.Dir(), "card")}));
        killer.join();
        return r;
    }

    kvtest::TempSettings settings;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
};

} // namespace

TEST_F(Session, SigtermAndSighupHangUpAndRecordTheSession)
{
    int n = 0;
    for (const int sig : {SIGTERM, SIGHUP}) {
        const auto r = ConnectAndSignal(sig, 2000);
        EXPECT_EQ(r.exitCode, 0) << "signal " << sig << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find("[net] hanging up"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("traffic record appended"), std::string::npos) << r.out;
        ++n;
        const auto recs = Records("PktFF.dat");
        ASSERT_EQ(recs.size(), size_t(n)) << r.out;
        EXPECT_GT(recs.back().bytesReceived, 0u);
        EXPECT_EQ(Records("PktLF.dat").size(), size_t(n));
        EXPECT_TRUE(Journals().empty()); // a session that ended leaves no journal
    }
}

TEST_F(Session, AKilledConnectsJournalIsFoldedByTheNextCommand)
{
    setenv(kvtraffic::kJournalSecondsEnv, "1", 1);
    const auto r = ConnectAndSignal(SIGKILL, 3500); // a few checkpoints
    EXPECT_EQ(r.exitCode, -1); // killed
    EXPECT_TRUE(Records("PktFF.dat").empty()) << "nothing was recorded at the kill";
    const auto journals = Journals();
    ASSERT_EQ(journals.size(), 1u) << r.out;
    std::string text;
    kvtraffic::JournalCounters last;
    ASSERT_TRUE(kv::ReadWholeFile(journals[0], text));
    ASSERT_TRUE(kvtraffic::DecodeSessionJournal(text, last)) << text;
    EXPECT_GT(last.received, 0u);

    const auto t = RunCli(Args({"traffic"}));
    EXPECT_EQ(t.exitCode, 0) << t.err;
    EXPECT_NE(t.err.find("traffic journal of an ended session folded: "), std::string::npos) << t.err;
    for (const char* file : {"PktFF.dat", "PktMF.dat", "PktLF.dat"}) {
        const auto recs = Records(file);
        ASSERT_EQ(recs.size(), 1u) << file;
        EXPECT_GE(recs[0].bytesReceived, last.received);
        EXPECT_EQ(recs[0].bytesSent, last.sent);
        EXPECT_EQ(recs[0].duration, last.duration);
    }
    EXPECT_TRUE(Journals().empty());
    // Once only.
    EXPECT_EQ(RunCli(Args({"traffic"})).err.find("folded"), std::string::npos);
    EXPECT_EQ(Records("PktFF.dat").size(), 1u);
}

TEST_F(Session, ARunningConnectsJournalIsNotFoldedByAnotherCommand)
{
    setenv(kvtraffic::kJournalSecondsEnv, "1", 1);
    std::atomic<bool> checked{false};
    kvtest::CliResult during;
    std::thread other([&] {
        const int64_t end = kv::TickMs() + 20000;
        while (Journals().empty() && kv::TickMs() < end)
            kv::SleepMs(50);
        during = RunCli(Args({"traffic"}));
        checked = true;
    });
    const auto r = RunCli(Args({"connect", "--seconds", "5", "--user", "card", "--password-file", kvtest::PasswordFile(settings.Dir(), "card")}));
    other.join();
    ASSERT_TRUE(checked.load());
    EXPECT_EQ(during.err.find("folded"), std::string::npos) << during.err;
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Records("PktFF.dat").size(), 1u); // the connect's own record only
}

TEST_F(Session, ALinkTheSimulatorDropsIsDialledAgainWhenTheSettingIsOn)
{
    ASSERT_TRUE(kv::WriteProfileString("reconnect", "num", "1", "korvianet.ini"));
    setenv("KORVIANET_RECONNECT_DELAYS_MS", "300", 1);
    std::thread dropper([&] {
        // Once connected (the status file is up), the link goes down.
        const std::string status = kv::CRunLock::PathOf("korvianet-connect.status");
        const int64_t end = kv::TickMs() + 20000;
        std::string text;
        while (!kv::ReadWholeFile(status, text) && kv::TickMs() < end)
            kv::SleepMs(50);
        EXPECT_EQ(sim->Command("drop"), "OK\n");
    });
    const auto r = RunCli(Args({"connect", "--seconds", "12", "--user", "card", "--password-file", kvtest::PasswordFile(settings.Dir(), "card")}));
    dropper.join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[net] link lost: Reconnecting (attempt 1 of 10)..."), std::string::npos) << r.out;
    // The lost session and the one after the reconnect.
    EXPECT_EQ(Records("PktFF.dat").size(), 2u) << r.out;
}

TEST_F(Session, ASuspendHangsUpAndRecordsTheSessionAndTheResumeDialsAgain)
{
    kvtest::PrivateBus bus(settings.Dir());
    if (!bus.Start())
        GTEST_SKIP() << "no dbus-daemon";
    kvtest::FakeLogind logind(bus.Address());
    ASSERT_TRUE(logind.Start());
    setenv("KORVIANET_SYSTEM_BUS_ADDRESS", bus.Address().c_str(), 1);
    std::atomic<int> locksAfterSleep{-1};
    std::thread machine([&] {
        auto waitFor = [](const std::function<bool()>& done, int64_t ms) {
            const int64_t end = kv::TickMs() + ms;
            while (!done() && kv::TickMs() < end)
                kv::SleepMs(20);
            return done();
        };
        std::string text;
        const std::string status = kv::CRunLock::PathOf("korvianet-connect.status");
        if (!waitFor([&] { return kv::ReadWholeFile(status, text) && logind.LocksHeld() == 1; }, 20000))
            return;
        kv::SleepMs(1000);
        logind.EmitPrepareForSleep(true);
        waitFor([&] { return logind.LocksHeld() == 0; }, 6000);
        locksAfterSleep = int(Records("PktFF.dat").size());
        kv::SleepMs(1000);
        logind.EmitPrepareForSleep(false);
    });
    const auto r = RunCli(Args({"connect", "--seconds", "9", "--user", "card", "--password-file",
                                kvtest::PasswordFile(settings.Dir(), "card")}));
    machine.join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(locksAfterSleep.load(), 1) << "the record is in when the lock goes\n" << r.out;
    EXPECT_NE(r.out.find("[net] sleep: hanging up before sleep"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[net] sleep: dialling again after the resume"), std::string::npos) << r.out;
    // The session the sleep ended and the one after the resume.
    const auto recs = Records("PktFF.dat");
    ASSERT_EQ(recs.size(), 2u) << r.out;
    EXPECT_GT(recs[0].bytesReceived, 0u);
    EXPECT_GT(recs[1].bytesReceived, 0u);
    EXPECT_EQ(logind.LocksHeld(), 0);
}

#ifdef KV_APP_PATH
// The window as a program: a signal closes it as Exit does and it ends
// normally, with status 0, instead of dying of the signal.
TEST_F(Session, TheWindowEndsWithStatusZeroOnSigtermAndSighup)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (const int sig : {SIGTERM, SIGHUP}) {
        const auto r = kvtest::RunProgram(KV_APP_PATH, {}, 5000, sig);
        EXPECT_EQ(r.exitCode, 0) << "signal " << sig << "\n" << r.err;
    }
}
#endif
