// The device presence watcher in the main window, against the simulated
// modem's unplug and replug: the settings page closes, the buttons and the
// indicators show that no modem is there, Exit comes back once the engine
// and the RAS monitor thread have stopped, a window in the tray comes back,
// the phonebook is read again after the return, and a modem plugged in
// after the start is taken up. The times from the unplug to the no-device
// display and from the replug to live indicators are printed.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/ConfigIds.h"
#include "app/ConfigView.h"
#include "app/DeviceWatcherUi.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "contacts/PhoneBookTexts.h"
#include "contacts/PhoneBookView.h"
#include "engine/StatusIds.h"
#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "data/DaoPbookDb.h"
#include "engine/DmCodes.h"
#include "engine/DeviceWatcher.h"
#include "net/ConnectionManager.h"
#include "net/SimRasBackend.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "messaging/SmsView.h"
#include "sim/ModemSimulator.h"

#include <QAbstractButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

using namespace kv;
using namespace kvapp;
using kvtest::PumpUntil;

namespace {

constexpr int kStartMs = 60000;

// Buttons the removal disables (Exit until the stops are done).
constexpr int kLinkButtons[] = {IDC_MINIMIZE, IDC_NET_CONNECT, IDC_NET_DISCONNECT, IDC_ACTIVATION,
                                IDC_GET_BALANCE, IDC_GET_NUMBER, IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE,
                                IDC_PHONEBOOK, IDC_VOLUME_DOWN, IDC_VOLUME_UP, IDC_SWITCH_OFF};

// Watches the window every 10 ms from the UI thread's own timer, so that
// what happens inside a nested loop (the settings page) is seen too.
struct Sampler {
    explicit Sampler(CDialer_oneDlg& d) : dlg(d)
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { Sample(); });
        timer.start();
    }
    void Sample()
    {
        const bool exitOn = dlg.Control(IDC_EXIT)->isEnabled();
        if (!exitOn)
            exitWasDisabled = true;
        if (exitWasDisabled && exitOn && !exitBack) {
            exitBack = true;
            exitBackAt = TickMs();
            engineStoppedAtExit = dlg.State().m_nPortState.load() == DM_STOPPED;
            rasStoppedAtExit = dlg.State().m_nRasState.load() == 0;
        }
        if (dlg.TimerActive(TIMER_RESTORE_FROM_TRAY))
            trayTimerSeen = true;
        if (noDeviceAt < 0 && NoDeviceShown())
            noDeviceAt = TickMs();
        if (removedAt < 0 && dlg.RegNotifyState() == REG_NOTIFY_REMOVED)
            removedAt = TickMs();
    }
    bool NoDeviceShown() const
    {
        return dlg.IndicatorBitmap(IDC_VBAT) == statusid::IDB_BATT_LOW && !dlg.IndicatorShown(IDC_SERVICE)
               && dlg.Panel().Battery() != CStatusModel::kUnknown;
    }
    CDialer_oneDlg& dlg;
    QTimer timer;
    bool exitWasDisabled = false, exitBack = false;
    bool engineStoppedAtExit = false, rasStoppedAtExit = false;
    bool trayTimerSeen = false;
    int64_t noDeviceAt = -1;
    int64_t removedAt = -1; // the watcher took the removal
    int64_t exitBackAt = -1;
};

