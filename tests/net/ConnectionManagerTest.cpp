// The connection manager against the simulated dial-up service: the whole
// life of a connection as the buttons and the monitor thread drive it.
#include "NetFixture.h"

#include "platform/Event.h"

using namespace kvnet;
using kvtest::NetTest;

namespace {

constexpr int kDurationLine = kDurationLineId;

} // namespace

TEST_F(NetTest, ConnectCountsAndDisconnectAppendsTheSession)
{
    StartManager();
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);
    EXPECT_FALSE(host.ControlShown(kv::IDC_NET_DISCONNECT));

    manager->NetConnect();
    EXPECT_FALSE(host.ControlEnabled(kv::IDC_NET_CONNECT)); // until the connection ends
    ASSERT_TRUE(Connected());
    RasDialParams dial;
    ASSERT_TRUE(backend->LastDial(dial));
    EXPECT_EQ(dial.phoneNumber, "*99#"); // no IMSI, no CDMA service
    EXPECT_EQ(dial.entry, kEntryLabel);
    EXPECT_EQ(dial.userName, "card");
    EXPECT_FALSE(host.ControlShown(kv::IDC_NET_CONNECT));
    EXPECT_TRUE(host.ControlShown(kv::IDC_NET_DISCONNECT));
    EXPECT_TRUE(host.ControlShown(kDurationLine));
    EXPECT_EQ(host.Indicator(kv::IND_CALL), 128);

    // The duration counts and the counters grow (the duration line shows it
    // once the message line rests, see below).
    ASSERT_TRUE(Until([&] { return manager->DurationText() == "00:00:01"; }, 4000));
    const uint32_t rx1 = manager->ReceivedBytes();
    ASSERT_TRUE(Until([&] { return manager->ReceivedBytes() > rx1; }));
    EXPECT_GT(manager->SentBytes(), 0u);
    EXPECT_GT(PostedCount(kv::CONFIG_UPDATE_TRAFFIC), 0u);

    const uint32_t rxBefore = manager->ReceivedBytes();
    const uint32_t durBefore = manager->Duration();
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return !Records().empty() && manager->State() == RAS_REQ_LOOK; }));
    const auto rec = Records().at(0);
    EXPECT_GE(rec.bytesReceived, rxBefore);
    EXPECT_GE(rec.duration, durBefore);
    EXPECT_GT(rec.bytesSent, 0u);
    EXPECT_NEAR(double(rec.time), double(std::time(nullptr)), 5.0);
    EXPECT_EQ(PostedCount(kv::CONFIG_UPDATE_SESSION_ENDED), 1u);

    // Back to looking: counters zero, line cleared, one button, a new client.
    EXPECT_EQ(manager->ReceivedBytes(), 0u);
    EXPECT_EQ(manager->Duration(), 0u);
    EXPECT_EQ(host.LineText(kDurationLine), "");
    EXPECT_TRUE(host.ControlShown(kv::IDC_NET_CONNECT));
    EXPECT_TRUE(host.ControlEnabled(kv::IDC_NET_CONNECT));
    EXPECT_FALSE(host.ControlShown(kv::IDC_NET_DISCONNECT));
    EXPECT_EQ(host.Indicator(kv::IND_DATA_RATE_A), 128);
    EXPECT_EQ(host.Indicator(kv::IND_CALL), 129);
    EXPECT_EQ(backend->HangUps(), 1);
    EXPECT_EQ(backend->LiveConnections(), 0u);
    EXPECT_EQ(clientsMade.load(), 2);
}

