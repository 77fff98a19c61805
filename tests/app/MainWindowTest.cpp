// The main window as a window: start-up with and without a modem, page
// refusals, keys that must not close it, the tray, the workers' calls into
// the UI and the close procedure.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "controls/PinDlg.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"
#include "host/OwnerEvents.h"
#include "sim/ModemSimulator.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <atomic>
#include <thread>

using namespace kv;
using namespace kvapp;
using kvtest::BoxCloser;
using kvtest::PumpUntil;

namespace {

class MainWindow : public kvtest::ShellTest {
protected:
    void TearDown() override
    {
        if (dlg) {
            dlg->CloseProcedure();
            dlg.reset();
        }
        if (sim)
            sim->Stop();
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }
    void Open()
    {
        dlg = std::make_unique<CDialer_oneDlg>();
        dlg->OnInitDialog();
        dlg->show();
    }
    void OpenOnSimulator()
    {
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
        Open();
        ASSERT_TRUE(PumpUntil([&] { return dlg->Panel().Battery() != CStatusPanel::kUnknown
                                           && dlg->IndicatorShown(IDC_SERVICE); },
                              30000));
    }
    std::string Line(int id) const
    {
        return static_cast<CTextStatic*>(dlg->Control(id))->Text().toStdString();
    }

    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

} // namespace

TEST_F(MainWindow, WithoutAModemEveryPageButSettingsRefuses)
{
    BoxCloser boxes;
    Open();
    EXPECT_EQ(dlg->State().m_nPortState.load(), DM_STOPPED);
    // The message line wraps its texts at 16 characters, between words.
    EXPECT_EQ(QString::fromStdString(Line(IDC_MESSAGE_LINE)).replace('\n', ' ').toStdString(),
              "ComPort is not opened.");
    EXPECT_TRUE(dlg->Control(IDC_MESSAGE_LINE)->isVisible()) << "the refusal stays readable";
    EXPECT_EQ(Line(IDC_STATUS_LINE_1072), "\rSettings") << "the gear beside it says what it does";
    EXPECT_EQ(dlg->windowTitle().toStdString(), "Korvianet USB Modem");
    // No modem: the antenna shows its no-signal picture.
    EXPECT_TRUE(dlg->IndicatorShown(IDC_ANTENNA));
    EXPECT_EQ(dlg->IndicatorBitmap(IDC_ANTENNA), kvui::IDB_SIG1_NONE);
    // The traffic button needs no modem.
    EXPECT_TRUE(dlg->Control(IDC_TRAFFIC_TAB)->isVisible());
    EXPECT_TRUE(dlg->Control(IDC_TRAFFIC_TAB)->isEnabled());

    for (int page : {VIEW_DIAL_PAD, VIEW_SMS, VIEW_PICKER, VIEW_ACTIVATION})
        EXPECT_EQ(dlg->UserActiveView(page, 0), 0) << "page " << page;
    ASSERT_EQ(boxes.texts.size(), 4u);
    for (size_t i = 0; i < boxes.texts.size(); ++i) {
        EXPECT_EQ(boxes.texts[i], "ComPort is not opened.");
        EXPECT_EQ(boxes.captions[i], "Korvianet");
    }
    EXPECT_EQ(dlg->UserActiveView(VIEW_SETTINGS, 0), 1);
    EXPECT_EQ(dlg->UserActiveView(VIEW_TRAFFIC, 0), 1);
    EXPECT_EQ(dlg->UserActiveView(VIEW_STATUS, 0), 1);
    EXPECT_EQ(boxes.texts.size(), 4u);
    EXPECT_EQ(dlg->UserActiveView(42, 0), 0); // refused by the port check first
    EXPECT_EQ(boxes.texts.size(), 5u);
    EXPECT_EQ(dlg->State().m_nModalView.load(), MODAL_NONE);
}

TEST_F(MainWindow, LayoutFollowsTheTablesAndTheFaceIsShaped)
{
    Open();
    EXPECT_EQ(dlg->size(), QSize(500, 640));
    EXPECT_FALSE(dlg->SkinRegion().isEmpty());
    EXPECT_FALSE(dlg->SkinRegion().contains(QPoint(0, 0))) << "corner is key colour";
    EXPECT_EQ(dlg->Control(IDC_PAGE_AREA)->geometry(), QRect(12, 189, 160, 117));
    EXPECT_EQ(dlg->Control(IDC_VBAT)->geometry(), QRect(136, 38, 19, 13));
    EXPECT_EQ(dlg->Control(IDC_DATA_RATE)->geometry(), QRect(8, 310, 171, 10));
    EXPECT_EQ(dlg->Control(IDC_EXIT)->pos(), QPoint(435, 15));
    EXPECT_EQ(dlg->Control(IDC_NET_CONNECT)->pos(), dlg->Control(IDC_NET_DISCONNECT)->pos());
    EXPECT_GT(dlg->Control(IDC_EXIT)->width(), 0) << "a button takes its frame's size";
    for (int id : {int(IDC_SETTING), int(IDC_MINIMIZE), int(IDC_EXIT), int(IDC_NET_CONNECT)})
        EXPECT_TRUE(dlg->Control(id)->isVisible()) << id;
    for (int id : {int(IDC_DIAL_TOGGLE), int(IDC_TEXT_FIELD), int(IDC_PROGRESS), int(IDC_RESET_STATS)})
        EXPECT_FALSE(dlg->Control(id)->isVisible()) << id;
    EXPECT_FALSE(dlg->Control(IDC_NET_CONNECT)->isEnabled());
    EXPECT_EQ(dlg->Control(IDC_SETTING)->objectName(), "1003");
}

// A Wayland compositor takes the mask for input only: what it shows of the
// face is what the window paints, so the key colour must come out clear.
TEST_F(MainWindow, TheFacePaintsItsKeyColourTransparent)
{
    Open();
    EXPECT_TRUE(dlg->testAttribute(Qt::WA_TranslucentBackground));
    const QImage shot = dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0) << "corner is key colour";
    EXPECT_EQ(qAlpha(shot.pixel(250, 320)), 255) << "the face itself is opaque";
}

