// The main window with its message and phonebook engines against the
// simulated modem and a copy of the database file the build makes: both
// phonebooks arrive in the table at start-up, the protected rows stay, a
// restart never duplicates rows, the modem's return rebuilds the mirror, the
// poll notices a new message and the SMS page switch loads the messages.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"
#include "support/HangGuard.h"
#include "voice/VcallView.h"

#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <set>

using namespace kv;
using namespace kvapp;
using kvtest::BoxCloser;
using kvtest::PumpUntil;

namespace {

constexpr int kStartMs = 60000;

// "type:index:name:number" of every phonebook row, read on a connection of
// its own.
std::multiset<std::string> PbookRows(const std::string& path)
{
    std::multiset<std::string> rows;
    CDaoPbookDb pb(path);
    pb.Open();
    while (!pb.IsEOF()) {
        rows.insert(std::to_string(pb.m_storage_type) + ":" + std::to_string(pb.m_index) + ":" + pb.m_name
                    + ":" + pb.m_phone_number);
        pb.MoveNext();
    }
    pb.Close();
    return rows;
}

std::multiset<std::string> RowsOfType(const std::multiset<std::string>& rows, int type)
{
    std::multiset<std::string> out;
    const std::string prefix = std::to_string(type) + ":";
    for (const std::string& r : rows)
        if (r.rfind(prefix, 0) == 0)
            out.insert(r);
    return out;
}

// Number → message text of every SMS row.
std::multiset<std::string> SmsRows(const std::string& path)
{
    std::multiset<std::string> rows;
    CDaoSmsDb sms(path);
    sms.Open();
    while (!sms.IsEOF()) {
        rows.insert(sms.m_cb_number + ":" + sms.MessageText());
        sms.MoveNext();
    }
    sms.Close();
    return rows;
}

bool HasRowStartingWith(const std::multiset<std::string>& rows, const std::string& start)
{
    for (const std::string& r : rows)
        if (r.rfind(start, 0) == 0)
            return true;
    return false;
}

const std::multiset<std::string> kDemoRuim = {"2:1:Alice:6195550199", "2:2:Bob Office:8585550162",
                                              "2:3:Carol:4155550178"};
const std::multiset<std::string> kDemoMemoryNames = {"Parcel Service", "Dave Mobile", "Korvianet Care",
                                                     "Emergency"};

std::multiset<std::string> Names(const std::multiset<std::string>& rows)
{
    std::multiset<std::string> names;
    for (const std::string& r : rows) {
        const size_t a = r.find(':', r.find(':') + 1);
        const size_t b = r.rfind(':');
        names.insert(r.substr(a + 1, b - a - 1));
    }
    return names;
}

class MessagingWiring : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        kvtest::ShellTest::SetUp();
        dbPath = settings.Path("WVL.MDB");
        std::filesystem::copy_file(KORVIA_BUILT_DB, dbPath);
        protectedRows = RowsOfType(PbookRows(dbPath), 888);
        for (const std::string& r : RowsOfType(PbookRows(dbPath), 999))
            protectedRows.insert(r);
    }
    void TearDown() override
    {
        kvtest::CloseWindow(dlg, db, sim);
        CSystemTray::ForceAvailable(-1);
        unsetenv("KORVIANET_DB");
        kvtest::ShellTest::TearDown();
    }
    void StartSimulator(bool noUnread = false)
    {
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
        if (noUnread) {
            sim->WithModel([](sim::ModemModel& m) {
                for (sim::SmsStore* s : {&m.memory, &m.ruim})
                    for (auto& [slot, msg] : s->slots)
                        if (msg.tag == sim::kTagUnread)
                            msg.tag = sim::kTagRead;
            });
        }
    }
    void Open()
    {
        db = std::make_unique<CAppDatabase>(dbPath);
        dlg = std::make_unique<CDialer_oneDlg>(db.get());
        WireMessaging(*dlg, *db);
        dlg->OnInitDialog();
        dlg->show();
    }
    // Live indicators and the start-up chain ended (it enables the page
    // buttons only after both phonebooks were loaded).
    bool Started() const
    {
        const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
        return dlg->Panel().Battery() != CStatusPanel::kUnknown && dlg->IndicatorShown(IDC_SERVICE)
               && (dlg->State().m_ucUiFlags.load() & both) == both
               && dlg->Control(IDC_SMS_TOGGLE)->isEnabled();
    }
    void ExpectDemoPhonebooks(const std::multiset<std::string>& rows) const
    {
        EXPECT_EQ(RowsOfType(rows, kPbookRuim), kDemoRuim);
        EXPECT_EQ(Names(RowsOfType(rows, kPbookMemory)), kDemoMemoryNames);
        std::multiset<std::string> kept = RowsOfType(rows, 888);
        for (const std::string& r : RowsOfType(rows, 999))
            kept.insert(r);
        EXPECT_EQ(kept, protectedRows);
    }

    std::string dbPath;
    std::multiset<std::string> protectedRows;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CAppDatabase> db;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

} // namespace