// The message line and the duration line share one place: the dial's
// closing text keeps it until the line rests again, and the duration is
// never drawn over a text on the first row.
TEST_F(NetTest, TheDialsClosingTextKeepsTheSharedPlaceUntilTheLineRests)
{
    EXPECT_TRUE(TextTakesFirstLine("Connection\nSuccess\nPlease wait..."));
    EXPECT_TRUE(TextTakesFirstLine("Modem \nReset"));
    EXPECT_FALSE(TextTakesFirstLine("\nKorvia"));
    EXPECT_FALSE(TextTakesFirstLine(" "));
    EXPECT_FALSE(TextTakesFirstLine(""));

    StartManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    ASSERT_TRUE(TextTakesFirstLine(host.MessageLine())) << host.MessageLine();
    bool overlap = false;
    auto sample = [&] {
        overlap = overlap || (TextTakesFirstLine(host.MessageLine()) && !host.LineText(kDurationLine).empty());
    };
    // The duration counts meanwhile, but is not drawn over the text.
    ASSERT_TRUE(Until([&] { sample(); return manager->Duration() >= 1500; }));
    EXPECT_EQ(host.LineText(kDurationLine), "");
    // Timer 101 gives the line back; the status poll's next idle report puts
    // the resting text up, and the duration takes the first row.
    ASSERT_TRUE(Until([&] { sample(); return !host.TimerActive(kv::TIMER_RESTORE_MESSAGE_LINE); }, 8000));
    host.SetIndicator(kv::IND_MESSAGE_LINE, 2);
    EXPECT_EQ(host.MessageLine(), "\nKorvia");
    ASSERT_TRUE(Until([&] { sample(); return !host.LineText(kDurationLine).empty(); }, 2000));
    EXPECT_FALSE(overlap);
    EXPECT_EQ(host.LineText(kDurationLine), manager->DurationText());
}

TEST_F(NetTest, TheQueueRefusesWhatWouldOvertakeADisconnectOrTerminate)
{
    StartManager();
    manager->StopThread(); // the queue alone
    EXPECT_FALSE(manager->RasRequest(0, false));
    EXPECT_TRUE(manager->RasRequest(RAS_REQ_MONITOR, false));
    EXPECT_TRUE(manager->RasRequest(RAS_REQ_CONNECT, true));
    EXPECT_TRUE(manager->RasRequest(RAS_REQ_DISCONNECT, true));
    // A second disconnect, or anything else, is refused while one is queued.
    EXPECT_FALSE(manager->RasRequest(RAS_REQ_DISCONNECT, true));
    EXPECT_FALSE(manager->RasRequest(RAS_REQ_RESET, false));
    EXPECT_TRUE(manager->RasRequest(RAS_REQ_TERMINATE, true));
    EXPECT_FALSE(manager->RasRequest(RAS_REQ_TERMINATE, true));
    EXPECT_EQ(manager->RasRequestCount(), 4u);
    manager->RasRequestRemove(RAS_REQ_DISCONNECT);
    EXPECT_FALSE(manager->RasRequestPending(RAS_REQ_DISCONNECT));
    EXPECT_TRUE(manager->RasRequestPending(RAS_REQ_MONITOR));
    manager->RasRequestRemove(RAS_REQ_ALL);
    EXPECT_EQ(manager->RasRequestCount(), 0u);
}

TEST_F(NetTest, ASecondNetDisconnectIsRefusedByTheQueue)
{
    StartManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    // Two quick presses: the second finds the first queued and is refused.
    manager->NetDisconnect();
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_LOOK && Records().size() == 1; }));
    kv::SleepMs(600);
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_EQ(backend->HangUps(), 1);
}

TEST_F(NetTest, ACheckQueuedBehindTheDisconnectDoesNotRunAfterIt)
{
    StartManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    // The monitor pass had queued its next check when Net Disconnect was
    // pressed: the disconnect goes in front of it.
    manager->RasRequest(RAS_REQ_MONITOR, false);
    manager->NetDisconnect();
    bool disconnecting = false;
    bool monitoredAfter = false;
    ASSERT_TRUE(Until([&] {
        const uint8_t s = manager->State();
        disconnecting = disconnecting || s == RAS_REQ_DISCONNECT;
        monitoredAfter = monitoredAfter || (disconnecting && s == RAS_REQ_MONITOR);
        return s == RAS_REQ_LOOK && Records().size() == 1;
    }));
    // Watch one more period: the ended connection is never monitored again.
    Until([&] {
        monitoredAfter = monitoredAfter || manager->State() == RAS_REQ_MONITOR;
        return false;
    }, 700);
    EXPECT_FALSE(monitoredAfter);
    EXPECT_EQ(manager->FailCount(), 0);
    EXPECT_FALSE(manager->RasRequestPending(RAS_REQ_MONITOR));
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);
}