TEST_F(MainWindow, EnterAndEscapeNeverCloseIt)
{
    Open();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dlg.get(), &press);
    }
    dlg->accept();
    dlg->reject();
    QApplication::processEvents();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
}

TEST_F(MainWindow, AgainstTheSimulatorTheIndicatorsComeAlive)
{
    OpenOnSimulator();
    EXPECT_NE(dlg->IndicatorBitmap(IDC_VBAT), 0);
    EXPECT_TRUE(dlg->IndicatorShown(IDC_VBAT));
    EXPECT_TRUE(PumpUntil([&] { return dlg->IndicatorBitmap(IDC_ANTENNA) != kvui::IDB_SIG1_NONE
                                       && dlg->IndicatorBitmap(IDC_ANTENNA) != kvui::IDB_SIG2_NONE; }));
    EXPECT_TRUE(PumpUntil([&] { return dlg->Control(IDC_SETTING)->isEnabled(); }, 30000));
    EXPECT_TRUE(dlg->TimerActive(TIMER_AT_POLL));
    EXPECT_NE(dlg->State().m_nPortState.load(), DM_STOPPED);
    // The phonebook loads through UM_UI_REQUEST 10 while the engine waits.
    EXPECT_TRUE(PumpUntil([&] { return (dlg->State().m_ucUiFlags.load() & 0x0C) == 0x0C; }, 30000));
    EXPECT_EQ(dlg->State().m_ucPbReadDone.load(), kPbReadRuim | kPbReadMemory)
        << "each storage was read once";

    // A weaker signal reaches the antenna.
    sim->Command("signal -99 -99");
    EXPECT_TRUE(PumpUntil([&] { return dlg->Panel().SignalLevel() == 1; }, 10000));
}

TEST_F(MainWindow, TheAtPollFillsTheStatusLinesEightSecondsAfterThePortOpened)
{
    OpenOnSimulator();
    ASSERT_TRUE(PumpUntil([&] { return Line(IDC_LINE_APN) == "\rAPN:3GNET"; }, 20000))
        << Line(IDC_LINE_APN);
    EXPECT_TRUE(dlg->Control(IDC_LINE_APN)->isVisible());
    EXPECT_EQ(Line(IDC_LINE_SIGNAL).rfind("\rNetwork Signal: ", 0), 0u) << Line(IDC_LINE_SIGNAL);
    EXPECT_EQ(Line(IDC_LINE_CARD), "\rUIM: READY");
    EXPECT_EQ(dlg->AtPoll().CurrentImsiText(), " 46003");
    EXPECT_EQ(sim->WithModel([](sim::ModemModel& m) { return m.apn; }), "3GNET");
}