class DeviceWatcherWindow : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        kvtest::ShellTest::SetUp();
        dbPath = settings.Path("WVL.MDB");
        std::filesystem::copy_file(KORVIA_BUILT_DB, dbPath);
        kvnet::CSimRasBackend::Options o;
        o.stepMs = 20;
        kvnet::SetDefaultRasBackend(std::make_shared<kvnet::CSimRasBackend>(o));
        saved = CDialer_oneDlg::Hooks();
        WireSettingsPage();
        WireDeviceWatcher();
    }
    void TearDown() override
    {
        if (dlg) {
            dlg->CloseProcedure();
            EXPECT_EQ(dlg->RegNotifyState(), 0) << "the watcher outlived the close";
            dlg.reset();
        }
        db.reset();
        if (sim)
            sim->Stop();
        CDialer_oneDlg::SetPageHooks(saved);
        kvnet::SetDefaultRasBackend(nullptr);
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }
    void StartSimulator()
    {
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
    }
    void Open()
    {
        db = std::make_unique<CAppDatabase>(dbPath);
        dlg = std::make_unique<CDialer_oneDlg>(db.get());
        WireMessaging(*dlg, *db);
        WireDataConnection(*dlg);
        dlg->OnInitDialog();
        dlg->show();
    }
    // Live indicators, both phonebooks loaded, the page buttons enabled.
    bool Started() const
    {
        const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
        return dlg->Panel().Battery() != CStatusPanel::kUnknown && dlg->IndicatorShown(IDC_SERVICE)
               && (dlg->State().m_ucUiFlags.load() & both) == both && dlg->Control(IDC_SMS_TOGGLE)->isEnabled();
    }
    bool Enabled(int id) const { return dlg->Control(id)->isEnabled(); }
    bool HasCardRow(const std::string& name) const
    {
        CDaoPbookDb pb(dbPath);
        pb.Open();
        bool found = false;
        while (!pb.IsEOF()) {
            found = found || (pb.m_storage_type == kPbookRuim && pb.m_name == name);
            pb.MoveNext();
        }
        pb.Close();
        return found;
    }
    void AddCardRow(const std::string& name)
    {
        CDaoPbookDb pb(dbPath);
        pb.Open();
        pb.AddNew();
        pb.m_storage_type = kPbookRuim;
        pb.m_index = 77;
        pb.m_name = name;
        pb.m_phone_number = "5550000";
        pb.Update();
        pb.Close();
    }
    static void Report(const char* what, int64_t ms)
    {
        std::printf("[ figure   ] %s: %lld ms\n", what, static_cast<long long>(ms));
        ::testing::Test::RecordProperty(what, std::to_string(ms));
    }

    PageHooks saved;
    std::string dbPath;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CAppDatabase> db;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

} // namespace

