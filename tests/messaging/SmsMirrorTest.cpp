// The message mirror against the simulator: the first load, the list's
// reconciliation, the read pass and the one-message requests.
#include "SimFixture.h"

#include "data/DataConstants.h"
#include "host/HostIds.h"
#include "messaging/SmsTexts.h"
#include "support/HangGuard.h"

using namespace kv;
using kv::sim::ModemModel;
using kv::sim::SimSms;

namespace {

SimSms Msg(uint16_t slot, uint32_t tag, const std::string& from, const std::string& text,
           uint8_t encoding = 2, uint32_t time = 1000)
{
    SimSms m;
    m.slot = slot;
    m.tag = tag;
    m.number = from;
    m.text = text;
    m.encoding = encoding;
    m.time = time;
    return m;
}

} // namespace

class SmsMirror : public kvtest::SimFixture {
protected:
    // The message text stored in a row.
    std::string RowText(int32_t index)
    {
        CDaoSmsDb& sms = m_session->Db().Sms();
        if (!sms.FindFirst(CDaoSmsDb::FilterIndex(index)))
            return "<none>";
        return sms.MessageText();
    }
};

TEST_F(SmsMirror, FirstLoadFillsNewRowsAndConvertsBodies)
{
    StartSim([](ModemModel& m) {
        m.memory.slots[0] = Msg(0, 2, "5551000", "a$b~c", kSmsEncodingIa5, 3000);
        m.memory.slots[1] = Msg(1, 1, "5551001", std::string("h\0i", 3), kSmsEncodingUnicode, 2000);
        m.memory.slots[4] = Msg(4, 1, "5551004", "hi", 2, 1000);
        m.ruim.slots[2] = Msg(2, 2, "5552002", "card", 2, 4000);
    });
    ASSERT_TRUE(StartSession(false));
    ASSERT_TRUE(m_session->Sms().LoadMirror());
    EXPECT_TRUE(m_session->Host().State().m_ucUiFlags.load() & UIF_SMS_LOADED);
    EXPECT_EQ(m_session->Shared().m_nMemoryCount.load(), 3);
    EXPECT_EQ(m_session->Shared().m_nRuimCount.load(), 1);
    EXPECT_EQ(Count("tealfin_sms"), 4);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=0"), 4);
    EXPECT_EQ(Count("tealfin_sms", "length(message)=229"), 4);
    EXPECT_EQ(RowText(SmsRowIndex(6, 0)), "akzb c");
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(6, 1)) + " AND encoding=2"), 1);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(5, 2)) + " AND cb_number='5552002' AND time=4000"), 1);
    // The cursor stands on its standing query: time order.
    CDaoSmsDb& sms = m_session->Db().Sms();
    sms.MoveFirst();
    EXPECT_EQ(sms.m_time, 1000);
}

TEST_F(SmsMirror, ListReconcilesVanishedAndReplacedMessages)
{
    StartSim([](ModemModel& m) {
        m.memory.slots[0] = Msg(0, 1, "5551000", "stays");
        m.memory.slots[1] = Msg(1, 1, "5551001", "deleted elsewhere");
        m.memory.slots[2] = Msg(2, 1, "5551002", "old text");
        m.ruim.slots[0] = Msg(0, 1, "5552000", "card message");
    });
    ASSERT_TRUE(StartSession(false));
    ASSERT_TRUE(m_session->Sms().LoadMirror());
    ASSERT_EQ(Count("tealfin_sms"), 4);

    m_sim->WithModel([](ModemModel& m) {
        m.memory.slots.erase(1);
        m.memory.slots[2] = Msg(2, 2, "5559999", "new text"); // replaced: a new unread message
    });
    CDmEngine& e = m_session->Engine();
    ASSERT_EQ(e.DmSubRequest(DM_SMS_LIST, 6, false), DM_SMS_LIST);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(6, 1))), 0);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=1 AND tag_type=2"), 1);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(5, 0))), 1); // other store untouched
    ASSERT_EQ(e.DmSubRequest(DM_SMS_READ, 0, false), DM_SMS_READ);
    EXPECT_EQ(RowText(SmsRowIndex(6, 2)), "new text");
    EXPECT_EQ(RowText(SmsRowIndex(6, 0)), "stays");

    // A store that became empty leaves no rows behind.
    m_sim->WithModel([](ModemModel& m) { m.ruim.slots.clear(); });
    EXPECT_EQ(e.DmSubRequest(DM_SMS_LIST, 5, false), DM_RESULT_NO_MESSAGES);
    EXPECT_EQ(Count("tealfin_sms", "\"index\">=" + std::to_string(SmsRowIndex(5, 0)) + " AND \"index\"<"
                                       + std::to_string(SmsRowIndex(6, 0))),
              0);
}