TEST_F(MainWindow, ClosingWhileTheThreadsRunEndsEverythingInOrder)
{
    OpenOnSimulator();
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    // A worker hammering the UI with synchronous calls during the close.
    std::thread worker([&] {
        while (!stop.load()) {
            dlg->SetIndicator(IND_EAR_VOLUME, calls.load() % 5);
            ++calls;
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return calls.load() > 20; }));
    dlg->CloseProcedure();
    stop = true;
    PumpUntil([&] { return false; }, 50);
    worker.join();
    EXPECT_EQ(dlg->State().m_nPortState.load(), DM_STOPPED);
    EXPECT_FALSE(dlg->Engine().ThreadRunning());
    EXPECT_FALSE(dlg->isVisible());
    dlg->CloseProcedure(); // a second request does nothing
}

TEST_F(MainWindow, AWorkerCallIsServedWhileTheUiThreadItselfWaits)
{
    Open();
    std::atomic<bool> served{false};
    std::thread worker([&] {
        dlg->SetIndicator(IND_SMS, 1);
        dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_SETTINGS_NOP, 1);
        served = true;
    });
    // The UI thread waits the way the engine's stop does.
    EXPECT_TRUE(dlg->WaitPumping([&] { return served.load(); }, 10000));
    worker.join();
    EXPECT_EQ(dlg->IndicatorBitmap(IDC_SMS), kvui::IDB_SMS_NEW);
}

TEST_F(MainWindow, APinDialogOpenedForTheEngineIsEndedByTheEngineStop)
{
    Open();
    std::atomic<int> result{-1};
    std::atomic<int> viewWhileOpen{-1};
    // The dialog runs its own loop on the UI thread: act from inside it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (CPinDlg::OpenDialog() && viewWhileOpen.load() < 0) {
            viewWhileOpen = dlg->State().m_nModalView.load();
            dlg->EndModalDialog();
        }
    });
    poll.start(20);
    std::thread engine([&] { result = int(dlg->RunPinDialog(PIN_MODE_ENTER)); });
    ASSERT_TRUE(dlg->WaitPumping([&] { return result.load() >= 0; }, 10000));
    engine.join();
    EXPECT_EQ(result.load(), int(PinResult::EndedByEngine));
    EXPECT_EQ(viewWhileOpen.load(), MODAL_PIN);
    EXPECT_EQ(dlg->State().m_nModalView.load(), MODAL_NONE);
    EXPECT_EQ(dlg->State().m_hModalWnd.load(), 0);
}

TEST_F(MainWindow, AMessageBoxLeftOpenForAWorkerDoesNotHoldTheClose)
{
    Open();
    std::atomic<bool> back{false};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            dlg->CloseProcedure();
    });
    poll.start(20);
    std::thread worker([&] {
        dlg->MessageBox("Not enough space", MsgIcon::Error);
        back = true;
    });
    ASSERT_TRUE(dlg->WaitPumping([&] { return back.load(); }, 10000));
    worker.join();
}

TEST_F(MainWindow, TimedPopupFromAWorkerAnswersItselfAfterItsCountdown)
{
    Open();
    std::atomic<int> result{-1};
    std::thread worker([&] { result = dlg->RunTimedPopup("Question?", MsgIcon::Warning, 1, 1, false); });
    ASSERT_TRUE(dlg->WaitPumping([&] { return result.load() >= 0; }, 10000));
    worker.join();
    EXPECT_EQ(result.load(), 2) << "the default action was Cancel";
    EXPECT_EQ(dlg->State().m_nModalView.load(), MODAL_NONE);
}

