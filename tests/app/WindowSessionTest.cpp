// The window's data session survives the desktop: a SIGTERM, SIGHUP or
// SIGINT to the program closes it as Exit does (the session hung up and its
// record written), a journal left by a killed session is folded into the
// traffic files when the window starts, and a suspend hangs the session up
// and records it, the resume dialling it again.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "net/ConnectionManager.h"
#include "net/SimRasBackend.h"
#include "settings/FileUtil.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"
#include "support/FakeLogind.h"
#include "support/PrivateBus.h"
#include "traffic/SessionJournal.h"
#include "traffic/TrafficRecords.h"

#include <QTimer>
#include <csignal>
#include <unistd.h>

using namespace kv;

namespace {

class WindowSession : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        kvtest::ShellTest::SetUp();
        kvnet::CSimRasBackend::Options o;
        o.stepMs = 20;
        backend = std::make_shared<kvnet::CSimRasBackend>(o);
        kvnet::SetDefaultRasBackend(backend);
        WriteProfileString("username", "text", "card", "teal_dialer.ini");
        WriteProfileString("password", "text", "card", "teal_dialer.ini");
        sim::ModemSimulator::Options so;
        so.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(so);
        ASSERT_TRUE(sim->Start());
    }
    void TearDown() override
    {
        sim->Stop();
        kvnet::SetDefaultRasBackend(nullptr);
        kvtest::ShellTest::TearDown();
    }
    size_t RecordCount(const char* file) const
    {
        return kvtest::ReadFileBytes(settings.DataDir() + "/" + file).size() / kvtraffic::kTrafficRecordSize;
    }
    kvtraffic::TrafficRecord LastRecord() const
    {
        const std::string bytes = kvtest::ReadFileBytes(settings.DataDir() + "/PktLF.dat");
        kvtraffic::TrafficRecord r;
        if (bytes.size() >= size_t(kvtraffic::kTrafficRecordSize))
            r = kvtraffic::DecodeTrafficRecord(
                reinterpret_cast<const uint8_t*>(bytes.data() + bytes.size() - kvtraffic::kTrafficRecordSize));
        return r;
    }

    std::shared_ptr<kvnet::CSimRasBackend> backend;
    std::unique_ptr<sim::ModemSimulator> sim;
};

} // namespace

TEST_F(WindowSession, ASignalWhileConnectedClosesTheWindowAndRecordsTheSession)
{
    int n = 0;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        CDialer_oneApp app;
        app.SetWiring([](CDialer_oneApp&, CDialer_oneDlg& d) { kvapp::WireDataConnection(d); });
        bool pressed = false, sent = false;
        qint64 connectedAt = -1;
        QElapsedTimer clock;
        clock.start();
        app.SetOnShown([&](CDialer_oneDlg& dlg) {
            auto* poll = new QTimer(&dlg);
            QObject::connect(poll, &QTimer::timeout, &dlg, [&, poll] {
                if (!pressed && dlg.Control(kv::IDC_NET_CONNECT)->isEnabled()) {
                    pressed = true;
                    dlg.OnCommand(kv::IDC_NET_CONNECT);
                }
                if (connectedAt < 0 && backend->LiveConnections() == 1
                    && dlg.Control(kv::IDC_NET_DISCONNECT)->isVisible())
                    connectedAt = clock.elapsed();
                if (!sent && connectedAt >= 0 && clock.elapsed() - connectedAt > 2500) {
                    sent = true;
                    ::kill(::getpid(), sig); // as `kill` or a logout would
                }
                if (clock.elapsed() > 60000) { // never left waiting
                    poll->stop();
                    dlg.CloseProcedure();
                }
            });
            poll->start(50);
        });
        EXPECT_FALSE(app.InitInstance());
        ++n;
        EXPECT_TRUE(sent) << "signal " << sig << " never sent: the connection did not come up";
        EXPECT_EQ(backend->HangUps(), n) << "signal " << sig;
        EXPECT_EQ(RecordCount("PktFF.dat"), size_t(n)) << "signal " << sig;
        EXPECT_EQ(RecordCount("PktLF.dat"), size_t(n));
        EXPECT_GT(LastRecord().bytesReceived, 0u);
        EXPECT_GE(LastRecord().duration, 2000u);
        EXPECT_EQ(kvtraffic::FoldEndedSessionJournals().folded, 0); // the ended session left no journal
    }
    // The handlers are the process's own again.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST_F(WindowSession, AKilledSessionsJournalIsFoldedWhenTheWindowStarts)
{
    {
        kvtraffic::CSessionJournal j;
        ASSERT_TRUE(j.Begin());
        kvtraffic::JournalCounters c;
        c.written = int64_t(std::time(nullptr)) - 120;
        c.duration = 45000;
        c.sent = 1234;
        c.received = 56789;
        ASSERT_TRUE(j.Checkpoint(c));
    } // the writer is gone without its record
    CDialer_oneApp app;
    app.SetOnShown([](CDialer_oneDlg& dlg) { dlg.CloseProcedure(); });
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(RecordCount("PktFF.dat"), 1u);
    EXPECT_EQ(RecordCount("PktMF.dat"), 1u);
    EXPECT_EQ(LastRecord().bytesReceived, 56789u);
    EXPECT_EQ(LastRecord().bytesSent, 1234u);
    EXPECT_EQ(LastRecord().duration, 45000u);
}

