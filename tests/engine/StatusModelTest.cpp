// The status model (what the window's status panel paints) against a view
// that records what it is told.
#include "host/HeadlessHost.h"
#include "host/HostIds.h"
#include "engine/StatusIds.h"
#include "host/StatusModel.h"

#include <gtest/gtest.h>
#include <map>
#include <vector>

using namespace kv;
using namespace kv::statusid;
namespace text = kv::statustext;

namespace {

class RecordingView : public IStatusView {
public:
    void ShowIndicator(int id, bool show) override { shown[id] = show; }
    bool IndicatorShown(int id) const override
    {
        auto it = shown.find(id);
        return it != shown.end() && it->second;
    }
    void SetIndicatorBitmap(int id, int bmp) override
    {
        bitmap[id] = bmp;
        draws.emplace_back(id, bmp);
    }
    void Beep() override { ++beeps; }
    std::string MessageLine() const override { return line; }
    void SetMessageLine(const std::string& t, bool) override
    {
        line = t;
        ++lineSets;
    }
    bool DialPadHoldsNumber() const override { return dialNumber; }
    bool TakePendingCallText(std::string& t) override
    {
        if (pending.empty())
            return false;
        t = pending;
        pending.clear();
        return true;
    }

    std::map<int, bool> shown;
    std::map<int, int> bitmap;
    std::vector<std::pair<int, int>> draws;
    int beeps = 0;
    std::string line;
    int lineSets = 0;
    bool dialNumber = false;
    std::string pending;
};

struct PanelTest : ::testing::Test {
    ModemState state;
    RecordingView view;
    CStatusModel panel{state, view};
    void SetUp() override { panel.InitialState(); view.draws.clear(); }
    size_t DrawsOf(int id) const
    {
        size_t n = 0;
        for (auto& d : view.draws)
            n += d.first == id;
        return n;
    }
};

} // namespace

TEST_F(PanelTest, IndicatorTableDrawsEachValueOnceAndHidesWhereTheTableSays)
{
    panel.SetIndicator(IND_SERVICE, SERVICE_1X);
    panel.SetIndicator(IND_SERVICE, SERVICE_1X);
    EXPECT_EQ(DrawsOf(IDC_SERVICE), 1u);
    EXPECT_EQ(view.bitmap[IDC_SERVICE], IDB_SERVICE_1X);
    EXPECT_EQ(state.m_ucServiceState.load(), SERVICE_1X);
    panel.SetIndicator(IND_SERVICE, SERVICE_NONE);
    EXPECT_FALSE(view.IndicatorShown(IDC_SERVICE));
    // 255 means "the last service value": hidden stays hidden.
    panel.SetIndicator(IND_SERVICE, 255);
    EXPECT_FALSE(view.IndicatorShown(IDC_SERVICE));
    panel.SetIndicator(IND_SERVICE, SERVICE_EVDO);
    EXPECT_TRUE(view.IndicatorShown(IDC_SERVICE));
    EXPECT_EQ(view.bitmap[IDC_SERVICE], IDB_SERVICE_DO);

    panel.SetIndicator(IND_SMS, 3);
    EXPECT_EQ(view.bitmap[IDC_SMS], IDB_SMS_VOICES);
    panel.SetIndicator(IND_SMS, 0);
    EXPECT_FALSE(view.IndicatorShown(IDC_SMS));
    panel.SetIndicator(IND_SMS, 9); // outside the table
    EXPECT_FALSE(view.IndicatorShown(IDC_SMS));

    panel.SetIndicator(IND_RX_DIVERSITY, 0x82);
    EXPECT_EQ(view.bitmap[IDC_RXD], IDB_RXD_ON);
    EXPECT_TRUE(view.IndicatorShown(IDC_RXD));
    panel.SetIndicator(IND_RX_DIVERSITY, 0);
    EXPECT_FALSE(view.IndicatorShown(IDC_RXD));

    panel.SetIndicator(IND_CHARGE, 3);
    EXPECT_EQ(view.bitmap[IDC_CHARGE], IDB_CHARGE_3);
    state.m_ucChargeDisplay |= kChargeBlinkBit;
    panel.SetIndicator(IND_CHARGE, 4);
    EXPECT_EQ(state.m_ucChargeDisplay.load(), kChargeBlinkBit | 4) << "blink bit kept";
    panel.SetIndicator(IND_CHARGE, 0);
    EXPECT_EQ(state.m_ucChargeDisplay.load(), 0);
    EXPECT_FALSE(view.IndicatorShown(IDC_CHARGE));

    // Ear volume draws every time; ids the table ignores draw nothing.
    panel.SetIndicator(IND_EAR_VOLUME, 2);
    panel.SetIndicator(IND_EAR_VOLUME, 2);
    EXPECT_EQ(DrawsOf(IDC_EAR_VOLUME), 2u);
    const size_t before = view.draws.size();
    for (int id : {2, 3, 1041, 1045, 1046, 777})
        panel.SetIndicator(id, 1);
    EXPECT_EQ(view.draws.size(), before);
}

