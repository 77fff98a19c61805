// The status poll's display rules by system mode, with and without a card,
// the low-signal charge blink and its thresholds, and receive diversity.
#include "EngineFixture.h"

#include "engine/DmTexts.h"

using namespace kv;
using kvtest::EngineTest;

namespace {

class StatusPoll : public EngineTest {
protected:
    // Lets n more status polls happen.
    bool Polls(size_t n)
    {
        const size_t s = modem.Count("STATUS");
        return RunUntil([&] { return modem.Count("STATUS") >= s + n; });
    }
    // How often id was given value since the call list had `from` entries.
    size_t CallsSince(size_t from, int id, int value)
    {
        const auto calls = host.IndicatorCalls();
        return size_t(std::count(calls.begin() + long(std::min(from, calls.size())), calls.end(),
                                 std::make_pair(id, value)));
    }
    size_t CallsOfSince(size_t from, int id)
    {
        const auto calls = host.IndicatorCalls();
        return size_t(std::count_if(calls.begin() + long(std::min(from, calls.size())), calls.end(),
                                    [&](const std::pair<int, int>& c) { return c.first == id; }));
    }
    bool Blinking() { return (host.State().m_ucChargeDisplay.load() & kChargeBlinkBit) != 0; }
    void Threshold(const char* key, int value)
    {
        WriteProfileString("rssi", key, std::to_string(value), kMainIni);
    }
};

} // namespace

TEST_F(StatusPoll, SystemModesZeroFourAndOtherWithAndWithoutACard)
{
    modem.With([](auto& m) { m.rx1x = -80; m.rxHdr = -90; });
    ASSERT_TRUE(StartAndReachPolling());

    // 0 with the card present: the 1x signal, no service (the last one must
    // not stay on show).
    modem.With([](auto& m) { m.sysMode = 0; m.rx1x = -70; });
    ASSERT_TRUE(Polls(1));
    size_t mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_EQ(host.Signal(IND_SIGNAL_1X), -70);
    EXPECT_EQ(CallsOfSince(mark, IND_SERVICE), CallsSince(mark, IND_SERVICE, SERVICE_NONE));
    EXPECT_GE(CallsSince(mark, IND_SERVICE, SERVICE_NONE), 1u);
    EXPECT_EQ(host.Indicator(IND_SERVICE), SERVICE_NONE);
    EXPECT_EQ(CallsOfSince(mark, IND_CALL), 0u);

    // 0 with the card declared absent: no service, the card line, no signal drawn.
    St().m_ucCardRetry = kCardRetryAbsent;
    modem.With([](auto& m) { m.rx1x = -60; });
    ASSERT_TRUE(Polls(1));
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_SERVICE, SERVICE_NONE), 1u);
    EXPECT_GE(CallsSince(mark, IND_MESSAGE_LINE, 2), 1u);
    EXPECT_GE(CallsSince(mark, IND_CALL, 1), 1u);
    EXPECT_EQ(host.Signal(IND_SIGNAL_1X), -70) << "no signal shown without a card";

    // 2 without a card: the no-card line (call 1, idle code 0).
    modem.With([](auto& m) { m.sysMode = 2; m.hybridPref = 0; });
    ASSERT_TRUE(Polls(1));
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_SERVICE, SERVICE_1X), 1u);
    EXPECT_GE(CallsSince(mark, IND_CALL, 1), 1u);
    EXPECT_GE(CallsSince(mark, IND_MESSAGE_LINE, 0), 1u);
    EXPECT_EQ(CallsSince(mark, IND_MESSAGE_LINE, 2), 0u);

    // 4 (EV-DO) without a card: EV-DO service and signal, no SMS, no call
    // handling; the last call state becomes 129.
    modem.With([](auto& m) { m.sysMode = 4; m.rxHdr = -85; m.newSms = 3; });
    ASSERT_TRUE(Polls(1));
    WriteProfileString("SmsC", "smscnt", "untouched", kMainIni);
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_SERVICE, SERVICE_EVDO), 1u);
    EXPECT_GE(CallsSince(mark, IND_MESSAGE_LINE, 0), 1u);
    EXPECT_GE(CallsSince(mark, IND_SMS, 0), 1u);
    EXPECT_EQ(CallsSince(mark, IND_SMS, 1), 0u) << "new messages are not looked at in EV-DO";
    EXPECT_EQ(host.Signal(IND_SIGNAL_EVDO), -85);
    EXPECT_EQ(St().m_ucLastCallState.load(), 129);
    EXPECT_EQ(Ini("SmsC", "smscnt"), "untouched");

    // 4 with the card: the line's idle code 2.
    St().m_ucCardRetry = 0;
    ASSERT_TRUE(Polls(1));
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_MESSAGE_LINE, 2), 1u);
    EXPECT_EQ(CallsSince(mark, IND_MESSAGE_LINE, 0), 0u);

    // Any other mode: no service.
    modem.With([](auto& m) { m.sysMode = 7; m.newSms = 0; });
    ASSERT_TRUE(Polls(1));
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_SERVICE, SERVICE_NONE), 1u);
    EXPECT_GE(CallsSince(mark, IND_MESSAGE_LINE, 2), 1u);
    EXPECT_TRUE(engine.ThreadRunning());
}