TEST_F(WindowSession, ASuspendHangsUpAndRecordsTheSessionAndTheResumeDialsAgain)
{
    kvtest::PrivateBus bus(settings.Dir());
    if (!bus.Start())
        GTEST_SKIP() << "no dbus-daemon";
    kvtest::FakeLogind logind(bus.Address());
    ASSERT_TRUE(logind.Start());
    setenv("KORVIANET_SYSTEM_BUS_ADDRESS", bus.Address().c_str(), 1);
    CDialer_oneApp app;
    app.SetWiring([](CDialer_oneApp&, CDialer_oneDlg& d) { kvapp::WireDataConnection(d); });
    int phase = 0;
    qint64 connectedAt = 0;
    bool hungUp = false, redialled = false;
    size_t recordsAsleep = 0;
    QElapsedTimer clock;
    clock.start();
    app.SetOnShown([&](CDialer_oneDlg& dlg) {
        auto* poll = new QTimer(&dlg);
        QObject::connect(poll, &QTimer::timeout, &dlg, [&, poll] {
            const bool up = backend->LiveConnections() == 1 && dlg.Control(kv::IDC_NET_DISCONNECT)->isVisible();
            if (phase == 0 && dlg.Control(kv::IDC_NET_CONNECT)->isEnabled()) {
                dlg.OnCommand(kv::IDC_NET_CONNECT);
                phase = 1;
            } else if (phase == 1 && up && logind.LocksHeld() == 1) {
                connectedAt = clock.elapsed();
                phase = 2;
            } else if (phase == 2 && clock.elapsed() - connectedAt > 2500) { // some bytes counted
                logind.EmitPrepareForSleep(true);
                phase = 3;
            } else if (phase == 3 && logind.LocksHeld() == 0 && RecordCount("PktFF.dat") == 1) {
                hungUp = backend->HangUps() == 1 && backend->LiveConnections() == 0;
                recordsAsleep = RecordCount("PktLF.dat");
                logind.EmitPrepareForSleep(false);
                phase = 4;
            } else if (phase == 4 && up && backend->Dials() == 2) {
                redialled = true;
                connectedAt = clock.elapsed();
                phase = 5;
            } else if (phase == 5 && clock.elapsed() - connectedAt > 2500) {
                phase = 6;
                dlg.CloseProcedure();
            }
            if (clock.elapsed() > 60000) { // never left waiting
                poll->stop();
                dlg.CloseProcedure();
            }
        });
        poll->start(50);
    });
    EXPECT_FALSE(app.InitInstance());
    unsetenv("KORVIANET_SYSTEM_BUS_ADDRESS");
    EXPECT_TRUE(hungUp) << "phase " << phase << " locks " << logind.LocksHeld() << " records "
                        << RecordCount("PktFF.dat") << " hang-ups " << backend->HangUps() << " dials "
                        << backend->Dials();
    EXPECT_EQ(recordsAsleep, 1u);
    EXPECT_TRUE(redialled) << "phase " << phase;
    // The session after the resume is recorded at the close.
    EXPECT_EQ(RecordCount("PktFF.dat"), 2u);
    EXPECT_EQ(backend->HangUps(), 2);
    EXPECT_EQ(logind.LocksHeld(), 0);
}
