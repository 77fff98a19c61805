// The owner's feed against the simulated modem: the snapshot after the
// start-up, the new messages, the calls and the modem going away, as the
// hub's listeners hear them.
#include "OwnerFixture.h"

#include "data/DataConstants.h"
#include "engine/DmCall.h"
#include "host/HostIds.h"
#include "host/StatusModel.h"

#include <nlohmann/json.hpp>

using namespace kv;

namespace kvtest {

class OwnerFeedTest : public OwnerFixture {};

TEST_F(OwnerFeedTest, SnapshotAfterStartUpShowsSignalServiceCardAndCounts)
{
    Begin([](sim::ModemModel& m) {
        m.rssi1x = -79;
        m.rssiEvdo = -84;
        m.ReceiveSms("5551000", "old one", 6, 0);
    });
    ASSERT_TRUE(Until([&] { return Snap().signal1xBars > 0 && !Snap().serviceState.empty(); })) << Describe();
    const OwnerSnapshot s = Snap();
    EXPECT_TRUE(s.engineReady);
    EXPECT_EQ(s.port, m_sim->SlavePath());
    EXPECT_EQ(s.signal1xDbm, -79);
    EXPECT_EQ(s.signal1xBars, uint32_t(CStatusModel::SignalLevelOf(-79)));
    EXPECT_NE(s.serviceState, "unknown");
    EXPECT_GE(s.serviceStateCode, 0);
    EXPECT_EQ(s.cardState, "ready");
    EXPECT_EQ(s.messagesMemory, 1);
    EXPECT_EQ(s.callState, "idle");
    EXPECT_EQ(s.connectionState, "disconnected");
    // The message already there at the start is not news.
    Host().PumpFor(500);
    EXPECT_EQ(m_rec.Count(OwnerEventKind::SmsReceived), 0);

    // GetStatus is the status report's document, with the same words.
    Completion<std::string> status;
    Owner().Actions().GetStatus(status.Fn());
    ASSERT_TRUE(Until([&] { return status.Done(); }));
    ASSERT_TRUE(status.Result().ok()) << status.Result().text;
    const auto doc = nlohmann::json::parse(status.Get<0>());
    EXPECT_EQ(doc["service"]["state"], Snap().serviceState);
    EXPECT_EQ(doc["signal"]["1x"]["dbm"], -79);
    EXPECT_EQ(doc["card"]["state"], "ready");
    EXPECT_EQ(doc["messages"]["memory"], 1);
    EXPECT_EQ(doc["port"]["path"], m_sim->SlavePath());
}

TEST_F(OwnerFeedTest, NewMessagesInEitherStoreAreSmsReceivedWithStorageSlotAndSender)
{
    Sql("INSERT INTO tealfin_pbook (storage_type, \"index\", name, phone_number) VALUES (1, 1, 'Ann Pb', '5551234')");
    Begin();
    ASSERT_EQ(m_sim->Command("sms 5551234 Hello there"), "OK\n");
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::SmsReceived) == 1; }, 20000));
    const OwnerEvent e = *m_rec.First(OwnerEventKind::SmsReceived);
    EXPECT_EQ(e.storage, "memory");
    EXPECT_EQ(e.number, "5551234");
    EXPECT_EQ(e.name, "Ann Pb");
    EXPECT_EQ(e.text, "Hello there");
    EXPECT_EQ(e.index, uint32_t(SmsRowIndex(kSmsStoreMemory, int(e.slot))));

    ASSERT_EQ(m_sim->Command("sms-ruim 5559876 On the card"), "OK\n");
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::SmsReceived) == 2; }, 20000));
    const OwnerEvent r = m_rec.Events().back();
    EXPECT_EQ(r.storage, "ruim");
    EXPECT_EQ(r.number, "5559876");
    EXPECT_EQ(r.name, "");
    EXPECT_EQ(r.index, uint32_t(SmsRowIndex(kSmsStoreRuim, int(r.slot))));
    // Each message is told once.
    Host().PumpFor(1500);
    EXPECT_EQ(m_rec.Count(OwnerEventKind::SmsReceived), 2);
}

TEST_F(OwnerFeedTest, IncomingCallAnsweredEndedAndAnUnansweredOneMissed)
{
    Begin([](sim::ModemModel& m) {
        m.call.answerDelayMs = 300;
        m.call.releaseMs = 300;
    });
    ASSERT_EQ(m_sim->Command("call 6195550199 Alice"), "OK\n");
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::CallIncoming) == 1; }));
    EXPECT_EQ(m_rec.First(OwnerEventKind::CallIncoming)->number, "6195550199");
    EXPECT_EQ(Snap().callState, "incoming");
    EXPECT_EQ(Snap().callNumber, "6195550199");

    ASSERT_TRUE(Until([&] { return Host().State().m_ucLastCallState.load() == CALL_STATE_RINGING; }));
    Completion<> answer;
    Owner().Actions().Answer(answer.Fn());
    ASSERT_TRUE(Until([&] { return answer.Done(); }));
    EXPECT_TRUE(answer.Result().ok()) << answer.Result().text << " " << Describe();
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::CallAnswered) == 1; }));
    EXPECT_EQ(Snap().callState, "active");

    ASSERT_EQ(m_sim->Command("hangup"), "OK\n");
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::CallEnded) == 1; }));
    EXPECT_EQ(m_rec.First(OwnerEventKind::CallEnded)->number, "6195550199");
    EXPECT_EQ(m_rec.Count(OwnerEventKind::CallMissed), 0);

    // Rings and the caller gives up: missed, not ended.
    ASSERT_TRUE(Until([&] { return Snap().callState == "idle"; }));
    ASSERT_EQ(m_sim->Command("call 6195550111"), "OK\n");
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::CallIncoming) == 2; }));
    ASSERT_EQ(m_sim->Command("hangup"), "OK\n");
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::CallMissed) == 1; }));
    EXPECT_EQ(m_rec.First(OwnerEventKind::CallMissed)->number, "6195550111");
    EXPECT_EQ(m_rec.Count(OwnerEventKind::CallEnded), 1);
    EXPECT_EQ(m_rec.Count(OwnerEventKind::CallAnswered), 1);
}

TEST_F(OwnerFeedTest, UnpluggedModemIsRemovedOnceAndTheSnapshotForgetsIt)
{
    Begin();
    const std::string port = Snap().port;
    ASSERT_TRUE(m_sim->Unplug());
    ASSERT_TRUE(Until([&] { return m_rec.Count(OwnerEventKind::ModemRemoved) == 1; }));
    EXPECT_EQ(m_rec.First(OwnerEventKind::ModemRemoved)->port, port);
    ASSERT_TRUE(Until([&] { return !Snap().engineReady && Snap().port.empty(); }));
    EXPECT_EQ(Snap().signal1xBars, 0u);
    // The host's own removal path says it again: still once.
    Owner().ModemRemoved();
    Host().PumpFor(300);
    EXPECT_EQ(m_rec.Count(OwnerEventKind::ModemRemoved), 1);
}

} // namespace kvtest
