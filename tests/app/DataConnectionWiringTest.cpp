// The data connection in the main window: the buttons, the duration line,
// the data-rate bar, timer 114 and the close procedure, with the connection
// manager wired as the program wires it, over the simulated dial-up service
// and the modem simulator.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/Dialer_oneDlg.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"
#include "net/ConnectionManager.h"
#include "net/SimRasBackend.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <mutex>

using namespace kv;
using namespace kvapp;
using kvtest::PumpUntil;

namespace {

class DataConnection : public kvtest::ShellTest {
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
    }
    void TearDown() override
    {
        if (dlg) {
            dlg->CloseProcedure();
            dlg.reset();
        }
        if (sim)
            sim->Stop();
        kvnet::SetDefaultRasBackend(nullptr);
        kvtest::ShellTest::TearDown();
    }
    void Open(bool clients = true)
    {
        sim::ModemSimulator::Options so;
        so.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(so);
        ASSERT_TRUE(sim->Start());
        dlg = std::make_unique<CDialer_oneDlg>();
        kvnet::ConnectionUi ui;
        ui.appendTraffic = [this](const kvtraffic::TrafficRecord& r) {
            std::lock_guard<std::mutex> g(lock);
            records.push_back(r);
            return true;
        };
        if (!clients)
            ui.makeClient = [] { return std::unique_ptr<kvnet::CRasClient>(); };
        WireDataConnection(*dlg, ui);
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(PumpUntil([&] { return dlg->IndicatorShown(IDC_SERVICE); }, 30000));
    }
    bool Shown(int id) const { return dlg->Control(id)->isVisible(); }
    bool Enabled(int id) const { return dlg->Control(id)->isEnabled(); }
    std::string Line(int id) const
    {
        return static_cast<CTextStatic*>(dlg->Control(id))->Text().toStdString();
    }
    size_t Records()
    {
        std::lock_guard<std::mutex> g(lock);
        return records.size();
    }

    std::shared_ptr<kvnet::CSimRasBackend> backend;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CDialer_oneDlg> dlg;
    std::mutex lock;
    std::vector<kvtraffic::TrafficRecord> records;
};

} // namespace

TEST_F(DataConnection, NetConnectDialsCountsAndNetDisconnectKeepsTheSession)
{
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_NET_CONNECT); }, 20000));
    EXPECT_TRUE(Shown(IDC_NET_CONNECT));
    EXPECT_FALSE(Shown(IDC_NET_DISCONNECT));
    const int rateBefore = dlg->IndicatorBitmap(IDC_DATA_RATE);

    dlg->OnCommand(IDC_NET_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 2; }, 10000));
    EXPECT_FALSE(Shown(IDC_NET_CONNECT));
    EXPECT_TRUE(Shown(IDC_NET_DISCONNECT));
    EXPECT_TRUE(Shown(IDC_DURATION_LINE));
    // The duration takes the shared place once the dial's closing text has
    // gone; the two are never drawn over each other.
    bool overlap = false;
    ASSERT_TRUE(PumpUntil([&] {
        overlap = overlap || (kvnet::TextTakesFirstLine(Line(IDC_MESSAGE_LINE)) && !Line(IDC_DURATION_LINE).empty());
        return Line(IDC_DURATION_LINE) >= "00:00:02";
    }, 12000));
    EXPECT_FALSE(overlap) << Line(IDC_MESSAGE_LINE);
    // The engine shows the data rate while the connection is up.
    EXPECT_TRUE(PumpUntil([&] { return dlg->IndicatorBitmap(IDC_DATA_RATE) != rateBefore; }, 6000));
    EXPECT_EQ(backend->Dials(), 1);

    dlg->OnCommand(IDC_NET_DISCONNECT);
    ASSERT_TRUE(PumpUntil([&] { return Records() == 1 && dlg->State().m_nRasState.load() == 4; }, 6000));
    EXPECT_TRUE(PumpUntil([&] { return Enabled(IDC_NET_CONNECT); }));
    EXPECT_TRUE(Shown(IDC_NET_CONNECT));
    EXPECT_FALSE(Shown(IDC_NET_DISCONNECT));
    EXPECT_EQ(Line(IDC_DURATION_LINE), "");
    // No rate without a connection.
    EXPECT_TRUE(PumpUntil([&] { return dlg->IndicatorBitmap(IDC_DATA_RATE) == kvui::IDB_DRC_EMPTY; }, 3000))
        << dlg->IndicatorBitmap(IDC_DATA_RATE) << " ras state " << int(dlg->State().m_nRasState.load()) << " dials " << backend->Dials() << " live " << backend->LiveConnections();
    EXPECT_GT(records[0].bytesReceived, 0u);
    EXPECT_GE(records[0].duration, 2000u);
}

