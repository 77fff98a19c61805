// The SMS engine's pure rules and the exchanges the simulator cannot stage.
#include "SimFixture.h"

#include "data/DataConstants.h"
#include "host/HeadlessHost.h"
#include "messaging/SmsEngine.h"
#include "messaging/SmsTexts.h"

using namespace kv;

TEST(SmsCodec, Ia5DollarAndTildeBecomeKzAndSpace_OtherEncodingsCopied)
{
    EXPECT_EQ(ConvertSmsData(kSmsEncodingIa5, "a$b~c"), "akzb c");
    EXPECT_EQ(ConvertSmsData(kSmsEncodingAscii, "a$b~c"), "a$b~c");
    EXPECT_EQ(ConvertSmsData(16, "\xC4$"), "\xC4$");
    // A body of dollars doubles but never outgrows the conversion buffer.
    EXPECT_EQ(ConvertSmsData(kSmsEncodingIa5, std::string(300, '$')).size(), kSmsConvertBuffer);
    EXPECT_EQ(StoredSmsEncoding(kSmsEncodingUnicode), kSmsEncodingAscii);
    EXPECT_EQ(StoredSmsEncoding(kSmsEncodingIa5), kSmsEncodingIa5);
    EXPECT_EQ(ChooseSmsEncoding("plain text"), kSmsEncodingAscii);
    EXPECT_EQ(ChooseSmsEncoding("caf\xE9"), kSmsEncodingCodePage);
}

TEST(SmsCodec, IndicatorFollowsCountAndVoiceMail)
{
    EXPECT_EQ(SmsIndicatorValue(1, 2, false), kSmsIndVoiceOne);
    EXPECT_EQ(SmsIndicatorValue(3, 1, false), kSmsIndVoiceMany);
    EXPECT_EQ(SmsIndicatorValue(2, 0, false), kSmsIndNew);
    EXPECT_EQ(SmsIndicatorValue(2, -1, false), kSmsIndNew);
    EXPECT_EQ(SmsIndicatorValue(2, 0, true), -1); // unchanged after the notification went
}

TEST(SmsShared, ResetAndSendRecord)
{
    CSmsShared s;
    s.m_nMemoryCount = 4;
    s.m_nVoiceSlot = 3;
    s.m_nVoiceCount = -1;
    EXPECT_EQ(s.VoiceCountShown(), 0);
    s.SetSendRecord("5551234", "5550000", "h\xE9llo");
    EXPECT_EQ(s.m_sendRecord.encoding, kSmsEncodingCodePage);
    s.Reset();
    EXPECT_EQ(s.m_nMemoryCount.load(), 0);
    EXPECT_EQ(s.m_nVoiceSlot.load(), -1);
    EXPECT_EQ(s.m_sendRecord.encoding, 255);
    EXPECT_TRUE(s.m_sendRecord.text.empty());
}

// An engine that is never started, over a scripted link, for one-exchange stories.
class SmsScripted : public kvtest::SimFixture {
protected:
    void Make(kvtest::ScriptLink::Handler h)
    {
        m_link = std::make_unique<kvtest::ScriptLink>(std::move(h));
        m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
        m_db = std::make_unique<CAppDatabase>(DbPath());
        m_sms = std::make_unique<CSmsEngine>(*m_engine, *m_db, m_shared, &m_list);
        InstallSmsEngine(*m_engine, *m_sms);
    }
    CHeadlessHost m_host;
    std::unique_ptr<kvtest::ScriptLink> m_link;
    std::unique_ptr<CDmEngine> m_engine;
    std::unique_ptr<CAppDatabase> m_db;
    CSmsShared m_shared;
    CSmsVectorList m_list;
    std::unique_ptr<CSmsEngine> m_sms;
};

TEST_F(SmsScripted, SendStatusWithoutCloseFlagAsksAgain_WithCloseFlagPostsTheReport)
{
    SmsInspectReply r;
    r.closeFlag = 0;
    r.report = 0;
    Make([&](const DiagRequest&) { return EncodeSmsInspectReply(r); });
    m_host.State().m_ucSmsCheckStage = 2;
    m_sms->CmdInspected();
    EXPECT_EQ(m_host.State().m_ucSmsCheckStage.load(), 1);
    EXPECT_TRUE(m_host.Posted().empty());

    r.closeFlag = 1;
    r.report = 7;
    m_sms->CmdInspected();
    EXPECT_EQ(m_host.State().m_ucSmsCheckStage.load(), 2);
    auto posted = m_host.Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].target, MsgTarget::SmsPage);
    EXPECT_EQ(posted[0].msg, uint32_t(UM_SMS_SEND_STATUS));
    EXPECT_EQ(posted[0].lParam, 7);
}

TEST_F(SmsScripted, SendStatusExchangeFailureCountsAnError)
{
    Make([](const DiagRequest&) { return std::vector<uint8_t>{}; });
    m_host.State().m_ucSmsCheckStage = 2;
    m_sms->CmdInspected();
    EXPECT_EQ(m_engine->ErrorCount(), 1);
    EXPECT_EQ(m_host.State().m_ucSmsCheckStage.load(), 2);
}

TEST_F(SmsScripted, ListReplyCutShortDropsNoRows)
{
    // The table knows slots 1 and 2 of the memory store; the reply announces
    // five entries but carries only slot 1.
    Sql("INSERT INTO tealfin_sms VALUES (" + std::to_string(SmsRowIndex(6, 1)) + ",1,100,'1',0,2,zeroblob(229))");
    Sql("INSERT INTO tealfin_sms VALUES (" + std::to_string(SmsRowIndex(6, 2)) + ",1,101,'2',0,2,zeroblob(229))");
    std::vector<uint8_t> reply = EncodeSmsListReply([] {
        SmsListReply r;
        r.storage = 6;
        r.numEntries = 1;
        r.entries.push_back({1, 1});
        return r;
    }());
    reply.resize(sms_list_layout::kEntries + sms_list_layout::kEntrySize);
    reply[sms_list_layout::kNumEntries] = 5; // announced: 5
    Make([&](const DiagRequest&) { return reply; });
    EXPECT_EQ(m_sms->SubList(6), DM_SMS_LIST);
    EXPECT_EQ(Count("tealfin_sms"), 2);
    EXPECT_EQ(m_shared.m_nMemoryCount.load(), 5);
}

TEST_F(SmsScripted, OneMessageRequestsWithoutATargetAreRefused)
{
    Make([](const DiagRequest&) { return std::vector<uint8_t>{}; });
    EXPECT_EQ(m_sms->SubSetTag(1), DM_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(m_sms->SubList(7), DM_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(m_sms->SubGetVoice(0), DM_RESULT_BAD_ARGUMENT);
    EXPECT_TRUE(m_link->m_requests.empty());
}

TEST_F(SmsScripted, SendBelowIdleIsRefusedWithoutAnExchange)
{
    Make([](const DiagRequest&) { return std::vector<uint8_t>{}; });
    m_shared.SetSendRecord("5551234", "", "x");
    for (uint8_t state : {uint8_t(0), uint8_t(0x81), uint8_t(0x83)}) {
        m_host.State().m_ucLastCallState = state;
        EXPECT_EQ(m_sms->SubSend(), DM_RESULT_MODEM_REFUSED);
    }
    EXPECT_TRUE(m_link->m_requests.empty());
    auto posted = m_host.Posted();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].lParam, kSmsOutcomeBusy);
}