TEST_F(PanelTest, DataRateBarsFollowBothTables)
{
    // Without a connection no rate is drawn.
    panel.SetIndicator(IND_DATA_RATE_A, 1);
    panel.SetIndicator(IND_DATA_RATE_B, 3);
    EXPECT_EQ(DrawsOf(IDC_DATA_RATE), 0u);
    state.m_nRasState = RAS_STATE_CONNECTED;
    panel.SetIndicator(IND_DATA_RATE_A, 1);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], 235);
    panel.SetIndicator(IND_DATA_RATE_A, 7);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], 239);
    panel.SetIndicator(IND_DATA_RATE_A, 13);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], 242);
    panel.SetIndicator(IND_DATA_RATE_A, 12);
    const size_t n = DrawsOf(IDC_DATA_RATE);
    panel.SetIndicator(IND_DATA_RATE_A, 15); // 15 after 12 keeps the bar
    EXPECT_EQ(DrawsOf(IDC_DATA_RATE), n);
    panel.SetIndicator(IND_DATA_RATE_B, 3);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], 241);
    // 128 (a connection's end, a removal) empties the bar; the same rates
    // as before are drawn again afterwards.
    panel.SetIndicator(IND_DATA_RATE_A, 128);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], IDB_DRC_EMPTY);
    panel.SetIndicator(IND_DATA_RATE_B, 3);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], 241);
    panel.SetIndicator(IND_DATA_RATE_A, 128);
    panel.SetIndicator(IND_DATA_RATE_A, 12);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], 244);
    // The connection ends: the reset empties the bar, a late rate stays out.
    state.m_nRasState = 5;
    panel.SetIndicator(IND_DATA_RATE_A, 128);
    panel.SetIndicator(IND_DATA_RATE_A, 7);
    EXPECT_EQ(view.bitmap[IDC_DATA_RATE], IDB_DRC_EMPTY);
}

TEST_F(PanelTest, RoamingTwoBlinksAndOtherValuesHide)
{
    panel.SetIndicator(IND_ROAMING, 1);
    EXPECT_TRUE(view.IndicatorShown(IDC_ROAMING));
    panel.SetIndicator(IND_ROAMING, 2);
    EXPECT_TRUE(view.IndicatorShown(IDC_ROAMING));
    panel.SetIndicator(IND_ROAMING, 2);
    EXPECT_FALSE(view.IndicatorShown(IDC_ROAMING));
    panel.SetIndicator(IND_ROAMING, 2);
    EXPECT_TRUE(view.IndicatorShown(IDC_ROAMING));
    panel.SetIndicator(IND_ROAMING, 128);
    EXPECT_FALSE(view.IndicatorShown(IDC_ROAMING));
}

