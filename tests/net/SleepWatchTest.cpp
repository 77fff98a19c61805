// Suspend and resume through a private bus (the real dbus-daemon) and a
// fake logind: the delay lock is held only while wanted and released after
// the sleep was handled, forged signals and a missing bus or logind change
// nothing, and the connection manager hangs up and records a session before
// sleep and dials it again after the resume.
#include "NetFixture.h"

#include "net/SessionSleep.h"
#include "net/SleepWatch.h"
#include "platform/Event.h"
#include "support/FakeLogind.h"
#include "support/PrivateBus.h"

#include <atomic>

using namespace kvnet;

namespace {

bool WaitFor(const std::function<bool()>& done, int64_t ms = 5000)
{
    const int64_t end = kv::TickMs() + ms;
    while (!done()) {
        if (kv::TickMs() > end)
            return false;
        kv::SleepMs(10);
    }
    return true;
}

class SleepBus : public kvtest::NetTest {
protected:
    void SetUp() override
    {
        bus = std::make_unique<kvtest::PrivateBus>(settings.Dir());
        if (!bus->Start())
            GTEST_SKIP() << "no dbus-daemon";
        logind = std::make_unique<kvtest::FakeLogind>(bus->Address());
        ASSERT_TRUE(logind->Start());
    }
    void TearDown() override
    {
        sleep.reset(); // before the manager
        if (manager)
            manager->Shutdown();
        if (logind)
            logind->Stop();
    }
    // A manager over the simulated service whose records note whether the
    // sleep lock was still held when they were written.
    void StartSessionManager()
    {
        kvnet::ConnectionUi ui = Ui();
        auto append = ui.appendTraffic;
        ui.appendTraffic = [this, append](const kvtraffic::TrafficRecord& r) {
            {
                std::lock_guard<std::mutex> g(recordLock);
                locksAtRecord.push_back(logind->LocksHeld());
            }
            return append(r);
        };
        ui.modemPresent = [] { return true; };
        manager = std::make_unique<kvnet::CConnectionManager>(host, ui);
        manager->SetAccount("card", "card", "");
        ASSERT_TRUE(manager->Start());
        sleep = std::make_unique<CSessionSleep>(*manager, [this](const std::string& l) {
            std::lock_guard<std::mutex> g(recordLock);
            notes.push_back(l);
        }, bus->Address());
        ASSERT_TRUE(WaitFor([&] { return sleep->Watch().Listening(); }));
    }
    bool Noted(const std::string& line)
    {
        std::lock_guard<std::mutex> g(recordLock);
        return std::find(notes.begin(), notes.end(), line) != notes.end();
    }

    std::unique_ptr<kvtest::PrivateBus> bus;
    std::unique_ptr<kvtest::FakeLogind> logind;
    std::unique_ptr<CSessionSleep> sleep;
    std::vector<int> locksAtRecord; // under recordLock
    std::vector<std::string> notes;
};

struct Watched {
    std::atomic<bool> want{false};
    std::atomic<int> sleeps{0}, resumes{0};
    std::atomic<int> locksDuringSleep{-1};
    SleepWatchHooks Hooks(kvtest::FakeLogind* logind)
    {
        SleepWatchHooks h;
        h.holdLock = [this] { return want.load(); };
        h.beforeSleep = [this, logind] {
            if (logind)
                locksDuringSleep = logind->LocksHeld();
            kv::SleepMs(300); // a hang-up takes a while
            ++sleeps;
        };
        h.afterResume = [this] { ++resumes; };
        return h;
    }
};

} // namespace

TEST_F(SleepBus, TheDelayLockIsHeldWhileWantedAndReleasedOnceTheSleepIsHandled)
{
    Watched w;
    CSleepWatch watch(w.Hooks(logind.get()), bus->Address());
    ASSERT_TRUE(watch.Start());
    ASSERT_TRUE(WaitFor([&] { return watch.Listening(); }));
    kv::SleepMs(400);
    EXPECT_TRUE(logind->Calls().empty()); // nothing to protect, no lock

    w.want = true;
    ASSERT_TRUE(WaitFor([&] { return logind->LocksHeld() == 1 && watch.LockHeld(); }));
    const auto calls = logind->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].what, "sleep");
    EXPECT_EQ(calls[0].mode, "delay");
    EXPECT_EQ(calls[0].who, "Korvianet");

    ASSERT_TRUE(logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(WaitFor([&] { return w.sleeps.load() == 1; }));
    EXPECT_EQ(w.locksDuringSleep.load(), 1); // held while the hang-up runs
    ASSERT_TRUE(WaitFor([&] { return logind->LocksHeld() == 0; }));
    kv::SleepMs(600);
    EXPECT_EQ(logind->Calls().size(), 1u) << "no new lock while asleep";
    EXPECT_EQ(w.resumes.load(), 0);

    ASSERT_TRUE(logind->EmitPrepareForSleep(false));
    ASSERT_TRUE(WaitFor([&] { return w.resumes.load() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return logind->LocksHeld() == 1; })) << "the lock comes back after the resume";
    EXPECT_EQ(logind->Calls().size(), 2u);

    w.want = false;
    ASSERT_TRUE(WaitFor([&] { return logind->LocksHeld() == 0 && !watch.LockHeld(); }));
    w.want = true;
    ASSERT_TRUE(WaitFor([&] { return logind->LocksHeld() == 1; }));
    const int64_t t0 = kv::TickMs();
    watch.Stop(); // the lock goes with the watch
    EXPECT_LT(kv::TickMs() - t0, 1000);
    EXPECT_EQ(logind->LocksHeld(), 0);
    EXPECT_EQ(w.sleeps.load(), 1);
}