TEST_F(NetTest, AnOutsideConnectionIsAdoptedWithinASecond)
{
    StartManager();
    const int64_t t0 = kv::TickMs();
    backend->AddOutsideConnection("Other dialler");
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_MONITOR; }, 3000));
    RecordProperty("adopted_after_ms", int(kv::TickMs() - t0));
    EXPECT_LT(kv::TickMs() - t0, 1500);
    EXPECT_EQ(backend->Dials(), 0); // adopted, not dialled
    EXPECT_EQ(manager->ConnectionFlags() & kConnAdopted, kConnAdopted);
    EXPECT_TRUE(host.ControlShown(kv::IDC_NET_DISCONNECT));
    ASSERT_TRUE(Until([&] { return manager->Duration() >= 500; }));

    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_LOOK && backend->LiveConnections() == 0; }));
    EXPECT_EQ(manager->ConnectionFlags(), 0);
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(NetTest, ALostConnectionIsGivenUpAfterSevenFailedChecks)
{
    StartManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    const int64_t t0 = kv::TickMs();
    backend->DropConnections();
    // The seventh failed check queues the disconnect: about 3.5 s.
    ASSERT_TRUE(Until([&] { return manager->FailCount() >= kMaxFailedChecks || Records().size() == 1; }, 8000));
    EXPECT_TRUE(Until([&] { return host.LineText(kDurationLine) == kvnet::rastext::kLostDuration
                                   || Records().size() == 1; }));
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_LOOK && Records().size() == 1; }, 5000));
    RecordProperty("given_up_after_ms", int(kv::TickMs() - t0));
    EXPECT_GE(kv::TickMs() - t0, 3 * 1000 - 100);
    // Nothing reconnects by itself.
    kv::SleepMs(1200);
    EXPECT_EQ(backend->Dials(), 1);
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);
}

TEST_F(NetTest, StoppingWhileDiallingAbortsTheDialAndHangsUp)
{
    StartManager();
    backend->HoldDials(true);
    manager->NetConnect();
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_CONNECT && backend->Dials() == 1; }));
    kv::SleepMs(150);
    const int64_t t0 = kv::TickMs();
    manager->StopThread();
    RecordProperty("stop_while_dialling_ms", int(kv::TickMs() - t0));
    EXPECT_LT(kv::TickMs() - t0, 2500);
    EXPECT_EQ(manager->State(), 0);
    EXPECT_FALSE(manager->ThreadRunning());
    EXPECT_EQ(backend->LiveConnections(), 0u);
    EXPECT_EQ(backend->HangUps(), 1);
}

TEST_F(NetTest, AResetRestartsTheDurationAndKeepsTheTrafficSoFar)
{
    StartManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    ASSERT_TRUE(Until([&] { return manager->Duration() >= 1200; }));
    const uint32_t rxBefore = manager->ReceivedBytes();
    ASSERT_TRUE(manager->RasRequest(RAS_REQ_RESET, false));
    // The traffic counted before the reset becomes a record of its own.
    ASSERT_TRUE(Until([&] { return Records().size() == 1; }));
    EXPECT_GE(Records()[0].bytesReceived, rxBefore);
    EXPECT_GE(Records()[0].duration, 1200u);
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_MONITOR && manager->ReceivedBytes() > 0; }));
    EXPECT_LT(manager->Duration(), 1600u); // the baseline is the last read before the reset
    EXPECT_LT(manager->ReceivedBytes(), rxBefore);

    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return Records().size() == 2; }));
    EXPECT_LT(Records()[1].duration, 2500u);
}

TEST_F(NetTest, ADialErrorIsShownOnceAndTheButtonsComeBack)
{
    StartManager();
    backend->FailNextDial(RAS_ERR_AUTHENTICATION, 3);
    manager->NetConnect();
    ASSERT_TRUE(Until([&] { return !host.MessageBoxes().empty(); }));
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_LOOK && host.ControlEnabled(kv::IDC_NET_CONNECT); }));
    const auto boxes = host.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("user name or password"), std::string::npos);
    EXPECT_TRUE(Records().empty()); // nothing was received
    EXPECT_FALSE(host.ControlShown(kv::IDC_NET_DISCONNECT));
}

