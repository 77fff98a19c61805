// The connection manager journals the running session: checkpoints while it
// is connected, the journal emptied by a traffic reset that recorded its
// counters, and gone once the session's record is written.
#include "NetFixture.h"

#include "settings/FileUtil.h"
#include "traffic/SessionJournal.h"

using namespace kvnet;
using kvtest::NetTest;

namespace {

class Checkpoints : public NetTest {
protected:
    void Start()
    {
        kvnet::ConnectionUi ui = Ui();
        journal = std::make_shared<kvtraffic::CSessionJournal>();
        ui.journal = journal;
        ui.journalIntervalMs = 300;
        manager = std::make_unique<kvnet::CConnectionManager>(host, ui);
        manager->SetAccount("card", "card", "");
        ASSERT_TRUE(manager->Start());
    }
    // The journal's counters; false when there is none.
    bool Read(kvtraffic::JournalCounters& c) const
    {
        std::string text;
        return kv::ReadWholeFile(journal->JournalPath(), text) && kvtraffic::DecodeSessionJournal(text, c);
    }
    std::shared_ptr<kvtraffic::CSessionJournal> journal;
};

} // namespace

TEST_F(Checkpoints, TheRunningSessionIsJournalledUntilItsRecordIsWritten)
{
    Start();
    EXPECT_FALSE(journal->Active());
    manager->NetConnect();
    ASSERT_TRUE(Connected());
    EXPECT_TRUE(journal->Active());
    kvtraffic::JournalCounters first, later;
    ASSERT_TRUE(Until([&] { return Read(first) && first.received > 0; }));
    // Every interval the counters move on.
    ASSERT_TRUE(Until([&] { return Read(later) && later.received > first.received; }, 3000));
    EXPECT_GE(later.duration, first.duration);
    EXPECT_NEAR(double(later.written), double(std::time(nullptr)), 5.0);

    // A reset records the counts so far: the journal must not hold them too.
    ASSERT_TRUE(Until([&] { return manager->Duration() >= 1000; }));
    ASSERT_TRUE(manager->RasRequest(RAS_REQ_RESET, false));
    ASSERT_TRUE(Until([&] { return Records().size() == 1; }));
    kvtraffic::JournalCounters afterReset;
    ASSERT_TRUE(Until([&] { return Read(afterReset); }, 3000));
    EXPECT_LT(afterReset.received, Records()[0].bytesReceived + 1);

    const std::string path = journal->JournalPath();
    manager->NetDisconnect();
    ASSERT_TRUE(Until([&] { return Records().size() == 2 && manager->State() == RAS_REQ_LOOK; }));
    EXPECT_FALSE(journal->Active());
    std::string text;
    EXPECT_FALSE(kv::ReadWholeFile(path, text));
    EXPECT_EQ(kvtraffic::FoldEndedSessionJournals().folded, 0);
}
