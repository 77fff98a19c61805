// The status poll's value mappings, MIN decoding, the command queue and the
// filter of PostDmCommand.
#include "EngineFixture.h"

#include "engine/DmTexts.h"

using namespace kv;

TEST(StatusMappings, BatteryLevelFollowsChargerThenThresholds)
{
    BattInfo b;
    b.bar = {100, 200, 300, 400, 500};
    b.battVal = 250;
    EXPECT_EQ(BatteryLevel(b), 2);
    b.battVal = 500;
    EXPECT_EQ(BatteryLevel(b), 5);
    b.battVal = 99;
    EXPECT_EQ(BatteryLevel(b), 0);
    b.battVal = 100;
    EXPECT_EQ(BatteryLevel(b), 1);
    // Charger states win over the voltage; only the low byte counts.
    b.chgVal = 3;
    EXPECT_EQ(BatteryLevel(b), 6);
    b.chgVal = 0x0106;
    EXPECT_EQ(BatteryLevel(b), 6);
    b.chgVal = 1;
    EXPECT_EQ(BatteryLevel(b), 7);
    b.chgVal = 4;
    EXPECT_EQ(BatteryLevel(b), 7);
}

TEST(StatusMappings, ChargeIndicatorLeavesUnknownStatesAlone)
{
    const int expected[] = {0, 1, 1, 1, 2, 3, 4};
    for (int c = 0; c <= 6; ++c)
        EXPECT_EQ(ChargeIndicator(uint16_t(c)), expected[c]) << c;
    EXPECT_EQ(ChargeIndicator(9), -1);
    EXPECT_EQ(ChargeIndicator(0x0200), 0);
}

TEST(StatusMappings, DataRateLevels)
{
    EXPECT_EQ(OneXRateLevel(0), 0);
    EXPECT_EQ(OneXRateLevel(1), 1);
    EXPECT_EQ(OneXRateLevel(199), 1);
    EXPECT_EQ(OneXRateLevel(200), 2);
    EXPECT_EQ(OneXRateLevel(450), 2);
    EXPECT_EQ(OneXRateLevel(500), 3);
    EXPECT_EQ(OneXRateLevel(899), 3);
    EXPECT_EQ(OneXRateLevel(900), 4);
    EXPECT_EQ(OneXRateLevel(65535), 4);
    EXPECT_EQ(HdrRateValue(0x35), 5);
    EXPECT_EQ(HdrRateValue(0x53), 5);
    EXPECT_EQ(HdrRateValue(0xF0), 15);
    EXPECT_EQ(HdrRateValue(0x00), 0);
}

TEST(MinDecoding, Vectors)
{
    const uint32_t min1 = 123 * 16384 + 4 * 1024 + 567;
    EXPECT_EQ(DecodeMin(min1, 858), "(969) 234-4678");
    EXPECT_EQ(DecodeMin(min1, 0), "234-4678");
    EXPECT_EQ(DecodeMin(min1, 1000), "");
    // Thousands field 10 is the digit 0; 0 and 11..15 are invalid.
    EXPECT_EQ(DecodeMin(123 * 16384 + 10 * 1024 + 567, 0), "234-0678");
    EXPECT_EQ(DecodeMin(123 * 16384 + 0 * 1024 + 567, 0), "");
    EXPECT_EQ(DecodeMin(123 * 16384 + 11 * 1024 + 567, 0), "");
    // Low group above 999 is invalid; digits stored as 10 are written as 0.
    EXPECT_EQ(DecodeMin(123 * 16384 + 4 * 1024 + 1000, 0), "");
    EXPECT_EQ(DecodeMin(999 * 16384 + 4 * 1024 + 999, 999), "(000) 000-4000");
    // The untested middle group never produces a non-digit.
    const std::string odd = DecodeMin(1023u * 16384 + 4 * 1024 + 1, 0);
    ASSERT_EQ(odd.size(), 8u);
    for (char c : odd)
        EXPECT_TRUE((c >= '0' && c <= '9') || c == '-') << odd;
}

TEST(DmQueue, HeadTailSearchAndRemoval)
{
    CDmQueue q;
    q.Push(DM_OUT_CALL, false);
    q.Push(DM_EAR_LEVEL, false);
    q.Push(DM_KEY_PRESS, true);
    q.Push(DM_EAR_LEVEL, false);
    EXPECT_EQ(q.Size(), 4u);
    EXPECT_TRUE(q.Contains(DM_OUT_CALL));
    EXPECT_TRUE(q.RemoveFirst(DM_EAR_LEVEL));
    EXPECT_FALSE(q.RemoveFirst(DM_GET_INFO));
    uint16_t c = 0;
    ASSERT_TRUE(q.PopHead(c));
    EXPECT_EQ(c, DM_KEY_PRESS);
    ASSERT_TRUE(q.PopHead(c));
    EXPECT_EQ(c, DM_OUT_CALL);
    ASSERT_TRUE(q.PopHead(c));
    EXPECT_EQ(c, DM_EAR_LEVEL);
    EXPECT_FALSE(q.PopHead(c));
}

using PostFilter = kvtest::EngineTest;

TEST_F(PostFilter, StoppedOrStoppingEngineDropsSilently)
{
    for (uint16_t s : {uint16_t(DM_STOPPED), uint16_t(DM_END_WORK), uint16_t(DM_DEVICE_NULL)}) {
        St().m_nPortState = s;
        EXPECT_EQ(engine.PostDmCommand(DM_GET_INFO, false), 1);
        EXPECT_EQ(engine.PostDmCommand(0x000A, false), 1);
        EXPECT_TRUE(St().m_DmRequests.Empty());
    }
}