TEST_F(DeviceWatcherWindow, UnplugWithTheSettingsPageOpenAndReplugReadingThePhonebookAgain)
{
    kvtest::BoxCloser boxes;
    StartSimulator();
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_EQ(dlg->RegNotifyState(), REG_NOTIFY_PRESENT);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() != 0; }, 5000)) << "RAS monitor running";
    ASSERT_TRUE(PumpUntil([&] { return dlg->Control(IDC_LINE_SIGNAL)->isVisible(); }, 12000))
        << "the AT poll shows the modem's signal";
    // A row the card does not hold: the return wipes it with the rest.
    AddCardRow("Stale");

    Sampler sampler(*dlg);
    bool pageWasOpen = false;
    int64_t unplugAt = -1;
    // The page runs its own loop: the unplug comes from inside it.
    QTimer::singleShot(0, dlg.get(), [&] { dlg->OnCommand(IDC_SETTING); });
    QTimer::singleShot(800, dlg.get(), [&] {
        pageWasOpen = dlg->ModalPageOpen();
        unplugAt = TickMs();
        sim->Command("unplug");
    });
    ASSERT_TRUE(PumpUntil([&] { return unplugAt > 0 && sampler.exitBack; }, 90000))
        << "removal not finished; state " << dlg->RegNotifyState();
    EXPECT_TRUE(pageWasOpen) << "the settings page was not open at the unplug";
    EXPECT_FALSE(dlg->ModalPageOpen()) << "the settings page stayed open";
    EXPECT_EQ(dlg->State().m_nModalView.load(), 0);
    EXPECT_EQ(dlg->RegNotifyState(), REG_NOTIFY_REMOVED);
    EXPECT_TRUE(sampler.engineStoppedAtExit) << "Exit came back before the engine stopped";
    EXPECT_TRUE(sampler.rasStoppedAtExit) << "Exit came back before the RAS monitor stopped";
    for (int id : kLinkButtons)
        EXPECT_FALSE(Enabled(id)) << "button " << id;
    EXPECT_TRUE(Enabled(IDC_SETTING)) << "the settings page opens also without a modem";
    for (int id : {IDC_LINE_APN, IDC_LINE_CARD, IDC_LINE_SIGNAL})
        EXPECT_FALSE(dlg->Control(id)->isVisible()) << "status line " << id << " still tells of the modem";
    EXPECT_TRUE(sampler.NoDeviceShown());
    EXPECT_EQ(dlg->IndicatorBitmap(IDC_ANTENNA), statusid::IDB_SIG2_NONE);
    EXPECT_FALSE(dlg->IndicatorShown(IDC_SMS));
    // The unplug is said in words, on a line left shown.
    EXPECT_EQ(dlg->MessageLine(), statustext::kModemUnplugged);
    EXPECT_TRUE(dlg->Control(IDC_MESSAGE_LINE)->isVisible());
    EXPECT_FALSE(dlg->Engine().ThreadRunning());
    EXPECT_EQ(dlg->State().m_nActiveView.load(), VIEW_STATUS);
    ASSERT_GE(sampler.noDeviceAt, unplugAt);
    Report("unplug to no-device display", sampler.noDeviceAt - unplugAt);
    ASSERT_GE(sampler.removedAt, unplugAt);
    Report("unplug to the watcher's removal", sampler.removedAt - unplugAt);
    Report("unplug to Exit enabled again", sampler.exitBackAt - unplugAt);
    EXPECT_TRUE(HasCardRow("Stale"));

    // Back: buttons, the wiped table read again, the RAS monitor restarted.
    const int64_t replugAt = TickMs();
    ASSERT_EQ(sim->Command("replug"), "OK\n");
    int64_t liveAt = -1;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (liveAt < 0 && dlg->IndicatorShown(IDC_SERVICE) && dlg->Panel().Battery() != CStatusModel::kUnknown
                && dlg->IndicatorBitmap(IDC_VBAT) != statusid::IDB_BATT_LOW)
                liveAt = TickMs();
            return Started();
        },
        kStartMs));
    Report("replug to live indicators", liveAt - replugAt);
    EXPECT_EQ(dlg->RegNotifyState(), REG_NOTIFY_PRESENT);
    EXPECT_FALSE(HasCardRow("Stale")) << "the phonebook table was not emptied";
    EXPECT_TRUE(HasCardRow("Alice")) << "the card's phonebook was not read again";
    EXPECT_TRUE(Enabled(IDC_MINIMIZE));
    EXPECT_TRUE(PumpUntil([&] { return Enabled(IDC_NET_CONNECT); }, 10000)) << "Net Connect after the return";
    EXPECT_TRUE(Enabled(IDC_EXIT));
    EXPECT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() != 0; }, 10000))
        << "the RAS monitor thread did not start again";
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(DeviceWatcherWindow, UnplugInTheTrayBringsTheWindowBack)
{
    CSystemTray::ForceAvailable(1);
    kvtest::BoxCloser boxes;
    StartSimulator();
    Open();
    ASSERT_TRUE(PumpUntil([&] { return dlg->IndicatorShown(IDC_SERVICE); }, kStartMs));
    dlg->OnCommand(IDC_MINIMIZE);
    ASSERT_TRUE(dlg->TrayMode());
    ASSERT_FALSE(dlg->isVisible());

    Sampler sampler(*dlg);
    ASSERT_EQ(sim->Command("unplug"), "OK\n");
    ASSERT_TRUE(PumpUntil([&] { return !dlg->TrayMode(); }, 10000)) << "still in the tray";
    // Brought back by the half-second timer of the removal.
    EXPECT_TRUE(sampler.trayTimerSeen);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->Tray(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return sampler.exitBack; }, 90000));
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(DeviceWatcherWindow, AModemPluggedInAfterTheStartIsTakenUp)
{
    kvtest::BoxCloser boxes;
    Open();
    auto line = [&] {
        std::string t = dlg->MessageLine();
        std::replace(t.begin(), t.end(), '\n', ' ');
        return t;
    };
    ASSERT_TRUE(PumpUntil([&] { return line().find("ComPort is not opened.") != std::string::npos; }, 5000))
        << line();
    EXPECT_EQ(dlg->RegNotifyState(), REG_NOTIFY_REMOVED) << "no modem at start: waiting for one";
    PumpUntil([] { return false; }, 500);

    const int64_t plugAt = TickMs();
    StartSimulator();
    ASSERT_TRUE(PumpUntil([&] { return dlg->IndicatorShown(IDC_SERVICE); }, kStartMs)) << "never picked up";
    Report("late plug-in to live indicators", TickMs() - plugAt);
    EXPECT_TRUE(dlg->Engine().ThreadRunning());
    EXPECT_EQ(dlg->RegNotifyState(), REG_NOTIFY_PRESENT);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(DeviceWatcherWindow, APageClosedByTheRemovalLeavesThePageButtonsDisabled)
{
    kvtest::BoxCloser boxes;
    StartSimulator();
    // The phonebook page: the modem goes while it is open, and the page
    // returns only after the removal disabled the buttons.
    Open();
    bool removedInside = false;
    CDialer_oneDlg::Hooks().runPicker = [&](CDialer_oneDlg& d, int) {
        sim->Command("unplug");
        removedInside =
            PumpUntil([&] { return d.RegNotifyState() == REG_NOTIFY_REMOVED && Enabled(IDC_EXIT); }, 60000);
    };
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    dlg->OnCommand(IDC_PHONEBOOK);
    ASSERT_TRUE(removedInside) << "removal not finished; state " << dlg->RegNotifyState();
    for (int id : {IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE, IDC_PHONEBOOK, IDC_NET_CONNECT})
        EXPECT_FALSE(Enabled(id)) << "button " << id << " woke while the modem is away";
    EXPECT_TRUE(Enabled(IDC_SETTING)) << "the settings page opens also without a modem";
    dlg->EnableControl(IDC_SMS_TOGGLE, true);
    EXPECT_FALSE(Enabled(IDC_SMS_TOGGLE));
}

// The README's flow after an unplug and a replug, with the dial-up service
// chosen as the program chooses it (by the modem discovery finds): the
// client the removal left behind was made while the modem was away, and
// Net Connect after the return still dials over the simulated service,
// counts, and Net Disconnect keeps the session.
TEST_F(DeviceWatcherWindow, NetConnectAfterAnUnplugAndAReplugDialsAndKeepsTheSession)
{
    kvnet::SetDefaultRasBackend(nullptr);
    kvtest::BoxCloser boxes;
    StartSimulator();
    db = std::make_unique<CAppDatabase>(dbPath);
    dlg = std::make_unique<CDialer_oneDlg>(db.get());
    WireMessaging(*dlg, *db);
    // Shared with the window, which may outlive this body on a failure.
    struct Kept {
        std::mutex lock;
        std::vector<kvtraffic::TrafficRecord> records;
    };
    auto kept = std::make_shared<Kept>();
    kvnet::ConnectionUi ui;
    ui.appendTraffic = [kept](const kvtraffic::TrafficRecord& r) {
        std::lock_guard<std::mutex> g(kept->lock);
        kept->records.push_back(r);
        return true;
    };
    auto recorded = [kept] {
        std::lock_guard<std::mutex> g(kept->lock);
        return kept->records;
    };
    WireDataConnection(*dlg, ui);
    WriteProfileString("username", "text", "card", "teal_dialer.ini");
    WriteProfileString("password", "text", "card", "teal_dialer.ini");
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 4; }, 5000));

    Sampler sampler(*dlg);
    ASSERT_EQ(sim->Command("unplug"), "OK\n");
    ASSERT_TRUE(PumpUntil([&] { return sampler.exitBack; }, 90000)) << "removal not finished";
    ASSERT_EQ(dlg->State().m_nRasState.load(), 0);
    ASSERT_EQ(sim->Command("replug"), "OK\n");
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 4 && Enabled(IDC_NET_CONNECT); }, 10000))
        << "the RAS monitor thread did not start again";

    dlg->OnCommand(IDC_NET_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nRasState.load() == 2; }, 20000))
        << (boxes.texts.empty() ? std::string("no box") : boxes.texts.front());
    ASSERT_TRUE(PumpUntil([&] { return dlg->Control(IDC_NET_DISCONNECT)->isVisible(); }, 5000));
    kvtest::PumpUntil([] { return false; }, 1500); // some traffic to keep
    dlg->OnCommand(IDC_NET_DISCONNECT);
    ASSERT_TRUE(PumpUntil([&] { return recorded().size() == 1 && dlg->State().m_nRasState.load() == 4; }, 10000));
    EXPECT_GT(recorded().at(0).bytesReceived, 0u);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