TEST_F(NetTest, AClientThatCannotBeRecreatedEndsTheThreadAndTheStopStillEnds)
{
    StartManager();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    failClients = true;
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return !manager->ThreadRunning(); }));
    EXPECT_EQ(manager->State(), 0);
    EXPECT_FALSE(manager->HasClient());
    EXPECT_FALSE(host.ControlEnabled(kv::IDC_NET_CONNECT)); // no client: stays disabled
    const int64_t t0 = kv::TickMs();
    manager->StopThread();
    EXPECT_LT(kv::TickMs() - t0, 500);
    // Net Connect without a client dials nothing.
    manager->NetConnect();
    kv::SleepMs(300);
    EXPECT_EQ(backend->Dials(), 1);
}

TEST_F(NetTest, WithoutAClientOnlyNetConnectIsThereAndItIsDisabled)
{
    failClients = true;
    manager = std::make_unique<CConnectionManager>(host, Ui());
    host.ShowControl(kv::IDC_NET_DISCONNECT, true); // the face's default
    EXPECT_FALSE(manager->Start());
    EXPECT_FALSE(host.ControlShown(kv::IDC_NET_DISCONNECT));
    EXPECT_FALSE(host.ControlEnabled(kv::IDC_NET_CONNECT));
    EXPECT_FALSE(manager->ThreadRunning());
    manager->StopThread(); // harmless
}

TEST_F(NetTest, TheThreadRestartsAfterTheModemCameBack)
{
    StartManager();
    manager->StopThread();
    EXPECT_FALSE(manager->ThreadRunning());
    manager->RasRequest(RAS_REQ_MONITOR, false);
    manager->RestartThread();
    EXPECT_TRUE(manager->ThreadRunning());
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);
    backend->AddOutsideConnection();
    EXPECT_TRUE(Until([&] { return manager->State() == RAS_REQ_MONITOR; }));
}

TEST_F(NetTest, TheDialStringFollowsTheCardAndTheService)
{
    EXPECT_TRUE(IsCdmaDial("460030912345678", 0));
    EXPECT_TRUE(IsCdmaDial("", 2));
    EXPECT_TRUE(IsCdmaDial("", 4));
    EXPECT_FALSE(IsCdmaDial("", 0));
    EXPECT_FALSE(IsCdmaDial("460011234567890", 4)); // a GSM card on an EV-DO capable modem
    EXPECT_FALSE(IsCdmaDial("", 3));

    // A CDMA card without a user name opens the settings page, no dial.
    StartManager("", "");
    imsi = "460030912345678";
    manager->NetConnect();
    kv::SleepMs(300);
    EXPECT_EQ(backend->Dials(), 0);
    EXPECT_EQ(manager->DialString(), "#777");

    // No IMSI but CDMA service: "#777" too.
    manager->SetAccount("card", "card", "");
    imsi.clear();
    host.State().m_ucSysMode = 4;
    manager->NetConnect();
    ASSERT_TRUE(Until([&] { return backend->Dials() == 1; }));
    RasDialParams dial;
    backend->LastDial(dial);
    EXPECT_EQ(dial.phoneNumber, "#777");
}

TEST_F(NetTest, NetConnectRefusesDuringACallAndWithACardProblem)
{
    StartManager();
    host.State().m_ucCardFlags = kv::CARDF_NO_CARD;
    manager->NetConnect();
    host.State().m_ucCardFlags = 0;
    host.State().m_ucServiceState = 2;
    host.State().m_ucLastCallState = 0x83;
    manager->NetConnect();
    const auto boxes = host.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], rastext::kOutgoingCall);
    kv::SleepMs(300);
    EXPECT_EQ(backend->Dials(), 0);
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);
}

TEST(ConnectionFormat, DurationsShowHoursOrDays)
{
    EXPECT_EQ(FormatDuration(0, 0), "00:00:00");
    EXPECT_EQ(FormatDuration(3661000, 3661000), "01:01:01");
    EXPECT_EQ(FormatDuration(86399000, 86399000), "23:59:59");
    EXPECT_EQ(FormatDuration(90000000, 90000000), "01)01:00:00");
    // After a reset the days of the whole connection pick the format.
    EXPECT_EQ(FormatDuration(90000000, 5000), "00)00:00:05");
    EXPECT_EQ(FormatDuration(4294967295u, 4294967295u), "49)17:02:47");
}