TEST_F(MainWindow, MinimizeGoesToTheTrayAndRestoreBringsItBack)
{
    CSystemTray::ForceAvailable(1);
    Open();
    dlg->OnCommand(IDC_MINIMIZE);
    EXPECT_TRUE(dlg->TrayMode());
    ASSERT_NE(dlg->Tray(), nullptr);
    EXPECT_FALSE(dlg->isVisible());
    QMenu* menu = dlg->Tray()->Menu();
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_EQ(menu->actions()[0]->text(), "Restore");
    EXPECT_TRUE(menu->actions()[0]->font().bold());
    EXPECT_EQ(menu->defaultAction(), menu->actions()[0]);
    EXPECT_EQ(menu->actions()[1]->text(), "Data Usage"); // ours
    EXPECT_EQ(menu->actions()[3]->text(), "Exit");
    menu->actions()[1]->trigger();
    auto* usage = dlg->findChild<QWidget*>("usage_window");
    ASSERT_NE(usage, nullptr);
    EXPECT_TRUE(usage->isVisible());
    usage->close();

    // A double-click on the icon arrives as the tray message.
    kvui::PostUserMessage(dlg.get(), dlg->TrayNotifyMessage(), IDR_TRAY_MENU,
                          CSystemTray::WM_LBUTTONDBLCLK);
    ASSERT_TRUE(PumpUntil([&] { return !dlg->TrayMode(); }));
    EXPECT_EQ(dlg->Tray(), nullptr);
    EXPECT_TRUE(dlg->isVisible());

    // UM_UI_REQUEST 12 and the menu's Exit.
    dlg->OnCommand(IDC_MINIMIZE);
    dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_RESTORE_TRAY, 0);
    EXPECT_FALSE(dlg->TrayMode());
    dlg->OnCommand(IDC_MINIMIZE);
    QPointer<QSystemTrayIcon> icon = dlg->Tray()->Icon();
    dlg->Tray()->Menu()->actions()[3]->trigger();
    EXPECT_EQ(dlg->State().m_nPortState.load(), DM_STOPPED);
    EXPECT_FALSE(dlg->isVisible());
    dlg.reset();
    EXPECT_TRUE(icon.isNull()) << "the window's end removes the icon";
}

TEST_F(MainWindow, InTheTrayTheProgramAndItsEngineRunOnUntilExit)
{
    CSystemTray::ForceAvailable(1);
    sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    sim = std::make_unique<sim::ModemSimulator>(o);
    ASSERT_TRUE(sim->Start());
    dlg = std::make_unique<CDialer_oneDlg>();
    bool hiddenAndPolling = false, restored = false, exitChosen = false;
    QObject steps; // its end cancels what did not run
    QTimer::singleShot(0, &steps, [&] { dlg->OnCommand(IDC_MINIMIZE); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &steps, [&] {
        if (!dlg->TrayMode() || dlg->isVisible() || !dlg->Engine().ThreadRunning()
            || dlg->Panel().Battery() == CStatusPanel::kUnknown)
            return;
        poll.stop();
        hiddenAndPolling = true;
        // A double-click on the icon.
        dlg->Tray()->OnTrayNotification(IDR_TRAY_MENU, CSystemTray::WM_LBUTTONDBLCLK);
        QTimer::singleShot(100, &steps, [&] {
            restored = dlg->isVisible() && !dlg->TrayMode();
            exitChosen = true;
            dlg->OnCommand(ID_TRAY_EXIT);
        });
    });
    poll.start(50);
    QTimer::singleShot(30000, &steps, [&] { dlg->CloseProcedure(); });
    dlg->exec();
    EXPECT_TRUE(hiddenAndPolling) << "the engine polled on while the window was in the tray";
    EXPECT_TRUE(restored);
    EXPECT_TRUE(exitChosen) << "the run ended before Exit was chosen";
    EXPECT_FALSE(dlg->Engine().ThreadRunning());
}

TEST_F(MainWindow, RestoreFromTheTrayMenuRemovesTheIconButKeepsTheMenuUntilItsActionReturned)
{
    CSystemTray::ForceAvailable(1);
    Open();
    dlg->OnCommand(IDC_MINIMIZE);
    ASSERT_NE(dlg->Tray(), nullptr);
    QPointer<QMenu> menu = dlg->Tray()->Menu();
    QPointer<QSystemTrayIcon> icon = dlg->Tray()->Icon();
    menu->actions()[0]->trigger(); // "Restore"
    EXPECT_FALSE(dlg->TrayMode());
    EXPECT_EQ(dlg->Tray(), nullptr);
    EXPECT_TRUE(dlg->isVisible());
    ASSERT_FALSE(menu.isNull()) << "the menu running the action was deleted under it";
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon->isVisible()) << "the icon goes at once";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(menu.isNull());
    EXPECT_TRUE(icon.isNull());
    // Minimising again makes a new icon.
    dlg->OnCommand(IDC_MINIMIZE);
    EXPECT_TRUE(dlg->TrayMode());
    ASSERT_NE(dlg->Tray(), nullptr);
    EXPECT_TRUE(dlg->Tray()->Icon()->isVisible());
}

