// The owner's actions against the simulated modem: refused before the
// start-up and with the command-line tool's own argument texts, the
// message, phonebook and call requests, and done called exactly once when
// the modem goes away under one.
#include "OwnerFixture.h"

#include "data/DataConstants.h"
#include "engine/DmTexts.h"

#include <thread>

using namespace kv;

namespace kvtest {

class OwnerActionsTest : public OwnerFixture {};

TEST_F(OwnerActionsTest, RefusedBeforeStartUpAndOnBadArgumentsWithTheToolsTexts)
{
    StartSim();
    MakeSession();
    Completion<std::vector<OwnerSms>> early;
    Owner().Actions().ListSms("", early.Fn());
    ASSERT_TRUE(Until([&] { return early.Done(); }));
    EXPECT_EQ(early.Result().error, OwnerError::NotReady);
    EXPECT_EQ(early.Result().text, dmtext::kPortNotOpened);

    // Checked at once, before the engine is asked (and whether or not it runs).
    Completion<std::vector<OwnerSmsOutcome>> six, bad, longText;
    Owner().Actions().SendSms({"1", "2", "3", "4", "5", "6"}, "hi", "", false, six.Fn());
    EXPECT_EQ(six.Result().error, OwnerError::InvalidArgument);
    EXPECT_EQ(six.Result().text, "NUMBER: 6 recipients, at most 5");
    Owner().Actions().SendSms({"5551234", "555x12"}, "hi", "", false, bad.Fn());
    EXPECT_EQ(bad.Result().error, OwnerError::InvalidArgument);
    EXPECT_EQ(bad.Result().text, "NUMBER '555x12': 'x' cannot be dialled (digits, *, #, a leading +)");
    Owner().Actions().SendSms({"5551234"}, std::string(10000, 'a'), "", false, longText.Fn());
    EXPECT_EQ(longText.Result().text, "TEXT: it has 10000 characters, at most 160 fit");
    Completion<> dial, dtmf, pb;
    Owner().Actions().Dial("12ab", dial.Fn());
    EXPECT_EQ(dial.Result().error, OwnerError::InvalidArgument);
    EXPECT_NE(dial.Result().text.find("is not a dial string"), std::string::npos);
    Owner().Actions().SendDtmf("12a", dtmf.Fn());
    EXPECT_EQ(dtmf.Result().text, "DIGITS '12a' must be digits, * or # (at most 30)");
    Owner().Actions().DeletePhonebookEntry("sim", 1, pb.Fn());
    EXPECT_EQ(pb.Result().error, OwnerError::InvalidArgument);
    EXPECT_EQ(six.Calls() + bad.Calls() + longText.Calls() + dial.Calls() + dtmf.Calls() + pb.Calls(), 6);

    ASSERT_TRUE(StartModem());
    Completion<std::vector<OwnerSms>> later;
    Owner().Actions().ListSms("", later.Fn());
    ASSERT_TRUE(Until([&] { return later.Done(); }));
    EXPECT_TRUE(later.Result().ok()) << later.Result().text;
    // Nothing of the refused sends reached the modem.
    EXPECT_TRUE(m_sim->WithModel([](sim::ModemModel& m) { return m.sent.empty(); }));
}

TEST_F(OwnerActionsTest, ListReadAndDeleteMessages)
{
    Begin([](sim::ModemModel& m) {
        m.ReceiveSms("5551000", "first", 6, 0);
        m.ReceiveSms("5551001", "on the card", 5, 0);
    });
    Completion<std::vector<OwnerSms>> all, memory, bogus;
    Owner().Actions().ListSms("", all.Fn());
    Owner().Actions().ListSms("memory", memory.Fn());
    Owner().Actions().ListSms("sim", bogus.Fn());
    EXPECT_EQ(bogus.Result().error, OwnerError::InvalidArgument);
    ASSERT_TRUE(Until([&] { return all.Done() && memory.Done(); }));
    ASSERT_TRUE(all.Result().ok()) << all.Result().text;
    const auto list = all.Get<0>();
    ASSERT_EQ(list.size(), 2u);
    ASSERT_EQ(memory.Get<0>().size(), 1u);
    const OwnerSms m = memory.Get<0>()[0];
    EXPECT_EQ(m.store, "memory");
    EXPECT_EQ(m.number, "5551000");
    EXPECT_EQ(m.text, "first");
    EXPECT_EQ(m.box, "unread");

    Completion<OwnerSms> read, missing;
    Owner().Actions().ReadSms(m.index, read.Fn());
    Owner().Actions().ReadSms(uint32_t(SmsRowIndex(kSmsStoreMemory, 77)), missing.Fn());
    ASSERT_TRUE(Until([&] { return read.Done() && missing.Done(); }));
    EXPECT_EQ(read.Get<0>().text, "first");
    EXPECT_EQ(missing.Result().error, OwnerError::NotFound);
    EXPECT_EQ(missing.Result().text, "no message memory:77");

    Completion<> del;
    Owner().Actions().DeleteSms(m.index, del.Fn());
    ASSERT_TRUE(Until([&] { return del.Done(); }));
    EXPECT_TRUE(del.Result().ok()) << del.Result().text;
    EXPECT_TRUE(m_sim->WithModel([](sim::ModemModel& mm) { return mm.memory.slots.empty(); }));
}

TEST_F(OwnerActionsTest, SendsToEachRecipientWithItsOutcome)
{
    Begin();
    Completion<std::vector<OwnerSmsOutcome>> sent;
    Owner().Actions().SendSms({"5551234", "5554321"}, "hello", "", false, sent.Fn());
    ASSERT_TRUE(Until([&] { return sent.Done(); }, 30000));
    EXPECT_TRUE(sent.Result().ok()) << sent.Result().text;
    const auto out = sent.Get<0>();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].number, "5551234");
    EXPECT_EQ(out[0].outcome, "delivered");
    EXPECT_EQ(out[1].outcome, "delivered");
    EXPECT_EQ(sent.Calls(), 1);
}