TEST_F(MessagingWiring, BothPhonebooksArriveAndSurviveRestartsWithoutDuplicates)
{
    ASSERT_FALSE(protectedRows.empty()) << "the built file carries protected rows";
    // A row the modem supplied in an earlier run, no longer on the card.
    {
        CDaoPbookDb pb(dbPath);
        pb.Open();
        pb.AddNew();
        pb.m_storage_type = kPbookRuim;
        pb.m_index = 9;
        pb.m_name = "Stale";
        pb.m_phone_number = "5550000";
        pb.Update();
        pb.Close();
    }
    BoxCloser boxes;
    StartSimulator();
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    const auto first = PbookRows(dbPath);
    ExpectDemoPhonebooks(first);
    EXPECT_FALSE(HasRowStartingWith(first, "2:9:Stale")) << "the card's rows are replaced by its read";

    // The engine's name lookup goes through the window to the table.
    EXPECT_EQ(dlg->LookupName("8585550162"), "Bob Office");

    // A new card entry: an engine restart only marks the phonebooks loaded.
    sim->WithModel([](sim::ModemModel& m) {
        m.pbRuim.entries[4] = sim::PbEntry{"3105550100", "Erin"};
        m.pbMemory.entries.erase(4);
    });
    dlg->RestartDmEngine();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    EXPECT_EQ(PbookRows(dbPath), first) << "a restart neither reads again nor duplicates";

    // The modem comes back after a removal: the mirror is rebuilt from it.
    dlg->ModemReturned();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    const auto rebuilt = PbookRows(dbPath);
    auto ruim = kDemoRuim;
    ruim.insert("2:4:Erin:3105550100");
    EXPECT_EQ(RowsOfType(rebuilt, kPbookRuim), ruim);
    auto memoryNames = kDemoMemoryNames;
    memoryNames.erase("Emergency");
    EXPECT_EQ(Names(RowsOfType(rebuilt, kPbookMemory)), memoryNames);
    std::multiset<std::string> kept = RowsOfType(rebuilt, 888);
    for (const std::string& r : RowsOfType(rebuilt, 999))
        kept.insert(r);
    EXPECT_EQ(kept, protectedRows);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(MessagingWiring, ThePollNoticesANewMessageAndTheSmsSwitchLoadsTheMirror)
{
    BoxCloser boxes;
    StartSimulator(/*noUnread=*/true);
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_TRUE(PumpUntil([&] { return dlg->Panel().Sms() == 0; }, 20000)) << "nothing unread yet";
    EXPECT_FALSE(dlg->State().m_ucUiFlags.load() & UIF_SMS_LOADED);

    ASSERT_EQ(sim->Command("sms 3105550142 Dinner at eight?").substr(0, 2), "OK");
    ASSERT_TRUE(PumpUntil([&] { return dlg->Panel().Sms() == 1; }, 30000)) << "new-message indicator";
    EXPECT_TRUE(dlg->State().m_ucUiFlags.load() & UIF_SMS_WAITING);
    // The engine writes the count after the indicator has been drawn.
    EXPECT_TRUE(PumpUntil([&] { return GetProfileInt("SmsC", "smscnt", -1, "teal_dialer.ini") == 1; }, 5000));
    // The engine's own lists leave the table to the UI thread.
    EXPECT_FALSE(HasRowStartingWith(SmsRows(dbPath), "3105550142"));

    // The switch loads every message into the mirror, then shows the page.
    EXPECT_EQ(dlg->UserActiveView(VIEW_SMS, 0), 1);
    EXPECT_EQ(dlg->State().m_nActiveView.load(), VIEW_SMS);
    EXPECT_TRUE(dlg->State().m_ucUiFlags.load() & UIF_SMS_LOADED);
    const auto rows = SmsRows(dbPath);
    EXPECT_EQ(rows.count("3105550142:Dinner at eight?"), 1u);
    EXPECT_EQ(rows.count("4155550178:Call me when you land."), 1u);
    EXPECT_EQ(rows.size(), 7u);
    EXPECT_FALSE(dlg->Control(IDC_PROGRESS)->isVisible()) << "the read's progress bar is hidden again";
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(MessagingWiring, ASecondSmsSwitchDuringTheFirstLoadDoesNothingAndPollingGoesOn)
{
    BoxCloser boxes;
    StartSimulator(/*noUnread=*/true);
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    kvtest::HangGuard guard(120000, "a second SMS switch during the first load");
    // The second click arrives while the first switch waits for the engine
    // (events are served meanwhile); so does a load through the service.
    int nestedSwitch = -1;
    int nestedLoad = -1;
    QTimer::singleShot(0, dlg.get(), [&] {
        nestedSwitch = dlg->UserActiveView(VIEW_SMS, 0);
        nestedLoad = dlg->MessagingService()->LoadMirror() ? 1 : 0;
    });
    dlg->UserActiveView(VIEW_SMS, 0);
    EXPECT_EQ(nestedSwitch, 0);
    EXPECT_EQ(nestedLoad, 0);
    EXPECT_TRUE(dlg->State().m_ucUiFlags.load() & UIF_SMS_LOADED) << "the first switch loaded the mirror";
    EXPECT_EQ(SmsRows(dbPath).size(), 6u);
    // Polling goes on: a new battery level reaches the panel.
    sim->WithModel([](sim::ModemModel& m) { m.battVal = 3550; });
    EXPECT_TRUE(PumpUntil([&] { return (dlg->Panel().Battery() >> 4) == 1; }, 20000));
    EXPECT_NE(dlg->State().m_nPortState.load(), DM_PARKED);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(MessagingWiring, TheProgramItselfReadsThePhonebooksIntoItsDatabase)
{
    setenv("KORVIANET_DB", dbPath.c_str(), 1);
    StartSimulator();
    CDialer_oneApp app;
    app.SetWiring(WireServices);
    bool started = false;
    std::multiset<std::string> rows;
    app.SetOnShown([&](CDialer_oneDlg& w) {
        started = PumpUntil(
            [&] {
                const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
                return (w.State().m_ucUiFlags.load() & both) == both && w.Control(IDC_SMS_TOGGLE)->isEnabled();
            },
            kStartMs);
        rows = PbookRows(dbPath);
        w.CloseProcedure();
    });
    EXPECT_FALSE(app.InitInstance());
    ASSERT_TRUE(started);
    ExpectDemoPhonebooks(rows);
}

TEST_F(MessagingWiring, TheFirstStartWorksOnTheUsersOwnCopyAndNeverWritesTheTemplate)
{
    // No database named: the program copies the template into the private
    // data folder and reads the phonebooks into that copy.
    unsetenv("KORVIANET_DB");
    const std::string copy = settings.DataDir() + "/WVL.MDB";
    const std::string templateBytes = kvtest::ReadFileBytes(KORVIA_BUILT_DB);
    StartSimulator();
    CDialer_oneApp app;
    app.SetWiring(WireServices);
    bool started = false;
    std::multiset<std::string> rows;
    app.SetOnShown([&](CDialer_oneDlg& w) {
        started = PumpUntil(
            [&] {
                const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
                return (w.State().m_ucUiFlags.load() & both) == both && w.Control(IDC_SMS_TOGGLE)->isEnabled();
            },
            kStartMs);
        rows = PbookRows(copy);
        w.CloseProcedure();
    });
    EXPECT_FALSE(app.InitInstance());
    ASSERT_TRUE(started);
    ExpectDemoPhonebooks(rows);
    EXPECT_EQ(kvtest::ReadFileBytes(KORVIA_BUILT_DB), templateBytes);
}

// A message arriving while the window is in the tray brings it back with
// the message on the line, not the missed call it showed before.
TEST_F(MessagingWiring, ANewMessageBringsTheWindowBackFromTheTrayTellingOfTheMessage)
{
    CSystemTray::ForceAvailable(1);
    StartSimulator(true);
    sim->WithModel([](sim::ModemModel& m) { m.call.ringTimeoutMs = 600; });
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_EQ(sim->Command("call 6195550111"), "OK\n");
    ASSERT_TRUE(PumpUntil([&] { return dlg->MessageLine() == "Missed call\n6195550111"; }, 10000))
        << dlg->MessageLine();
    dlg->OnCommand(IDC_MINIMIZE);
    ASSERT_TRUE(dlg->TrayMode());
    ASSERT_EQ(sim->Command("sms 6195550122 hello"), "OK\n");
    ASSERT_TRUE(PumpUntil([&] { return !dlg->TrayMode() && dlg->isVisible(); }, 10000));
    EXPECT_EQ(dlg->MessageLine(), "\nNew message");
}

// A call through the window: the caller's phonebook name on the message
// line, the dial pad's keys answer the call, send a tone (held, as the
// "dtmf_len" setting asks, and shown once the modem took it) and end the
// call, the history row names the caller.
TEST_F(MessagingWiring, IncomingCallIsShownAnsweredFromTheDialPadAndRecorded)
{
    settings.WriteFile("teal_dialer.ini", "[dtmf_len]\nnum=0\n");
    StartSimulator();
    sim->WithModel([](sim::ModemModel& m) { m.call.releaseMs = 300; });
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_EQ(dlg->UserActiveView(VIEW_DIAL_PAD, 0), 1);
    auto* pad = dlg->findChild<QWidget*>("CVcallView");
    ASSERT_NE(pad, nullptr);
    ASSERT_EQ(sim->Command("call 6195550199"), "OK\n");
    ASSERT_TRUE(PumpUntil([&] { return dlg->MessageLine() == "Alice\n6195550199"; }, 10000)) << dlg->MessageLine();
    EXPECT_TRUE(dlg->State().m_call.m_bRinging.load());
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_ucLastCallState.load() == 0x85; }, 5000));
    auto* five = pad->findChild<QAbstractButton*>("vcall_1024");
    ASSERT_NE(five, nullptr);
    QTest::mouseClick(five, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_ucLastCallState.load() == 0x86; }, 5000));
    EXPECT_FALSE(dlg->State().m_call.m_bRinging.load());
    // Answering leaves the caller on the line.
    EXPECT_EQ(dlg->MessageLine(), "Alice\n6195550199");
    EXPECT_TRUE(static_cast<kvvoice::CVcallView*>(pad)->ToneFlag());
    QTest::mouseClick(pad->findChild<QAbstractButton*>("vcall_1026"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->MessageLine() == "7"; }, 5000)) << dlg->MessageLine();
    EXPECT_EQ(sim->WithModel([](sim::ModemModel& m) { return m.call.Dtmf(); }), std::vector<std::string>{"7"});
    QTest::mouseClick(pad->findChild<QAbstractButton*>("vcall_1032"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_wUiPhase.load() == UI_PHASE_IDLE; }, 5000));
    bool recorded = false;
    ASSERT_TRUE(PumpUntil(
        [&] {
            CDaoVcallDb v(dbPath);
            v.Open();
            while (!v.IsEOF() && !recorded) {
                recorded = v.m_storage_type == 2 && v.m_phone_number == "6195550199" && v.m_name == "Alice";
                v.MoveNext();
            }
            v.Close();
            return recorded;
        },
        5000));
}