TEST_F(MainWindow, EveryTrayIconFollowsTheOwnerAndASingleClickTogglesTheWindow)
{
    CSystemTray::ForceAvailable(1);
    kv::COwnerHub hub;
    hub.Update([](kv::OwnerSnapshot& s) {
        s.engineReady = true;
        s.port = "/dev/ttyUSB0";
        s.systemModeCode = 2;
        s.signal1xBars = 4;
    });
    Open();
    dlg->SetTrayOwner(&hub, nullptr);
    for (int round = 0; round < 2; ++round) {
        dlg->OnCommand(IDC_MINIMIZE);
        ASSERT_NE(dlg->Tray(), nullptr);
        EXPECT_TRUE(dlg->Tray()->Watching()) << "round " << round;
        EXPECT_EQ(dlg->Tray()->Icon()->toolTip(), "Signal 4/5 · 1x");
        // A single click arrives as the tray message, like the double-click.
        kvui::PostUserMessage(dlg.get(), dlg->TrayNotifyMessage(), IDR_TRAY_MENU, CSystemTray::WM_LBUTTONUP);
        ASSERT_TRUE(PumpUntil([&] { return !dlg->TrayMode(); }));
        EXPECT_TRUE(dlg->isVisible());
    }
    // The toggle's other half, and the hub's end after the window let go.
    dlg->OnCommand(ID_TRAY_TOGGLE);
    EXPECT_TRUE(dlg->TrayMode());
    dlg->SetTrayOwner(nullptr, nullptr);
    EXPECT_FALSE(dlg->Tray()->Watching());
    EXPECT_EQ(dlg->Tray()->Icon()->toolTip(), "Signal 4/5 · 1x") << "the last words stay until restored";
}

TEST_F(MainWindow, WithoutANotificationAreaMinimizeIsTheOrdinaryOne)
{
    CSystemTray::ForceAvailable(0);
    Open();
    dlg->OnCommand(IDC_MINIMIZE);
    EXPECT_FALSE(dlg->TrayMode());
    EXPECT_EQ(dlg->Tray(), nullptr);
    EXPECT_TRUE(dlg->isMinimized());
    EXPECT_TRUE(dlg->isVisible()) << "on the task bar, not hidden";
    PumpUntil([&] { return false; }, 100);
    EXPECT_TRUE(dlg->isMinimized()) << "no bounce back from the window-state change";
    EXPECT_FALSE(dlg->TrayMode());
    dlg->showNormal();
    EXPECT_FALSE(dlg->isMinimized());
}

TEST_F(MainWindow, TimersRestoreTheLineAndReEnableTheQueryButtons)
{
    Open();
    dlg->AppendMessageLine("SMS sent", true);
    dlg->StartTimer(TIMER_RESTORE_MESSAGE_LINE, 20);
    ASSERT_TRUE(PumpUntil([&] { return !dlg->TimerActive(TIMER_RESTORE_MESSAGE_LINE); }));
    EXPECT_EQ(dlg->Panel().IdleCode(), CStatusPanel::kIdleNone);
    dlg->SetIndicator(IND_MESSAGE_LINE, 1);
    EXPECT_EQ(Line(IDC_MESSAGE_LINE), "\nKorvia");

    dlg->EnableControl(IDC_GET_BALANCE, true);
    dlg->OnCommand(IDC_GET_BALANCE);
    EXPECT_FALSE(dlg->Control(IDC_GET_BALANCE)->isEnabled());
    EXPECT_TRUE(dlg->TimerActive(TIMER_ENABLE_1007));
    dlg->StartTimer(TIMER_ENABLE_1007, 10);
    ASSERT_TRUE(PumpUntil([&] { return dlg->Control(IDC_GET_BALANCE)->isEnabled(); }));
    EXPECT_FALSE(dlg->TimerActive(TIMER_ENABLE_1007)) << "one-shot";

    dlg->StartTimer(TIMER_AT_POLL, 10);
    PumpUntil([&] { return false; }, 60);
    EXPECT_TRUE(dlg->TimerActive(TIMER_AT_POLL)) << "repeats until killed";
    dlg->KillTimer(TIMER_AT_POLL);
    EXPECT_FALSE(dlg->TimerActive(TIMER_AT_POLL));
}