TEST_F(PanelTest, SignalLevelsAndTheNoSignalPicture)
{
    panel.SetSignal(IND_SIGNAL_1X, -80);
    EXPECT_EQ(view.bitmap[IDC_ANTENNA], IDB_SIG1_L4);
    panel.SetSignal(IND_SIGNAL_1X, -80);
    EXPECT_EQ(DrawsOf(IDC_ANTENNA), 1u) << "same level draws nothing";
    panel.SetSignal(IND_SIGNAL_1X, 99);
    EXPECT_EQ(view.bitmap[IDC_ANTENNA], IDB_SIG1_NONE);
    panel.SetSignal(IND_SIGNAL_1X, 99);
    EXPECT_EQ(DrawsOf(IDC_ANTENNA), 2u);
    EXPECT_EQ(panel.NoSignalCount(), 2);

    // -110 shows level 7 every time and keeps the stored level.
    panel.SetSignal(IND_SIGNAL_1X, -60);
    panel.SetSignal(IND_SIGNAL_1X, -110);
    panel.SetSignal(IND_SIGNAL_1X, -110);
    EXPECT_EQ(DrawsOf(IDC_ANTENNA), 5u);
    EXPECT_EQ(panel.SignalLevel(), 5);
    EXPECT_EQ(panel.NoSignalCount(), 0);
    // Above -20 nothing changes; the second set draws its own pictures.
    panel.SetSignal(IND_SIGNAL_1X, -5);
    EXPECT_EQ(DrawsOf(IDC_ANTENNA), 5u);
    panel.SetSignal(IND_SIGNAL_EVDO, -98);
    EXPECT_EQ(view.bitmap[IDC_ANTENNA], IDB_SIG2_L1);
    panel.SetSignal(IND_SIGNAL_EVDO, 0xFFFFFF);
    EXPECT_EQ(DrawsOf(IDC_ANTENNA), 7u) << "redraw of the current level";
}

TEST(SignalLevelOf, BandEdges)
{
    EXPECT_EQ(CStatusModel::SignalLevelOf(-102), 7);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-101), 1);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-96), 1);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-95), 2);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-84), 3);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-83), 4);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-77), 4);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-76), 5);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-20), 5);
    EXPECT_EQ(CStatusModel::SignalLevelOf(-19), 0);
}

TEST_F(PanelTest, EmptyBatteryBlinksAndEveryEighthRepeatBeepsOnlyWithTheCapability)
{
    panel.SetIndicator(IND_BATTERY, 0);
    EXPECT_EQ(view.bitmap[IDC_VBAT], IDB_BATT_EMPTY);
    std::vector<bool> visible;
    for (int i = 0; i < 16; ++i) {
        panel.SetIndicator(IND_BATTERY, 0);
        visible.push_back(view.IndicatorShown(IDC_VBAT));
    }
    for (size_t i = 0; i < visible.size(); ++i)
        EXPECT_EQ(visible[i], i % 2 == 1) << "report " << i;
    EXPECT_EQ(view.beeps, 0) << "no battery capability";

    state.m_ucServiceMode = 0x20;
    for (int i = 0; i < 16; ++i)
        panel.SetIndicator(IND_BATTERY, 0);
    EXPECT_EQ(view.beeps, 2);

    // A new level shows the control again.
    panel.SetIndicator(IND_BATTERY, 5);
    EXPECT_TRUE(view.IndicatorShown(IDC_VBAT));
    EXPECT_EQ(view.bitmap[IDC_VBAT], IDB_BATT_5);
    panel.SetIndicator(IND_BATTERY, 7);
    EXPECT_FALSE(view.IndicatorShown(IDC_VBAT));
}

TEST_F(PanelTest, BatteryValueOneShowsTheLowPictureAndNothingElse)
{
    panel.SetIndicator(IND_BATTERY, 1);
    EXPECT_EQ(view.bitmap[IDC_VBAT], IDB_BATT_LOW);
    EXPECT_TRUE(view.IndicatorShown(IDC_VBAT));
    EXPECT_EQ(panel.Battery() >> 4, 1);
    EXPECT_EQ(state.m_DmRequests.Size(), 0u);
}