TEST_F(SmsMirror, ReadPassDropsAMessageTheModemNoLongerHas)
{
    StartSim([](ModemModel& m) {
        m.memory.slots[0] = Msg(0, 1, "5551000", "one");
        m.memory.slots[1] = Msg(1, 1, "5551001", "two");
    });
    ASSERT_TRUE(StartSession(false));
    CDmEngine& e = m_session->Engine();
    ASSERT_EQ(e.DmSubRequest(DM_SMS_LIST, 6, false), DM_SMS_LIST);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=1"), 2);
    m_sim->WithModel([](ModemModel& m) { m.memory.slots.erase(1); });
    ASSERT_EQ(e.DmSubRequest(DM_SMS_READ, 0, false), DM_SMS_READ);
    EXPECT_EQ(Count("tealfin_sms"), 1);
    EXPECT_EQ(m_session->Shared().m_nMemoryCount.load(), 1);
}

TEST_F(SmsMirror, OneMessageRequestsActOnTheGivenMessageWhereverTheCursorStands)
{
    StartSim([](ModemModel& m) {
        m.memory.slots[0] = Msg(0, 2, "5551000", "first", 2, 100);
        m.memory.slots[1] = Msg(1, 2, "5551001", "second", 2, 200);
        m.memory.slots[2] = Msg(2, 1, "5551002", "third", 2, 300);
    });
    ASSERT_TRUE(StartSession(false));
    ASSERT_TRUE(m_session->Sms().LoadMirror());
    CDaoSmsDb& sms = m_session->Db().Sms();
    sms.MoveLast(); // the cursor elsewhere, as after events served meanwhile

    EXPECT_EQ(m_session->Sms().MarkMessageRead(SmsRowIndex(6, 1)), DM_SMS_SETTAG);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(6, 1)) + " AND tag_type=1"), 1);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(6, 0)) + " AND tag_type=2"), 1);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.memory.slots[1].tag == 1; }));

    sms.MoveFirst();
    EXPECT_EQ(m_session->Engine().DmSubRequest(DM_SMS_REMOVEAT, uintptr_t(SmsRowIndex(6, 2)), false),
              DM_SMS_REMOVEAT);
    EXPECT_EQ(Count("tealfin_sms"), 2);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(6, 2))), 0);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.memory.slots.count(2) == 0; }));

    // Removing what the modem no longer has is refused and keeps the row.
    m_sim->WithModel([](ModemModel& m) { m.memory.slots.erase(0); });
    EXPECT_EQ(m_session->Engine().DmSubRequest(DM_SMS_REMOVEAT, uintptr_t(SmsRowIndex(6, 0)), false),
              DM_RESULT_MODEM_REFUSED);
    EXPECT_EQ(Count("tealfin_sms", "\"index\"=" + std::to_string(SmsRowIndex(6, 0))), 1);
}

TEST_F(SmsMirror, RemoveAllWalksTheListAndEmptiesIt)
{
    StartSim([](ModemModel& m) {
        m.memory.slots[0] = Msg(0, 1, "5551000", "a");
        m.memory.slots[3] = Msg(3, 1, "5551003", "b");
        m.ruim.slots[1] = Msg(1, 1, "5552001", "c");
    });
    ASSERT_TRUE(StartSession(false));
    ASSERT_TRUE(m_session->Sms().LoadMirror());
    m_session->List().m_nProgressSteps = 0;
    m_session->List().m_items = {SmsRowIndex(6, 0), SmsRowIndex(6, 3), SmsRowIndex(5, 1), SmsRowIndex(6, 9)};
    EXPECT_EQ(m_session->Engine().DmSubRequest(DM_SMS_REMOVEALL, 6u * 65536 + kSmsListInbox, false),
              DM_SMS_REMOVEALL);
    EXPECT_EQ(Count("tealfin_sms"), 0);
    EXPECT_TRUE(m_session->List().m_items.empty());
    EXPECT_EQ(m_session->List().m_nProgressSteps, 4);
    EXPECT_FALSE(m_session->List().m_bProgressVisible);
    EXPECT_EQ(m_session->Shared().m_nMemoryCount.load(), 0);
    EXPECT_EQ(m_session->Shared().m_nRuimCount.load(), 0);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.memory.slots.empty() && m.ruim.slots.empty(); }));
}

TEST_F(SmsMirror, RequestsStartedWhileTheFirstLoadWaitsAreRefusedAndPollingGoesOn)
{
    StartSim([](ModemModel& m) { m.memory.slots[0] = Msg(0, 2, "5551000", "one"); });
    ASSERT_TRUE(StartSession(false));
    kvtest::HangGuard guard(60000, "requests nested in a mirror load");
    // Served while the load waits for the engine to park, as clicks would be.
    int nestedLoad = -1;
    intptr_t nestedSend = -1;
    uint16_t nestedWrite = 0;
    m_session->Host().RunOnUi([&] {
        nestedLoad = m_session->Sms().LoadMirror() ? 1 : 0;
        nestedSend = m_session->SendOne("5551234", "", "not now", 100);
        nestedWrite = m_session->Pbook().WriteEntry(kPbookMemory, 0, "Ann", "5551234").result;
    });
    EXPECT_TRUE(m_session->Sms().LoadMirror());
    EXPECT_EQ(nestedLoad, 0);
    EXPECT_EQ(nestedSend, kSmsOutcomeBusy);
    EXPECT_EQ(nestedWrite, DM_RESULT_BUSY);
    EXPECT_TRUE(m_session->Host().State().m_ucUiFlags.load() & UIF_SMS_LOADED);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=0"), 1);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.sent.empty() && m.pbMemory.entries.empty(); }));
    // Polling goes on: a new battery level reaches the display.
    m_sim->WithModel([](ModemModel& m) { m.battVal = 3550; });
    EXPECT_TRUE(Until([&] { return m_session->Host().Indicator(IND_BATTERY) == 1; }));
}

