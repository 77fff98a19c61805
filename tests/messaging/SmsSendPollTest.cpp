// Sending, the outbox write, and the status poll's message reaction against
// the simulator.
#include "SimFixture.h"

#include "data/DataConstants.h"
#include "engine/DmTexts.h"
#include "messaging/SmsTexts.h"
#include "settings/Profile.h"

using namespace kv;
using kv::sim::ModemModel;

class SmsSendPoll : public kvtest::SimFixture {};

TEST_F(SmsSendPoll, IdleSendIsDeliveredThroughTheSendStatus)
{
    StartSim([](ModemModel& m) { m.reportDelayMs = 300; });
    ASSERT_TRUE(StartSession(false));
    ASSERT_TRUE(Until([&] { return m_session->Host().State().m_ucLastCallState.load() == kCallStateIdle; }));
    EXPECT_EQ(m_session->SendOne("5551234", "5550000", "hello there", 10000), kSmsOutcomeDelivered);
    auto sent = m_sim->WithModel([](ModemModel& m) { return m.sent; });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].destination, "5551234");
    EXPECT_EQ(sent[0].text, "hello there");
    EXPECT_EQ(sent[0].encoding, kSmsEncodingAscii);
    EXPECT_EQ(m_session->Host().State().m_ucSmsCheckStage.load(), 2);
}

TEST_F(SmsSendPoll, SendIsRefusedUnlessTheModemIsIdle)
{
    StartSim();
    ASSERT_TRUE(StartSession(false));
    ModemState& st = m_session->Host().State();
    ASSERT_TRUE(Until([&] { return st.m_ucLastCallState.load() == kCallStateIdle; }));
    m_sim->Command("call 6195550199 Alice");
    ASSERT_TRUE(Until([&] { return st.m_ucLastCallState.load() > kCallStateIdle; }));
    EXPECT_EQ(m_session->SendOne("5551234", "", "during a call", 10000), kSmsOutcomeBusy);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.sent.empty(); }));

}

TEST_F(SmsSendPoll, TextTooLongIsRefusedWithItsMessage)
{
    StartSim();
    ASSERT_TRUE(StartSession(false));
    ASSERT_TRUE(Until([&] { return m_session->Host().State().m_ucLastCallState.load() == kCallStateIdle; }));
    EXPECT_EQ(m_session->SendOne("5551234", "", std::string(230, 'x'), 3000), kSmsOutcomeRefused);
    auto boxes = m_session->Host().MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.back().find("Cannot send the message(s)."), std::string::npos);
}

TEST_F(SmsSendPoll, OutboxWriteToAFullCardShowsItsMessage)
{
    StartSim([](ModemModel& m) {
        m.ruim.capacity = 2;
        m.ruim.slots[0].slot = 0;
        m.ruim.slots[1].slot = 1;
    });
    ASSERT_TRUE(StartSession(false));
    m_session->Shared().SetSendRecord("5551234", "", "keep me");
    EXPECT_EQ(m_session->Engine().DmSubRequest(DM_SMS_WRITE, 5u * 65536 + 3, false), DM_RESULT_MODEM_REFUSED);
    auto boxes = m_session->Host().MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.back().find(smstext::kRuimOutboxFull), std::string::npos);

    m_sim->WithModel([](ModemModel& m) { m.ruim.slots.erase(1); });
    EXPECT_EQ(m_session->Engine().DmSubRequest(DM_SMS_WRITE, 5u * 65536 + 3, false), DM_SMS_WRITE);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.ruim.slots.count(1) && m.ruim.slots[1].tag == 3; }));
}

TEST_F(SmsSendPoll, PollReactsToTwoNewMessages)
{
    StartSim([](ModemModel& m) { m.ruim.slots[0].slot = 0, m.ruim.slots[0].tag = 1; });
    ASSERT_TRUE(StartSession(false));
    ModemState& st = m_session->Host().State();
    ASSERT_TRUE(Until([&] { return m_session->Host().Indicator(IND_SMS) == 0; }));
    m_sim->WithModel([](ModemModel& m) {
        m.ReceiveSms("5551000", "one", 6, 0);
        m.ReceiveSms("5551001", "two", 6, 0);
    });
    ASSERT_TRUE(Until([&] { return st.m_wLastSmsCount.load() == 2; }));
    EXPECT_TRUE(Until([&] { return m_session->Host().Indicator(IND_SMS) == kSmsIndNew; }));
    EXPECT_TRUE(st.m_ucUiFlags.load() & UIF_SMS_WAITING);
    EXPECT_EQ(m_session->Shared().m_nRuimCount.load(), 1); // the card was listed
    EXPECT_EQ(m_session->Shared().m_nMemoryCount.load(), 2);
    EXPECT_EQ(GetProfileInt(dmtext::kSecSmsC, dmtext::kKeySmsCnt, -1, kMainIni), 2);
    EXPECT_EQ(Count("tealfin_sms"), 0); // the engine never touches the table
    // Bring-to-front once for the rise.
    EXPECT_TRUE(Until([&] {
        for (const auto& p : m_session->Host().Posted())
            if (p.msg == UM_BRING_TO_FRONT)
                return true;
        return false;
    }));
}

TEST_F(SmsSendPoll, StorageFullNoticeOnlyWhenTheStoreBecomesFull)
{
    StartSim([](ModemModel& m) { m.storageFull = true; });
    ASSERT_TRUE(StartSession(false));
    const uint64_t start = m_sim->Answered();
    ASSERT_TRUE(Until([&] { return m_sim->Answered() > start + 20; }, 20000)); // several polls
    EXPECT_EQ(m_session->Host().Popups().size(), 1u);
    m_sim->WithModel([](ModemModel& m) { m.storageFull = false; });
    const uint64_t mid = m_sim->Answered();
    ASSERT_TRUE(Until([&] { return m_sim->Answered() > mid + 12; }, 20000));
    m_sim->WithModel([](ModemModel& m) { m.storageFull = true; });
    EXPECT_TRUE(Until([&] { return m_session->Host().Popups().size() == 2u; }, 20000));
    EXPECT_NE(m_session->Host().Popups()[0].find("Not enough space"), std::string::npos);
}

TEST_F(SmsSendPoll, ObsoleteVoiceMailNotificationIsRemovedByThePoll)
{
    StartSim([](ModemModel& m) {
        m.SetVoiceMail(2, 0);
        m.ReceiveSms("5551000", "hi", 6, 0);
    });
    ASSERT_TRUE(StartSession(false));
    CSmsShared& sh = m_session->Shared();
    ASSERT_TRUE(Until([&] { return sh.m_nVoiceCount.load() == 2; }));
    EXPECT_TRUE(Until([&] { return m_session->Host().Indicator(IND_SMS) == kSmsIndVoiceOne; }));
    const int32_t slot = sh.m_nVoiceSlot.load();
    ASSERT_GE(slot, 0);

    // The mirror holds the notification; it keeps being read at every pass.
    ASSERT_TRUE(m_session->Sms().LoadMirror());
    EXPECT_EQ(Count("tealfin_sms", "new_flag=1"), 1);

    m_sim->Command("voicemail 0");
    ASSERT_TRUE(Until([&] {
        return m_sim->WithModel([](ModemModel& m) { return m.memory.slots.size() == 1; });
    }));
    // Timer 110 takes the row away on the UI thread.
    m_session->Sms().RemoveVoiceMailRow();
    EXPECT_EQ(Count("tealfin_sms"), 1);
    EXPECT_EQ(sh.m_nVoiceSlot.load(), -1);
}