TEST_F(PostFilter, AcceptsTheListedCodesAndRefusesTheRest)
{
    St().m_nPortState = DM_GET_INFO;
    for (uint16_t c : {0x0001, 0x0002, 0x0005, 0x0009, 0x0017, 0x001A, 0x0050, 0x0052, 0x0054,
                       0x0056, 0x0094, 0x8001, 0x800F, 0xFFF1, 0xFFF2})
        EXPECT_EQ(engine.PostDmCommand(c, false), 1) << std::hex << c;
    const size_t queued = St().m_DmRequests.Size();
    for (uint16_t c : {0x000A, 0x0011, 0x0053, 0x0090, 0x8000, 0x8010, 0xFFF0, 0xFFF3})
        EXPECT_EQ(engine.PostDmCommand(c, false), 0) << std::hex << c;
    EXPECT_EQ(St().m_DmRequests.Size(), queued);
}

TEST_F(PostFilter, ConditionalCodes)
{
    St().m_nPortState = DM_GET_INFO;
    // Key presses only while the dial pad is shown.
    EXPECT_EQ(engine.PostDmCommand(DM_KEY_PRESS, true), 0);
    St().m_nActiveView = VIEW_DIAL_PAD;
    EXPECT_EQ(engine.PostDmCommand(DM_KEY_PRESS, true), 1);
    // No SMS send during a call.
    St().m_ucLastCallState = 131;
    EXPECT_EQ(engine.PostDmCommand(DM_SMS_SEND, false), 0);
    EXPECT_TRUE(log.Has("not send sms "));
    St().m_ucLastCallState = 130;
    EXPECT_EQ(engine.PostDmCommand(DM_SMS_SEND, false), 1);
    // No outgoing call while a data connection is (being) made on 1x or EV-DO.
    St().m_nRasState = RAS_STATE_CONNECTED;
    St().m_ucServiceState = SERVICE_1X;
    EXPECT_EQ(engine.PostDmCommand(DM_OUT_CALL, false), 0);
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0], dmtext::kCannotCallWhileConnecting);
    EXPECT_TRUE(host.TimerActive(TIMER_RESTORE_MESSAGE_LINE));
    // ... but no box while an incoming call is on 1x.
    St().m_wUiPhase = UI_PHASE_INCOMING;
    EXPECT_EQ(engine.PostDmCommand(DM_OUT_CALL, false), 0);
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
    St().m_ucServiceState = SERVICE_NONE;
    EXPECT_EQ(engine.PostDmCommand(DM_OUT_CALL, false), 1);
    St().m_DmRequests.Clear();
    St().m_nPortState = DM_STOPPED;
}

using ResetFunc = kvtest::EngineTest;

TEST_F(ResetFunc, WritesTheStoredPreferenceBack)
{
    EXPECT_EQ(engine.DmResetFunc(DM_PREF_CM_SYS_SEL), DM_RESULT_EXCHANGE_FAILED); // port closed
    ASSERT_TRUE(modem.Open(1, 115200));
    EXPECT_EQ(engine.DmResetFunc(DM_PREF_CM_SYS_SEL), DM_RESULT_BAD_ARGUMENT);
    EXPECT_TRUE(log.Has("pref_mode value is unknown "));
    EXPECT_TRUE(modem.Log().empty());

    WriteProfileString("pref_mode", "num", "4", kMainIni);
    WriteProfileString("hybrid", "num", "1", kMainIni);
    St().m_nModalView = MODAL_SETTINGS;
    St().m_hModalWnd = 77;
    St().m_ucSignalTick = 0x85;
    host.SetSignal(IND_SIGNAL_1X, -80);
    host.SetSignal(IND_SIGNAL_EVDO, kSignalNone);
    EXPECT_EQ(engine.DmResetFunc(DM_PREF_CM_SYS_SEL), DM_RESULT_RESET_DONE);
    // The signal display forgot what it showed, so the next report draws.
    EXPECT_EQ(host.Signal(IND_SIGNAL_1X), -1);
    EXPECT_EQ(host.Signal(IND_SIGNAL_EVDO), -1);
    EXPECT_EQ(St().m_ucSignalTick.load(), 0);
    const auto raw = modem.RawRequests();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0], (std::vector<uint8_t>{0xCF, 0x04, 0x00, 0x04, 0x00, 0x01, 0x00}));
    EXPECT_EQ(St().m_ucPrefFlags.load(), PREFF_HYBRID_1);
    const auto posted = host.Posted();
    ASSERT_GE(raw.size(), 1u);
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back().msg, UM_CONFIG_UPDATE);
    EXPECT_EQ(posted.back().wParam, uintptr_t(CONFIG_UPDATE_PREF_WRITTEN));

    modem.FailNext("CMSYSSEL");
    host.SetSignal(IND_SIGNAL_1X, -80); // shown before the failed write
    EXPECT_EQ(engine.DmResetFunc(DM_PREF_CM_SYS_SEL), DM_RESULT_RESET_DONE);
    EXPECT_EQ(host.Signal(IND_SIGNAL_1X), -80) << "a failed write leaves the display alone";
    EXPECT_EQ(host.Posted().back().wParam, uintptr_t(intptr_t(CONFIG_UPDATE_PREF_NOT_WRITTEN)));
    St().m_nModalView = MODAL_NONE;
    St().m_hModalWnd = 0;
    modem.Close();
}
