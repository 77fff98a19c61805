// DIAG transactions of the real port against the simulated modem: every
// kind of request read back through the catalog, answers among other
// packets, and the line faults a real modem shows.
#include "SimLink.h"

#include "link/DiagCatalog.h"
#include "platform/Event.h"

using namespace kv;
using kvtest::kWaitMs;

namespace {

class TransactOverSim : public kvtest::SimLink {
protected:
    void SetUp() override
    {
        SimLink::SetUp();
        StartSim();
        ASSERT_GT(DiscoverAndOpen(), 0);
        ASSERT_TRUE(port.IsOpen());
    }
    // A transaction that must be answered; the payload length is returned.
    size_t Answered(const DiagRequest& r)
    {
        EXPECT_EQ(Send(r), kDiagAnswered);
        EXPECT_EQ(resp[0], r.Command());
        return port.LastResponseLength();
    }
};

} // namespace

TEST_F(TransactOverSim, CatalogRequestsAreAnsweredAndReadBack)
{
    VersionReply v;
    ASSERT_TRUE(ParseVersionReply(resp.data(), Answered(BuildVersionReq()), v));
    EXPECT_EQ(v.swVersion, "KV6502B3");
    EXPECT_EQ(v.hwVersion, 0x6502);
    EXPECT_EQ(v.buildDate, "Mar 18 2009");

    EsnMinReply esn;
    ASSERT_TRUE(ParseEsnMinReply(resp.data(), Answered(BuildStatusReq()), esn));
    EXPECT_EQ(esn.esn, 0x9F2A61C4u);

    ServiceReply svc;
    ASSERT_TRUE(ParseServiceReply(resp.data(), Answered(BuildServiceReq()), svc));
    const bool longLayout = (svc.serviceMode & kServiceModeLongStatus) != 0;
    StatusRecord st;
    ASSERT_TRUE(ParseStatusRecord(resp.data(), Answered(BuildModemStatusReq()), longLayout, st));
    EXPECT_EQ(st.sysMode, 2);
    EXPECT_EQ(st.currChan, 283);

    BattInfo b;
    ASSERT_TRUE(ParseBattInfo(resp.data(), Answered(BuildBattInfoReq()), b));
    EXPECT_EQ(b.battVal, 3950);
    EXPECT_EQ(b.bar[0], 3500);

    RuimStatus card;
    ASSERT_TRUE(ParseRuimStatus(resp.data(), Answered(BuildRuimStatusReq()), card));
    EXPECT_EQ(card.connected, 1);
    EXPECT_EQ(card.retryCnt, 3);

    // The short status layout and changed values come through as well.
    Control("layout short");
    Control("signal -91 -97");
    Control("battery 3420 4");
    Control("card pin-locked");
    ASSERT_TRUE(ParseServiceReply(resp.data(), Answered(BuildServiceReq()), svc));
    EXPECT_EQ(svc.serviceMode & kServiceModeLongStatus, 0);
    ASSERT_TRUE(ParseStatusRecord(resp.data(), Answered(BuildModemStatusReq()), false, st));
    EXPECT_EQ(st.rx1xRssi, 91);
    ASSERT_TRUE(ParseBattInfo(resp.data(), Answered(BuildBattInfoReq()), b));
    EXPECT_EQ(b.battVal, 3420);
    EXPECT_EQ(b.chgVal, 4);
    RuimStatus locked;
    ASSERT_TRUE(ParseRuimStatus(resp.data(), Answered(BuildRuimStatusReq()), locked));
    EXPECT_NE(locked.lockState, card.lockState);
}

TEST_F(TransactOverSim, AnswerIsFoundAmongOtherPackets)
{
    // an unsolicited packet just before the answer
    Control("noise-before 3");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered) << i;

    // half a packet after the answer: dropped, and gone for the next one
    Control("half-packet 1");
    EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered);
    EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered);
    BattInfo b;
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    EXPECT_TRUE(ParseBattInfo(resp.data(), port.LastResponseLength(), b));
}

TEST_F(TransactOverSim, BadFcsGivesNoMatchAndLeaves0xFF)
{
    ASSERT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    Control("bad-fcs 1");
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagNoMatch);
    EXPECT_EQ(resp[0], 0xFF);
    EXPECT_EQ(resp[1], 0xA5) << "nothing but the first byte is written";
    EXPECT_EQ(port.LastResponseLength(), 0u);
    EXPECT_TRUE(port.ReaderRelease().IsSet());
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered) << "the next answer is good again";
}