TEST_F(SleepBus, AForgedSignalARefusedLockAndAMissingLogindChangeNothing)
{
    Watched w;
    w.want = true;
    CSleepWatch watch(w.Hooks(nullptr), bus->Address());
    ASSERT_TRUE(watch.Start());
    ASSERT_TRUE(WaitFor([&] { return watch.Listening() && logind->LocksHeld() == 1; }));

    // Anyone on the bus may send a signal of that name; only logind counts.
    ASSERT_TRUE(kvtest::EmitForgedPrepareForSleep(bus->Address(), true));
    kv::SleepMs(500);
    EXPECT_EQ(w.sleeps.load(), 0);
    EXPECT_EQ(logind->LocksHeld(), 1);

    // A logind that refuses the lock: the sleep is still handled.
    w.want = false;
    ASSERT_TRUE(WaitFor([&] { return logind->LocksHeld() == 0; }));
    logind->RefuseLocks(true);
    w.want = true;
    ASSERT_TRUE(WaitFor([&] { return logind->Calls().size() == 2; }));
    kv::SleepMs(300);
    EXPECT_FALSE(watch.LockHeld());
    ASSERT_TRUE(logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(WaitFor([&] { return w.sleeps.load() == 1; }));

    // logind gone from the bus: nothing breaks, the watch stops promptly.
    logind->Stop();
    kv::SleepMs(300);
    EXPECT_FALSE(watch.Ended());
    const int64_t t0 = kv::TickMs();
    watch.Stop();
    EXPECT_LT(kv::TickMs() - t0, 1000);
}

TEST(SleepWatchWithoutBus, NoBusIsLoggedAndTheSessionRunsAsBefore)
{
    Watched w;
    w.want = true;
    std::vector<std::string> notes;
    std::mutex lock;
    SleepWatchHooks h = w.Hooks(nullptr);
    h.note = [&](const std::string& l) {
        std::lock_guard<std::mutex> g(lock);
        notes.push_back(l);
    };
    CSleepWatch watch(h, "unix:path=/nonexistent/sleep-bus");
    ASSERT_TRUE(watch.Start());
    ASSERT_TRUE(WaitFor([&] { return watch.Ended(); }));
    EXPECT_FALSE(watch.Listening());
    watch.Stop();
    std::lock_guard<std::mutex> g(lock);
    ASSERT_EQ(notes.size(), 1u); // said once
    EXPECT_NE(notes[0].find("no system bus"), std::string::npos) << notes[0];
    EXPECT_EQ(w.sleeps.load(), 0);
}

TEST_F(SleepBus, BeforeSleepTheSessionIsHungUpAndRecordedAndTheResumeDialsItAgain)
{
    StartSessionManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    ASSERT_TRUE(Until([&] { return logind->LocksHeld() == 1; }));
    ASSERT_TRUE(Until([&] { return manager->ReceivedBytes() > 20000; }));
    const uint32_t rx = manager->ReceivedBytes();

    ASSERT_TRUE(logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(Until([&] { return !Records().empty() && logind->LocksHeld() == 0; }));
    EXPECT_EQ(backend->HangUps(), 1);
    EXPECT_EQ(backend->LiveConnections(), 0u);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_GE(Records()[0].bytesReceived, rx);
    {
        std::lock_guard<std::mutex> g(recordLock);
        ASSERT_EQ(locksAtRecord.size(), 1u);
        EXPECT_EQ(locksAtRecord[0], 1) << "the record is written before the lock goes";
    }
    EXPECT_TRUE(Noted("hanging up before sleep"));
    EXPECT_TRUE(manager->SleepDialPending());

    // Asleep: nothing is dialled.
    host.PumpFor(1500);
    EXPECT_EQ(backend->Dials(), 1);
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);

    ASSERT_TRUE(logind->EmitPrepareForSleep(false));
    ASSERT_TRUE(Until([&] { return backend->Dials() == 2; }));
    ASSERT_TRUE(Connected());
    EXPECT_FALSE(manager->SleepDialPending());
    EXPECT_TRUE(Noted("dialling again after the resume"));
    ASSERT_TRUE(Until([&] { return logind->LocksHeld() == 1; }));

    // The second session ends as any other.
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return Records().size() == 2 && logind->LocksHeld() == 0; }));
}

TEST_F(SleepBus, NoDialAfterTheResumeUnlessTheUserWasConnectedOrStillWantsIt)
{
    StartSessionManager();
    // Not connected: the sleep and the resume pass by.
    ASSERT_TRUE(logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(logind->EmitPrepareForSleep(false));
    host.PumpFor(1500);
    EXPECT_EQ(backend->Dials(), 0);
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(logind->Calls().empty());
    EXPECT_FALSE(Noted("hanging up before sleep"));

    // Hung up for the sleep, then the user's own Disconnect before the
    // resume: the user no longer wants the session.
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    ASSERT_TRUE(logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(Until([&] { return Records().size() == 1 && manager->State() == RAS_REQ_LOOK; }));
    manager->NetDisconnect();
    host.PumpFor(700);
    ASSERT_TRUE(logind->EmitPrepareForSleep(false));
    host.PumpFor(1500);
    EXPECT_EQ(backend->Dials(), 1);
    EXPECT_FALSE(manager->SleepDialPending());
}