TEST_F(OwnerActionsTest, PhonebookAddModifyDelete)
{
    Begin({}, true);
    Completion<uint32_t> add, badName;
    Owner().Actions().AddPhonebookEntry("memory", -1, "Bob", "5550001", add.Fn());
    Owner().Actions().AddPhonebookEntry("memory", -1, "", "5550001", badName.Fn());
    EXPECT_EQ(badName.Result().error, OwnerError::InvalidArgument);
    EXPECT_EQ(badName.Result().text, "NAME: it is empty");
    ASSERT_TRUE(Until([&] { return add.Done(); }));
    ASSERT_TRUE(add.Result().ok()) << add.Result().text;
    const uint32_t index = add.Get<0>();
    EXPECT_GE(index, 1u);

    Completion<> modify, gone;
    Owner().Actions().ModifyPhonebookEntry("memory", index, "Bobby", "5550002", modify.Fn());
    Owner().Actions().ModifyPhonebookEntry("memory", 250, "Nobody", "5550003", gone.Fn());
    ASSERT_TRUE(Until([&] { return modify.Done() && gone.Done(); }));
    EXPECT_TRUE(modify.Result().ok()) << modify.Result().text;
    EXPECT_EQ(gone.Result().error, OwnerError::NotFound);

    Completion<std::vector<OwnerPbEntry>, int, int> list;
    Owner().Actions().ListPhonebook("memory", list.Fn());
    ASSERT_TRUE(Until([&] { return list.Done(); }));
    bool found = false;
    for (const auto& e : list.Get<0>())
        found = found || (e.index == index && e.name == "Bobby" && e.number == "5550002");
    EXPECT_TRUE(found);

    Completion<> del;
    Owner().Actions().DeletePhonebookEntry("memory", index, del.Fn());
    ASSERT_TRUE(Until([&] { return del.Done(); }));
    EXPECT_TRUE(del.Result().ok()) << del.Result().text;
    EXPECT_EQ(Count("tealfin_pbook", "name='Bobby'"), 0);
}

TEST_F(OwnerActionsTest, DialAndHangUp)
{
    Begin([](sim::ModemModel& m) {
        m.call.answerDelayMs = 300;
        m.call.releaseMs = 300;
    });
    Completion<> dial;
    Owner().Actions().Dial("5551234", dial.Fn());
    ASSERT_TRUE(Until([&] { return dial.Done(); }));
    ASSERT_TRUE(dial.Result().ok()) << dial.Result().text;
    ASSERT_TRUE(Until([&] { return Snap().callState == "active"; })) << Describe();
    EXPECT_EQ(Snap().callNumber, "5551234");
    Completion<> again;
    Owner().Actions().Dial("5551234", again.Fn());
    ASSERT_TRUE(Until([&] { return again.Done(); }));
    EXPECT_EQ(again.Result().error, OwnerError::Busy);

    Completion<> hangup;
    Owner().Actions().Hangup(hangup.Fn());
    ASSERT_TRUE(Until([&] { return hangup.Done(); }));
    EXPECT_TRUE(hangup.Result().ok()) << hangup.Result().text << " " << Describe();
    ASSERT_TRUE(Until([&] { return Snap().callState == "idle"; }));
    EXPECT_EQ(m_rec.Count(OwnerEventKind::CallEnded), 1);
}

TEST_F(OwnerActionsTest, DoneOnceWhenTheModemIsUnpluggedMidAction)
{
    Begin([](sim::ModemModel& m) { m.call.answerDelayMs = 60000; });
    // The send waits for a delivery report that never comes: the modem goes.
    ASSERT_EQ(m_sim->Command("report-delay 60000"), "OK\n");
    Completion<std::vector<OwnerSmsOutcome>> sent;
    Owner().Actions().SendSms({"5551234", "5554321"}, "hello", "", false, sent.Fn());
    Completion<> queued;
    Owner().Actions().Hangup(queued.Fn()); // waits its turn behind the send
    std::thread unplug([&] {
        m_sim->WaitFor([](sim::ModemModel& m) { return !m.sent.empty(); }, 10000);
        m_sim->Unplug();
    });
    ASSERT_TRUE(Until([&] { return sent.Done() && queued.Done(); }, 20000));
    unplug.join();
    EXPECT_EQ(sent.Result().error, OwnerError::Failed);
    const auto out = sent.Get<0>();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].outcome, "not sent");
    EXPECT_EQ(queued.Result().error, OwnerError::NotReady);
    Host().PumpFor(500);
    EXPECT_EQ(sent.Calls(), 1);
    EXPECT_EQ(queued.Calls(), 1);
}

} // namespace kvtest