// The device watcher waits for the thread's end during a removal and is
// woken by the removal pulse: the last pulse must come when the state word
// already says the thread is gone, or the watcher sleeps a whole step more.
TEST_F(NetTest, TheEndOnRequest240PulsesTheRemovalWaiterWithTheStateCleared)
{
    std::atomic<int> stateAtPulse{-1};
    kvnet::ConnectionUi ui = Ui();
    ui.pulseRemoval = [&] { stateAtPulse = manager ? int(manager->State()) : -2; };
    manager = std::make_unique<kvnet::CConnectionManager>(host, ui);
    manager->SetAccount("card", "card", "");
    ASSERT_TRUE(manager->Start());
    ASSERT_TRUE(Until([&] { return manager->State() == RAS_REQ_LOOK; }));
    ASSERT_TRUE(manager->RasRequest(RAS_REQ_TERMINATE, true));
    ASSERT_TRUE(Until([&] { return !manager->ThreadRunning(); }));
    EXPECT_EQ(stateAtPulse.load(), 0);
}

// Whoever waits for the thread's end (a stop, the command-line tool) sees
// every call the thread made: it counts as running until its last pulse has
// returned, even when that pulse is slow to run.
TEST_F(NetTest, TheThreadCountsAsRunningUntilItsLastPulseHasReturned)
{
    std::atomic<bool> lastPulseDone{false};
    kvnet::ConnectionUi ui = Ui();
    ui.pulseRemoval = [&] {
        if (manager && manager->State() == 0) {
            kv::SleepMs(150);
            lastPulseDone = true;
        }
    };
    manager = std::make_unique<kvnet::CConnectionManager>(host, ui);
    manager->SetAccount("card", "card", "");
    ASSERT_TRUE(manager->Start());
    ASSERT_TRUE(manager->RasRequest(RAS_REQ_TERMINATE, true));
    ASSERT_TRUE(Until([&] { return !manager->ThreadRunning(); }));
    EXPECT_TRUE(lastPulseDone.load());
}

// The unplug's request 240 leaves a client made while the modem was away;
// timer 114 after the return starts the thread with a client made then, so
// Net Connect dials over the service chosen for the modem that came back.
TEST_F(NetTest, AfterTheModemsReturnNetConnectDialsOverTheServiceChosenThen)
{
    StartManager();
    ASSERT_TRUE(manager->RasRequest(RAS_REQ_TERMINATE, true)); // the removal
    ASSERT_TRUE(Until([&] { return !manager->ThreadRunning(); }));
    manager->StopThread();
    const auto away = backend;
    kvnet::CSimRasBackend::Options o;
    o.stepMs = 15;
    backend = std::make_shared<kvnet::CSimRasBackend>(o); // what the return chooses
    manager->RestartThread();
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    EXPECT_EQ(backend->Dials(), 1);
    EXPECT_EQ(away->Dials(), 0);
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return Records().size() == 1 && manager->State() == RAS_REQ_LOOK; }));
}

// No maker modem among the dial-up devices: Net Connect says so in one box
// and dials nothing, instead of a dial that fails on the missing entry.
TEST_F(NetTest, WithoutTheModemNetConnectSaysSoOnceAndDialsNothing)
{
    kvnet::CSimRasBackend::Options o;
    o.stepMs = 15;
    o.deviceName = "";
    backend = std::make_shared<kvnet::CSimRasBackend>(o);
    StartManager();
    EXPECT_EQ(manager->DeviceName(), "");
    host.EnableControl(kv::IDC_NET_CONNECT, true); // as the engine's start-up leaves it
    manager->NetConnect();
    Until([] { return false; }, 600);
    EXPECT_EQ(host.MessageBoxes(), (std::vector<std::string>{rastext::kNoModem}));
    EXPECT_EQ(backend->Dials(), 0);
    EXPECT_EQ(manager->State(), RAS_REQ_LOOK);
    EXPECT_TRUE(host.ControlEnabled(kv::IDC_NET_CONNECT));
    EXPECT_FALSE(host.ControlShown(kv::IDC_NET_DISCONNECT));
}
