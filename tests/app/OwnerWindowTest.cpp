// The window as the owner of the modem: its owner is fed by the window's
// engine and messaging, a new message reaches the owner's listeners, the
// owner's actions run on the window's UI thread while it keeps pumping, the
// Reply of a notification opens the SMS page on that number, and an action
// still waiting when the window closes is answered once.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "data/AppDatabase.h"
#include "sim/ModemSimulator.h"

#include <filesystem>
#include <mutex>
#include <thread>

using namespace kv;
using namespace kvapp;
using kvtest::BoxCloser;
using kvtest::PumpUntil;

namespace {

class Events : public IOwnerListener {
public:
    void OnOwnerEvent(const OwnerEvent& e) override
    {
        std::lock_guard<std::mutex> g(lock);
        events.push_back(e);
    }
    int Count(OwnerEventKind k)
    {
        std::lock_guard<std::mutex> g(lock);
        int n = 0;
        for (const auto& e : events)
            n += e.kind == k;
        return n;
    }
    std::mutex lock;
    std::vector<OwnerEvent> events;
};

class OwnerWindow : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        kvtest::ShellTest::SetUp();
        dbPath = settings.Path("WVL.MDB");
        std::filesystem::copy_file(KORVIA_BUILT_DB, dbPath);
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
        db = std::make_unique<CAppDatabase>(dbPath);
        dlg = std::make_unique<CDialer_oneDlg>(db.get());
        WireMessaging(*dlg, *db);
        WireOwner(*dlg, db.get());
        ASSERT_NE(dlg->Owner(), nullptr);
        dlg->Owner()->Hub().AddListener(&events);
        dlg->OnInitDialog();
        dlg->show();
    }
    void TearDown() override
    {
        if (dlg && dlg->Owner())
            dlg->Owner()->Hub().RemoveListener(&events);
        kvtest::CloseWindow(dlg, db, sim);
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }
    OwnerSnapshot Snap() { return dlg->Owner()->Hub().Snapshot(); }

    std::string dbPath;
    Events events;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CAppDatabase> db;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

TEST_F(OwnerWindow, FedByTheWindowAndItsReplyOpensTheSmsPage)
{
    BoxCloser boxes;
    ASSERT_TRUE(PumpUntil([&] { return Snap().engineReady && Snap().messagesMemory >= 0; }, 60000));
    EXPECT_EQ(Snap().cardState, "ready");
    EXPECT_TRUE(PumpUntil([&] { return Snap().signal1xBars > 0; }, 20000));

    ASSERT_EQ(sim->Command("sms 3105550142 Dinner at eight?").substr(0, 2), "OK");
    ASSERT_TRUE(PumpUntil([&] { return events.Count(OwnerEventKind::SmsReceived) == 1; }, 30000));
    {
        std::lock_guard<std::mutex> g(events.lock);
        for (const auto& e : events.events)
            if (e.kind == OwnerEventKind::SmsReceived) {
                EXPECT_EQ(e.number, "3105550142");
                EXPECT_EQ(e.text, "Dinner at eight?");
            }
    }

    // An action from another thread, as the bus thread makes one.
    bool listed = false;
    size_t count = 0;
    std::thread caller([&] {
        dlg->Owner()->Actions().ListSms("memory", [&](const OwnerResult& r, const std::vector<OwnerSms>& list) {
            listed = r.ok();
            count = list.size();
        });
    });
    caller.join();
    ASSERT_TRUE(PumpUntil([&] { return listed; }, 30000));
    EXPECT_GE(count, 1u);

    ASSERT_NE(dlg->Owner()->Ui(), nullptr);
    dlg->Owner()->Ui()->ShowSmsReply("3105550142");
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nActiveView.load() == VIEW_SMS; }, 20000));
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(OwnerWindow, AnActionStillWaitingWhenTheWindowClosesIsAnsweredOnce)
{
    BoxCloser boxes;
    ASSERT_TRUE(PumpUntil([&] { return Snap().engineReady; }, 60000));
    auto calls = std::make_shared<int>(0);
    // Queued: it runs while the close procedure pumps, or is refused when
    // the owner closes first; either way it is answered once.
    dlg->Owner()->Actions().Hangup([calls](const OwnerResult&) { ++*calls; });
    dlg->Owner()->Actions().ListSms("", [calls](const OwnerResult&, const std::vector<OwnerSms>&) { ++*calls; });
    kvtest::CloseWindow(dlg, db, sim);
    EXPECT_EQ(*calls, 2);
}

} // namespace