TEST_F(MainWindow, UiRequestsGoToRegisteredHandlersFirst)
{
    BoxCloser boxes;
    Open();
    intptr_t seen = -1;
    dlg->RegisterUiRequest(UI_REQ_WIPE_PHONEBOOK, [&](intptr_t a) { seen = a; return intptr_t(7); });
    EXPECT_EQ(dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_WIPE_PHONEBOOK, 3), 7);
    EXPECT_EQ(seen, 3);
    // Without a modem, the sub-codes that open pages are refused as every
    // page is; those of pages that are not there do nothing.
    for (uint32_t sub : {1u, 2u, 3u})
        EXPECT_EQ(dlg->SendUserMessage(UM_UI_REQUEST, sub, 0), 0) << sub;
    ASSERT_EQ(boxes.texts.size(), 3u);
    for (const std::string& t : boxes.texts)
        EXPECT_EQ(t, "ComPort is not opened.");
    for (uint32_t sub : {4u, 5u, 11u, 13u, 99u})
        EXPECT_EQ(dlg->SendUserMessage(UM_UI_REQUEST, sub, 0), 0) << sub;
    EXPECT_EQ(boxes.texts.size(), 3u) << "no further box";
    EXPECT_EQ(dlg->State().m_nActiveView.load(), VIEW_STATUS);
    EXPECT_EQ(dlg->State().m_nModalView.load(), MODAL_NONE);
    EXPECT_TRUE(dlg->isVisible());
    // 10, as the engine sends it for each storage: each is read once and
    // counts as loaded, whatever was read before.
    std::vector<uintptr_t> reads;
    dlg->Engine().RegisterSubRequest(DM_PBOOK_READ, [&](CDmEngine&, uint16_t code, uintptr_t type) {
        reads.push_back(type);
        return code;
    });
    dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_RUIM);
    EXPECT_EQ(dlg->State().m_ucPbReadDone.load(), kPbReadRuim);
    EXPECT_EQ(dlg->State().m_ucUiFlags.load() & (UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED),
              UIF_PB_RUIM_LOADED);
    dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_MEMORY);
    dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_RUIM);
    EXPECT_EQ(reads, (std::vector<uintptr_t>{PB_STORAGE_WORD_RUIM, PB_STORAGE_WORD_MEMORY}));
    EXPECT_EQ(dlg->State().m_ucPbReadDone.load(), kPbReadRuim | kPbReadMemory);
    EXPECT_EQ(dlg->State().m_ucUiFlags.load() & (UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED),
              UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED);

    // A name lookup answers with the name, or nothing when there is none:
    // never with the number itself.
    EXPECT_EQ(dlg->LookupName("6195550199"), std::nullopt);
    dlg->SetLookupNameHandler([](const std::string& n) -> std::optional<std::string> {
        return n == "6195550199" ? "Alice" : "";
    });
    EXPECT_EQ(dlg->LookupName("6195550199"), "Alice");
    EXPECT_EQ(dlg->LookupName("000"), std::nullopt);
}

namespace {
// Page runners for one test, the previous ones put back at its end.
struct HookGuard {
    explicit HookGuard(const PageHooks& hooks) : saved(CDialer_oneDlg::Hooks())
    {
        CDialer_oneDlg::SetPageHooks(hooks);
    }
    ~HookGuard() { CDialer_oneDlg::SetPageHooks(saved); }
    PageHooks saved;
};
} // namespace