namespace {

// The box over everything, if one is open.
QMessageBox* OpenBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

// Closes what a failed run left open, so the window can close.
void CloseLeftovers()
{
    for (int i = 0; i < 10 && QApplication::activeModalWidget(); ++i) {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->done(QDialog::Rejected);
        QApplication::processEvents();
    }
}

} // namespace

TEST_F(DeviceWatcherWindow, AnUnplugClosesTheSettingsPageWithItsSetupOkBox)
{
    StartSimulator();
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    Sampler sampler(*dlg);
    std::string boxAtUnplug;
    bool applyReturned = false;
    QTimer::singleShot(0, dlg.get(), [&] { dlg->OnCommand(IDC_SETTING); });
    // Basic, then Apply: its "Setup OK" box stays open, nobody answers it.
    QTimer::singleShot(500, dlg.get(), [&] {
        auto* view = qobject_cast<CConfigView*>(QApplication::activeModalWidget());
        if (!view)
            return;
        view->findChild<QAbstractButton*>(QString::number(cfg::IDC_PAGE_BASIC))->click();
        view->OnApply();
        applyReturned = true;
    });
    QTimer::singleShot(1500, dlg.get(), [&] {
        if (QMessageBox* box = OpenBox())
            boxAtUnplug = box->text().trimmed().toStdString();
        sim->Command("unplug");
    });
    const bool finished = PumpUntil([&] { return sampler.exitBack; }, 90000);
    const bool boxLeft = OpenBox() != nullptr;
    CloseLeftovers();
    ASSERT_TRUE(finished) << "removal not finished; state " << dlg->RegNotifyState();
    EXPECT_EQ(boxAtUnplug, "Setup OK");
    EXPECT_FALSE(boxLeft) << "the page's box outlived the removal";
    EXPECT_TRUE(applyReturned) << "the code after the box did not go on";
    EXPECT_TRUE(PumpUntil([&] { return !dlg->ModalPageOpen(); }, 2000)) << "the settings page stayed open";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Once the removal is over the boxes show again.
    kvtest::BoxCloser boxes;
    QTimer::singleShot(0, dlg.get(), [&] { dlg->OnCommand(IDC_SETTING); });
    QTimer::singleShot(300, dlg.get(), [&] {
        if (auto* view = qobject_cast<CConfigView*>(QApplication::activeModalWidget())) {
            view->findChild<QAbstractButton*>(QString::number(cfg::IDC_PAGE_BASIC))->click();
            view->OnApply();
            static_cast<QDialog*>(view)->reject();
        }
    });
    EXPECT_TRUE(PumpUntil([&] { return !boxes.texts.empty(); }, 5000)) << "no box after the removal";
}