TEST_F(SmsMirror, ADatabaseErrorInAListOrAReadPassLeavesTheCursorAsTheTable)
{
    StartSim([](ModemModel& m) {
        for (uint16_t i = 0; i < 4; ++i)
            m.memory.slots[i] = Msg(i, 2, "555100" + std::to_string(i), "text " + std::to_string(i), 2, 1000 + i);
    });
    ASSERT_TRUE(StartSession(false));
    CDmEngine& e = m_session->Engine();
    CDaoSmsDb& sms = m_session->Db().Sms();
    const std::string third = std::to_string(SmsRowIndex(6, 2));

    // The third new row of a list cannot be stored: none of the list stays,
    // and the cursor holds no row the table does not.
    Sql("CREATE TRIGGER fail_add BEFORE INSERT ON tealfin_sms WHEN NEW.\"index\"=" + third
        + " BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    EXPECT_EQ(e.DmSubRequest(DM_SMS_LIST, 6, false), DM_RESULT_DB_ERROR);
    EXPECT_EQ(Count("tealfin_sms"), 0);
    EXPECT_EQ(sms.GetRecordCount(), 0);
    Sql("DROP TRIGGER fail_add");
    ASSERT_EQ(e.DmSubRequest(DM_SMS_LIST, 6, false), DM_SMS_LIST);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=1"), 4);
    EXPECT_EQ(sms.GetRecordCount(), 4);

    // The third body of a read pass cannot be stored: the bodies before it
    // went back with it, so no row counts as read without its body ...
    Sql("CREATE TRIGGER fail_body BEFORE UPDATE ON tealfin_sms WHEN NEW.\"index\"=" + third
        + " AND NEW.new_flag=0 BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    EXPECT_EQ(e.DmSubRequest(DM_SMS_READ, 0, false), DM_RESULT_DB_ERROR);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=0"), 0);
    int heldComplete = 0;
    for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext())
        heldComplete += sms.m_new_flag == 0 ? 1 : 0;
    EXPECT_EQ(heldComplete, 0) << "the cursor shows what the table holds";
    // ... and the next pass reads every one of them.
    Sql("DROP TRIGGER fail_body");
    ASSERT_EQ(e.DmSubRequest(DM_SMS_READ, 0, false), DM_SMS_READ);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=0 AND cb_number<>''"), 4);
    EXPECT_EQ(RowText(SmsRowIndex(6, 0)), "text 0");
    // A later edit through the cursor finds its row.
    EXPECT_EQ(m_session->Sms().MarkMessageRead(SmsRowIndex(6, 1)), DM_SMS_SETTAG);
}

TEST_F(SmsMirror, AStopDuringTheReadPassKeepsWhatWasStoredAndLeavesTheRestNew)
{
    StartSim([](ModemModel& m) {
        for (uint16_t i = 0; i < 30; ++i)
            m.memory.slots[i] = Msg(i, 1, "5553" + std::to_string(100 + i), "body " + std::to_string(i), 2, 500 + i);
    });
    ASSERT_TRUE(StartSession(false));
    CDmEngine& e = m_session->Engine();
    // The page's progress steps once per message: the stop comes with the fifth.
    struct StopAfter : CSmsVectorList {
        CDmEngine* engine = nullptr;
        void StepProgress() override
        {
            if (++m_nProgressSteps == 5)
                engine->RequestStop();
        }
    } ui;
    ui.engine = &e;
    m_session->Sms().SetPageUi(&ui);
    ASSERT_EQ(e.DmSubRequest(DM_SMS_LIST, 6, false), DM_SMS_LIST);
    EXPECT_EQ(e.DmSubRequest(DM_SMS_READ, 0, false), DM_RESULT_ENGINE_STOPPED);
    m_session->Sms().SetPageUi(&m_session->List());
    EXPECT_EQ(ui.m_nProgressSteps, 5);
    EXPECT_FALSE(ui.m_bProgressVisible);
    EXPECT_EQ(Count("tealfin_sms", "new_flag=0 AND cb_number<>''"), 5) << "the bodies read before the stop stay";
    EXPECT_EQ(Count("tealfin_sms", "new_flag=1"), 25);
}