// The message box of a failed dial closes; what went wrong must still be on
// the message line afterwards, not the disconnect's passing text nor the
// resting text that replaces it.
TEST_F(DataConnection, AFailedDialLeavesItsTextOnTheMessageLine)
{
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_NET_CONNECT); }, 20000));
    kvtest::BoxCloser boxes;
    backend->FailNextDial(kvnet::RAS_ERR_AUTHENTICATION, 2);
    dlg->OnCommand(IDC_NET_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return !boxes.texts.empty(); }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 4 && Enabled(IDC_NET_CONNECT); }, 10000));
    const auto flat = [](std::string t) {
        std::erase_if(t, [](char c) { return c == '\n' || c == ' ' || c == '\t'; });
        return t;
    };
    const std::string failure = flat(boxes.texts[0]);
    ASSERT_NE(failure.find("password"), std::string::npos) << boxes.texts[0];
    // Longer than the resting text's timer after a disconnect.
    PumpUntil([] { return false; }, 3000);
    EXPECT_EQ(flat(dlg->MessageLine()), failure) << dlg->MessageLine();
    EXPECT_TRUE(Shown(IDC_MESSAGE_LINE));
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(DataConnection, WithoutAClientOneDisabledNetConnectShows)
{
    Open(false);
    // The engine's start-up enables the main buttons; Net Connect stays off.
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_SETTING); }, 20000));
    EXPECT_TRUE(Shown(IDC_NET_CONNECT));
    EXPECT_FALSE(Enabled(IDC_NET_CONNECT));
    EXPECT_FALSE(Shown(IDC_NET_DISCONNECT));
    EXPECT_EQ(dlg->State().m_nRasState.load(), 0);
    dlg->OnCommand(IDC_NET_CONNECT);
    EXPECT_EQ(backend->Dials(), 0);
}

TEST_F(DataConnection, NetConnectWithoutAnAccountOpensTheBasicPageSayingWhy)
{
    WriteProfileString("username", "text", "", "teal_dialer.ini");
    WriteProfileString("password", "text", "", "teal_dialer.ini");
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_NET_CONNECT); }, 20000));
    PageHooks& hooks = CDialer_oneDlg::Hooks();
    const auto kept = hooks.runSettings;
    int tab = -1;
    std::string lineWhenOpened;
    hooks.runSettings = [&](CDialer_oneDlg&, int t) {
        tab = t;
        lineWhenOpened = Line(IDC_MESSAGE_LINE);
    };
    dlg->OnCommand(IDC_NET_CONNECT);
    hooks.runSettings = kept;
    EXPECT_EQ(tab, kSettingsPageBasic);
    EXPECT_EQ(lineWhenOpened, "Enter your\naccount");
    EXPECT_EQ(backend->Dials(), 0);
}

TEST_F(DataConnection, ClosingWhileConnectedHangsUpAndKeepsTheSession)
{
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_NET_CONNECT); }, 20000));
    dlg->OnCommand(IDC_NET_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 2 && !Line(IDC_DURATION_LINE).empty(); },
                          10000));
    dlg->CloseProcedure();
    EXPECT_EQ(dlg->State().m_nRasState.load(), 0);
    EXPECT_EQ(backend->HangUps(), 1);
    EXPECT_EQ(Records(), 1u);
}

TEST_F(DataConnection, Timer114StartsTheMonitorAgain)
{
    Open();
    CDialer_oneDlg::Hooks().stopRas(*dlg);
    EXPECT_EQ(dlg->State().m_nRasState.load(), 0);
    dlg->StartTimer(TIMER_RESTART_RAS, 10);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 4; }));
    // The restarted thread adopts a connection made elsewhere.
    backend->AddOutsideConnection();
    EXPECT_TRUE(PumpUntil([&] { return Shown(IDC_NET_DISCONNECT) && dlg->State().m_nRasState.load() == 2; }));
}