TEST_F(StatusPoll, TheChargeBlinksOnlyWhileChargingBelowItsThresholds)
{
    // Short layout: the signals are the record's bytes (79 and 84 here).
    modem.With([](auto& m) { m.chgVal = 4; m.rx1x = -79; m.rxHdr = -84; m.sysMode = 2; m.hybridPref = 0; });
    Threshold("One", 79); // not below: no blink
    ASSERT_TRUE(StartAndReachPolling());
    ASSERT_TRUE(Polls(3));
    EXPECT_FALSE(Blinking());
    EXPECT_FALSE(host.TimerActive(TIMER_CHARGE_BLINK));

    Threshold("One", 80);
    ASSERT_TRUE(RunUntil([&] { return Blinking(); }));
    EXPECT_TRUE(host.TimerActive(TIMER_CHARGE_BLINK));

    // With the hybrid preference both signals must be below their thresholds.
    auto again = [&] {
        host.KillTimer(TIMER_CHARGE_BLINK);
        St().m_ucChargeDisplay = 2;
        St().m_ucPowerFlags = 0;
    };
    modem.With([](auto& m) { m.hybridPref = 1; });
    Threshold("OneOne", 80);
    Threshold("OneEVDO", 84);
    again();
    ASSERT_TRUE(Polls(3));
    EXPECT_FALSE(Blinking()) << "the EV-DO signal is not below its threshold";
    Threshold("OneEVDO", 85);
    ASSERT_TRUE(RunUntil([&] { return Blinking(); }));

    // EV-DO only: its own threshold.
    modem.With([](auto& m) { m.hybridPref = 0; m.sysMode = 4; });
    Threshold("EVDO", 84);
    again();
    ASSERT_TRUE(Polls(3));
    EXPECT_FALSE(Blinking());
    Threshold("EVDO", 85);
    ASSERT_TRUE(RunUntil([&] { return Blinking(); }));

    // Another charger state seen meanwhile: no blink, whatever the signal.
    modem.With([](auto& m) { m.chgVal = 5; });
    ASSERT_TRUE(Polls(1));
    again();
    ASSERT_TRUE(Polls(3));
    EXPECT_FALSE(Blinking());
    EXPECT_EQ(St().m_ucPowerFlags.load(), POWERF_OTHER);
}

TEST_F(StatusPoll, ReceiveDiversityIsShownWhenTheRecordReportsIt)
{
    ASSERT_TRUE(StartAndReachPolling());
    size_t mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_EQ(CallsSince(mark, IND_RX_DIVERSITY, 130), 0u);
    modem.With([](auto& m) { m.statusRxDiversity = 1; });
    ASSERT_TRUE(Polls(1));
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_RX_DIVERSITY, 130), 2u);
    // In the long layout too.
    modem.With([](auto& m) { m.serviceMode = 0xA0; });
    engine.RestartDmEngine();
    ASSERT_TRUE(RunUntil([&] { return (St().m_ucServiceMode.load() & 0x80) != 0; }, 15000));
    mark = host.IndicatorCalls().size();
    ASSERT_TRUE(Polls(2));
    EXPECT_GE(CallsSince(mark, IND_RX_DIVERSITY, 130), 1u);
}