TEST_F(TransactOverSim, SilenceTimesOut)
{
    Control("silent on");
    const uint64_t before = sim->Received();
    EXPECT_EQ(Send(BuildVersionReq(), 400), kDiagTimedOut);
    EXPECT_EQ(resp[0], 0xFF);
    EXPECT_EQ(resp[1], 0xA5);
    EXPECT_TRUE(WaitReceivedMoreThan(before)) << "the request did reach the modem";
    Control("silent off");
    EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered);
}

TEST_F(TransactOverSim, PauseIsReadFromTheSettingsOnEveryTransaction)
{
    SetSlps("800");
    int64_t t0 = TickMs();
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    EXPECT_GE(TickMs() - t0, 800);

    // slps 0: no pause before the wait (the bound is many times the cost)
    SetSlps("0");
    t0 = TickMs();
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    EXPECT_LT(TickMs() - t0, 800);
}

TEST_F(TransactOverSim, GarbageOnTheLineCostsAtMostOneExchange)
{
    ASSERT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    for (int round = 0; round < 4; ++round) {
        // Random bytes without a closing flag spoil the piece the answer is
        // in; the exchange then fails cleanly and the next one is good.
        Control(round % 2 ? "garbage-next 200" : "garbage 200");
        const uint8_t r = Send(BuildBattInfoReq());
        EXPECT_TRUE(r == kDiagAnswered || r == kDiagNoMatch) << int(r);
        if (r != kDiagAnswered) {
            EXPECT_EQ(resp[0], 0xFF);
        }
        EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered) << round;
    }
}

// More than the 4096-byte receive queue arrives while nobody reads: the
// oldest bytes go, the link goes on.
TEST_F(TransactOverSim, BurstLargerThanTheReceiveQueueCostsAtMostOneExchange)
{
    ASSERT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    for (int round = 0; round < 3; ++round) {
        Control(round == 1 ? "garbage 4100" : "garbage 6500");
        SleepMs(300);
        const uint8_t r = Send(BuildBattInfoReq(), 3000);
        EXPECT_TRUE(r == kDiagAnswered || r == kDiagNoMatch) << int(r);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Send(BuildBattInfoReq(), 3000), kDiagAnswered) << round << "/" << i;
    }
}

TEST_F(TransactOverSim, DelayedAndSplitAnswers)
{
    ASSERT_EQ(Send(BuildVersionReq()), kDiagAnswered);

    // late but inside the time-out
    Control("delay 400 1");
    int64_t t0 = TickMs();
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    EXPECT_GE(TickMs() - t0, 350);

    // in two parts: the flag comes with the second, so the frame is whole
    Control("split 150 2");
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    VersionReply v;
    EXPECT_EQ(Send(BuildVersionReq()), kDiagAnswered);
    EXPECT_TRUE(ParseVersionReply(resp.data(), port.LastResponseLength(), v));

    // Later than the time-out: the transaction fails, and the late answer,
    // found by the next transaction, is skipped there.
    Control("delay 1500 1");
    EXPECT_EQ(Send(BuildVersionReq(), 300), kDiagTimedOut);
    ASSERT_TRUE(port.RxReady().Wait(kWaitMs)) << "the late answer arrives";
    EXPECT_EQ(Send(BuildBattInfoReq()), kDiagAnswered);
    BattInfo b;
    EXPECT_TRUE(ParseBattInfo(resp.data(), port.LastResponseLength(), b));
}

TEST_F(TransactOverSim, StatusPollsAmidFrequentUnsolicitedPackets)
{
    port.ClosePort();
    sim->Stop();
    StartSim(15);
    ASSERT_GT(DiscoverAndOpen(), 0);
    // A packet's flag may wake the transaction before the answer is there;
    // the 50 ms pause nearly always covers the modem's answer time. Every
    // exchange ends as answered or no match, never with a wrong payload.
    int answered = 0;
    for (int i = 0; i < 20; ++i) {
        const uint8_t r = Send(BuildModemStatusReq());
        ASSERT_TRUE(r == kDiagAnswered || r == kDiagNoMatch) << int(r);
        if (r == kDiagAnswered) {
            ++answered;
            EXPECT_EQ(resp[0], KVA_CMD_GENERAL);
            EXPECT_EQ(GetU16(resp.data(), kVendorSubOffset), KVA_SUB_STATUS);
        } else {
            EXPECT_EQ(resp[0], 0xFF);
        }
    }
    EXPECT_GE(answered, 15);
}