TEST_F(MainWindow, InEvdoOnlyModeDialPadAndSmsRefuseAndTheStatusPanelComesBack)
{
    BoxCloser boxes;
    Open();
    // As if the engine ran and the modem reported EV-DO only service.
    dlg->State().m_nPortState = DM_GET_INFO;
    dlg->State().m_ucServiceState = SERVICE_EVDO;
    struct Case {
        int page;
        const char* refusal;
    };
    for (const Case& c : {Case{VIEW_DIAL_PAD, text::kNoCallEvdoOnly}, Case{VIEW_SMS, text::kNoSmsEvdoOnly}}) {
        boxes.texts.clear();
        dlg->State().m_nActiveView = VIEW_SMS; // a page was shown before
        EXPECT_EQ(dlg->UserActiveView(c.page, 0), 0) << c.page;
        ASSERT_EQ(boxes.texts.size(), 1u) << c.page;
        EXPECT_EQ(boxes.texts[0], c.refusal);
        EXPECT_EQ(boxes.captions[0], "Korvianet");
        EXPECT_TRUE(dlg->TimerActive(TIMER_BACK_TO_STATUS));
        EXPECT_TRUE(PumpUntil([&] { return dlg->State().m_nActiveView.load() == VIEW_STATUS; }, 5000))
            << "timer 107 shows the status panel again";
        EXPECT_TRUE(PumpUntil([&] { return !dlg->TimerActive(TIMER_BACK_TO_STATUS); }, 5000)) << "one-shot";
    }
    dlg->State().m_nPortState = DM_STOPPED;
}

TEST_F(MainWindow, WhileTheCardIsNotUsableSettingTrafficSmsAndPhonebookButtonsDoNothing)
{
    std::vector<int> settingsTabs;
    int pickers = 0;
    PageHooks hooks = CDialer_oneDlg::Hooks();
    hooks.runSettings = [&](CDialer_oneDlg&, int tab) { settingsTabs.push_back(tab); };
    hooks.runPicker = [&](CDialer_oneDlg&, int) { ++pickers; };
    HookGuard guard(hooks);
    BoxCloser boxes;
    Open();
    // The engine runs, both phonebooks are loaded, and the SMS switch would
    // answer with its EV-DO refusal.
    dlg->State().m_nPortState = DM_GET_INFO;
    dlg->State().m_ucUiFlags |= UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
    dlg->State().m_ucServiceState = SERVICE_EVDO;
    const int buttons[] = {IDC_SETTING, IDC_TRAFFIC_TAB, IDC_SMS_TOGGLE, IDC_PHONEBOOK};
    for (uint8_t flags : {uint8_t(CARDF_PIN_CANCELLED), uint8_t(CARDF_NO_CARD), uint8_t(CARDF_NOT_READY),
                          uint8_t(CARDF_EMERGENCY_CALL)}) {
        dlg->State().m_ucCardFlags = flags;
        for (int id : buttons)
            dlg->OnCommand(id);
        PumpUntil([&] { return false; }, 50);
        EXPECT_TRUE(settingsTabs.empty()) << "card flags " << int(flags);
        EXPECT_EQ(pickers, 0) << "card flags " << int(flags);
        EXPECT_TRUE(boxes.texts.empty()) << "card flags " << int(flags);
    }
    // The card is usable: each button does its work.
    dlg->State().m_ucCardFlags = 0;
    for (int id : buttons)
        dlg->OnCommand(id);
    EXPECT_TRUE(PumpUntil([&] { return boxes.texts.size() == 1; }, 5000));
    EXPECT_EQ(settingsTabs, (std::vector<int>{0, 9}));
    EXPECT_EQ(pickers, 1);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], text::kNoSmsEvdoOnly);
    dlg->State().m_nPortState = DM_STOPPED;
}

namespace {

// The face as this platform draws it, against the simulator, for the
// comparison of the X11 and the Wayland pictures (face_on_both.sh): written
// only when KV_FACE_SHOT names the file.
TEST_F(MainWindow, FaceShotOfThisPlatform)
{
    const QString path = qEnvironmentVariable("KV_FACE_SHOT");
    if (path.isEmpty())
        GTEST_SKIP() << "KV_FACE_SHOT names no file";
    OpenOnSimulator();
    PumpUntil([] { return false; }, 1500); // let the indicators settle
    const QImage shot = dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(500, 640) * shot.devicePixelRatio());
    EXPECT_TRUE(shot.save(path, "PNG")) << path.toStdString();
}

} // namespace