TEST_F(DeviceWatcherWindow, AnUnplugAnswersThePhonebookQuestionNoAndClosesThePage)
{
    StartSimulator();
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    ASSERT_TRUE(HasCardRow("Alice"));
    Sampler sampler(*dlg);
    std::string asked;
    bool deleteReturned = false;
    QTimer::singleShot(0, dlg.get(), [&] { dlg->OnCommand(IDC_PHONEBOOK); });
    QTimer::singleShot(500, dlg.get(), [&] {
        auto* v = qobject_cast<kvpb::CPhoneBookView*>(QApplication::activeModalWidget());
        if (!v)
            return;
        v->UserMovePage(pbpage::PAGE_RUIM);
        v->List()->selectRow(0);
        v->OnDelete();   // "Delete the selected phonebook data?" stays open
        deleteReturned = true;
    });
    QTimer::singleShot(1500, dlg.get(), [&] {
        if (QMessageBox* box = OpenBox())
            asked = box->text().toStdString();
        sim->Command("unplug");
    });
    const bool finished = PumpUntil([&] { return sampler.exitBack; }, 90000);
    const bool boxLeft = OpenBox() != nullptr;
    CloseLeftovers();
    ASSERT_TRUE(finished);
    EXPECT_EQ(asked, "Delete the selected phonebook data?");
    EXPECT_FALSE(boxLeft) << "the question outlived the removal";
    EXPECT_TRUE(deleteReturned);
    EXPECT_TRUE(PumpUntil([&] { return !dlg->ModalPageOpen(); }, 2000)) << "the phonebook page stayed open";
    EXPECT_TRUE(HasCardRow("Alice")) << "a question closed by the removal counts as No";
}

TEST_F(DeviceWatcherWindow, AnUnplugClosesAnSmsPageBox)
{
    StartSimulator();
    sim->WithModel([](sim::ModemModel& m) {
        m.memory.slots.clear();
        m.ruim.slots.clear();
    });
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Started(); }, kStartMs));
    dlg->OnCommand(IDC_SMS_TOGGLE);
    ASSERT_NE(dlg->SmsPage(), nullptr);
    auto* page = dynamic_cast<kvsms::CSmsView*>(dlg->SmsPage()->Widget());
    ASSERT_NE(page, nullptr);
    Sampler sampler(*dlg);
    std::string boxAtUnplug;
    // An empty inbox: "There are no messages in the inbox." stays open.
    QTimer::singleShot(0, dlg.get(), [&] { page->OnCommand(kvsms::IDC_SMS_INBOX); });
    QTimer::singleShot(1000, dlg.get(), [&] {
        if (QMessageBox* box = OpenBox())
            boxAtUnplug = box->text().toStdString();
        sim->Command("unplug");
    });
    const bool finished = PumpUntil([&] { return sampler.exitBack; }, 90000);
    const bool boxLeft = OpenBox() != nullptr;
    CloseLeftovers();
    ASSERT_TRUE(finished);
    EXPECT_EQ(boxAtUnplug, "There are no messages in the inbox.");
    EXPECT_FALSE(boxLeft) << "the page's box outlived the removal";
}