TEST_F(PanelTest, IdleTextsRespectMissedCallsCardsAndCalls)
{
    panel.SetIndicator(IND_MESSAGE_LINE, 2);
    EXPECT_EQ(view.line, "\nKorvia");
    panel.SetIndicator(IND_MESSAGE_LINE, 2);
    EXPECT_EQ(view.lineSets, 1) << "same code, line not empty";
    panel.SetIndicator(IND_MESSAGE_LINE, 4);
    EXPECT_EQ(view.line, "Modem \nReset");
    panel.SetIndicator(IND_MESSAGE_LINE, 9);
    EXPECT_EQ(view.line, "Modem \nReset");

    panel.AppendMessageLine("Missed call 1", true);
    panel.SetIndicator(IND_MESSAGE_LINE, 2);
    EXPECT_EQ(view.line, "Missed call 1");
    panel.RestoreMessageLine();
    EXPECT_EQ(view.line, "Missed call 1") << "a missed call survives the restore";
    panel.AppendMessageLine(" more", false);
    EXPECT_EQ(view.line, "Missed call 1 more");

    view.line = "x";
    state.m_ucCardFlags = CARDF_NO_CARD;
    panel.SetIndicator(IND_MESSAGE_LINE, 5);
    EXPECT_EQ(view.line, "x");
    panel.RestoreMessageLine();
    EXPECT_EQ(view.line, "\nEmergency Call\nWithout RUIM.");
    state.m_ucCardFlags = CARDF_PIN_CANCELLED;
    panel.RestoreMessageLine();
    EXPECT_EQ(view.line, "\nEmergency Call\nWithout PIN");

    state.m_ucCardFlags = 0;
    state.m_ucLastCallState = 0x86;
    panel.SetIndicator(IND_MESSAGE_LINE, 0);
    EXPECT_EQ(panel.IdleCode(), CStatusModel::kIdleNone);
    EXPECT_EQ(view.line, "\nEmergency Call\nWithout PIN");
    panel.RestoreMessageLine();
    EXPECT_EQ(view.line, "\nKorvia");
}

TEST_F(PanelTest, RestoreShowsAPendingCallTextFirstAndLetsTheIdleCodeDrawAgain)
{
    view.pending = "Call from\n6195550199";
    panel.RestoreMessageLine();
    EXPECT_EQ(view.line, "Call from\n6195550199");

    panel.SetIndicator(IND_MESSAGE_LINE, 1);
    panel.AppendMessageLine("SMS sent", true);
    panel.RestoreMessageLine();
    EXPECT_EQ(panel.IdleCode(), CStatusModel::kIdleNone);
    panel.SetIndicator(IND_MESSAGE_LINE, 1);
    EXPECT_EQ(view.line, "\nKorvia");

    view.dialNumber = true;
    panel.SetIndicator(IND_MESSAGE_LINE, 4);
    EXPECT_EQ(view.line, "\nKorvia") << "a number on the dial pad keeps the line";
}

TEST_F(PanelTest, ChargeBlinkTimerAndDataRateTip)
{
    state.m_ucChargeDisplay = kChargeBlinkBit | 2;
    state.m_ucPowerFlags = POWERF_CHARGER_4;
    panel.ChargeBlink();
    EXPECT_EQ(state.m_ucChargeDisplay.load(), kChargeBlinkBit | 2);
    EXPECT_EQ(state.m_ucPowerFlags.load(), 0);
    state.m_ucPowerFlags = POWERF_OTHER;
    panel.ChargeBlink();
    EXPECT_EQ(state.m_ucChargeDisplay.load(), 2);

    EXPECT_EQ(panel.DataRateTip(), "");
    state.m_nRasState = RAS_STATE_CONNECTED;
    state.m_ucDataSysMode = 2;
    EXPECT_EQ(panel.DataRateTip(), "1X Data Rate bar");
    state.m_ucDataSysMode = 4;
    EXPECT_EQ(panel.DataRateTip(), "EVDO Data Rate bar");
}

TEST_F(PanelTest, RemovalShowsTheNoModemDisplay)
{
    panel.SetIndicator(IND_BATTERY, 5);
    panel.SetSignal(IND_SIGNAL_1X, -70);
    panel.SetIndicator(IND_SMS, 1);
    panel.ResetForRemoval();
    EXPECT_EQ(view.bitmap[IDC_VBAT], IDB_BATT_LOW);
    EXPECT_EQ(view.bitmap[IDC_ANTENNA], IDB_SIG2_NONE);
    EXPECT_FALSE(view.IndicatorShown(IDC_SMS));
    EXPECT_FALSE(view.IndicatorShown(IDC_SERVICE));
    EXPECT_EQ(panel.IdleCode(), CStatusModel::kIdleNone);
    EXPECT_EQ(panel.NoSignalCount(), 0) << "a returning modem starts its no-signal count afresh";
}

TEST_F(PanelTest, AnUnplugIsSaidInWordsUntilTheModemStartsAgain)
{
    panel.SetIndicator(IND_MESSAGE_LINE, 2);
    panel.ResetForRemoval();
    EXPECT_EQ(view.line, text::kModemUnplugged);
    // The engine's stop blanks the line, the restore timer runs: the words stay.
    panel.SetIndicator(IND_MESSAGE_LINE, 3);
    EXPECT_EQ(view.line, text::kModemUnplugged);
    panel.SetIndicator(IND_MESSAGE_LINE, 0);
    panel.RestoreMessageLine();
    EXPECT_EQ(view.line, text::kModemUnplugged);
    // The next start's first text ends it.
    panel.SetIndicator(IND_MESSAGE_LINE, 5);
    EXPECT_EQ(view.line, "\nRUIM Initializing");
    EXPECT_FALSE(panel.Unplugged());
    panel.SetIndicator(IND_MESSAGE_LINE, 3);
    EXPECT_EQ(view.line, " ");
}

TEST_F(PanelTest, AValueRepeatedWhileItsIndicatorIsHiddenIsStillDrawn)
{
    // The window hides every indicator after the initial state, until the
    // modem reports: a first report equal to the stored state must show.
    for (int id : kIndicatorControls)
        view.ShowIndicator(id, false);
    panel.SetSignal(IND_SIGNAL_1X, kSignalNone);
    EXPECT_TRUE(view.IndicatorShown(IDC_ANTENNA));
    EXPECT_EQ(view.bitmap[IDC_ANTENNA], IDB_SIG1_NONE);
    const size_t draws = view.draws.size();
    panel.SetSignal(IND_SIGNAL_1X, kSignalNone);
    EXPECT_EQ(view.draws.size(), draws) << "shown now: a repeat draws nothing";

    panel.SetIndicator(IND_SERVICE, SERVICE_1X);
    view.ShowIndicator(IDC_SERVICE, false);
    panel.SetIndicator(IND_SERVICE, SERVICE_1X);
    EXPECT_TRUE(view.IndicatorShown(IDC_SERVICE));
    panel.SetIndicator(IND_SERVICE, SERVICE_NONE);
    panel.SetIndicator(IND_SERVICE, SERVICE_NONE);
    EXPECT_FALSE(view.IndicatorShown(IDC_SERVICE)) << "hidden is that value's picture";

    panel.SetIndicator(IND_BATTERY, 4);
    view.ShowIndicator(IDC_VBAT, false);
    panel.SetIndicator(IND_BATTERY, 4);
    EXPECT_TRUE(view.IndicatorShown(IDC_VBAT));
    panel.SetIndicator(IND_BATTERY, 7);
    panel.SetIndicator(IND_BATTERY, 7);
    EXPECT_FALSE(view.IndicatorShown(IDC_VBAT));

    panel.SetIndicator(IND_ROAMING, 1);
    view.ShowIndicator(IDC_ROAMING, false);
    panel.SetIndicator(IND_ROAMING, 1);
    EXPECT_TRUE(view.IndicatorShown(IDC_ROAMING));
}

TEST(HeadlessStatus, TheHostWithoutWindowsFollowsTheWindowsRules)
{
    CHeadlessHost host;
    host.SetIndicator(IND_MESSAGE_LINE, 1);
    EXPECT_EQ(host.MessageLine(), text::kIdleKorvia);
    // A call is being processed: the idle text leaves the line alone.
    host.State().m_ucLastCallState = 0x83;
    host.AppendMessageLine("\n6195550199", true);
    host.SetIndicator(IND_MESSAGE_LINE, 4);
    EXPECT_EQ(host.MessageLine(), "\n6195550199");
    host.State().m_ucLastCallState = 0;
    host.SetIndicator(IND_MESSAGE_LINE, 4);
    EXPECT_EQ(host.MessageLine(), "Modem \nReset");
    // 255 means the last service shown.
    host.SetIndicator(IND_SERVICE, SERVICE_EVDO);
    host.SetIndicator(IND_SERVICE, 255);
    EXPECT_TRUE(host.IndicatorShown(IDC_SERVICE));
    EXPECT_EQ(host.IndicatorBitmap(IDC_SERVICE), IDB_SERVICE_DO);
    EXPECT_EQ(host.State().m_ucServiceState.load(), SERVICE_EVDO);
    // Timer 101 without a card.
    host.State().m_ucCardFlags = CARDF_NO_CARD;
    host.StartTimer(TIMER_RESTORE_MESSAGE_LINE, 1);
    EXPECT_TRUE(host.RunUntil([&] { return host.MessageLine() == text::kNoCardEmergency; }, 5000));
}
