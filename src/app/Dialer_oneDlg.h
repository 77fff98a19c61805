// The main window: a skinned, captionless dialog that owns the serial port,
// the DM engine, the host core (the modem state, the status panel's rules,
// the timers' dispatch, the message routing), the embedded pages and the tray
// icon, and is the host through which every worker thread reaches the user
// interface. As the core's adapter it paints, pumps and opens dialogs.
//
// Threads. The window lives on the UI thread. A worker thread's call into
// the host (an indicator, a control, a sent message, a dialog) is moved to
// the UI thread as a posted task and the worker waits for it; the UI thread
// serves such tasks whenever it dispatches events, also while it waits
// itself (WaitPumping), so a worker never deadlocks against a waiting UI.
// Dialogs opened for a worker (message boxes, the PIN dialog, the timed
// popup) end the worker's wait when they finish, not when the UI's nested
// loop unwinds, and the close procedure ends any still open.
#pragma once

#include "app/PageHooks.h"
#include "app/StatusPanel.h"
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "engine/DmHost.h"
#include "engine/ModemState.h"
#include "host/HostCore.h"
#include "link/CommPort.h"
#include "net/AtPoll.h"
#include "owner/Owner.h"
#include "owner/OwnerServices.h"
#include "platform/PumpHook.h"

#include "controls/ModalOwner.h"

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QRegion>
#include <atomic>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CHoverButton;
class CTextStatic;
class CEditEx;
class CMacProgressCtrl;
class CSystemTray;
class QLabel;

namespace kv {
class CAppDatabase;
class COwnerHub;
class IOwnerActions;
}

class CDialer_oneDlg : public QDialog,
                       public kv::IDmHost,
                       public kv::IPumpHook,
                       public kvui::IModalOwner,
                       public kvapp::IStatusView,
                       private kv::IHostAdapter {
    Q_OBJECT
public:
    explicit CDialer_oneDlg(kv::CAppDatabase* db = nullptr, QWidget* parent = nullptr);
    ~CDialer_oneDlg() override;

    // Pages and services of other folders (set before OnInitDialog).
    static void SetPageHooks(const kvapp::PageHooks& hooks);
    static kvapp::PageHooks& Hooks();
    // Port discovery used at initialisation and by every engine start.
    void SetDiscovery(kv::CDmEngine::DiscoverFn fn);

    // The window's initialisation; exec() runs it before the modal loop.
    void OnInitDialog();
    int exec() override;
    bool Initialised() const { return m_bInitDone; }

    // --- main-window operations ---
    int UserActiveView(int page, int sub) override;
    void CloseProcedure();
    void MinimizeToTray();
    void RestoreFromTray();
    void SyncTray();
    void ShowForTrayState();
    void OnCommand(int id);
    void OnSysCommand(int command);
    bool UserDmRestart() { return m_engine.UserDmRestart(); }
    void StopDmEngine() { m_engine.StopDmEngine(); }
    void RestartDmEngine() { m_engine.RestartDmEngine(); }
    int PostDmCommand(uint16_t code, bool atHead) { return m_engine.PostDmCommand(code, atHead); }
    uint16_t DmSubRequest(uint16_t code, uintptr_t type, bool fromEngine)
    {
        return m_engine.DmSubRequest(code, type, fromEngine);
    }
    kv::CDmEngine& Engine() { return m_engine; }
    // The AT poll (timer 100003): its IMSI, APN and PIN-request flag.
    kv::CAtPoll& AtPoll() { return m_atPoll; }
    kv::IAtPort& AtPort() { return m_atPort; }
    kv::CAppDatabase* Database() { return m_pDb; }

    // Handlers of UM_UI_REQUEST sub-codes and UM_LOOKUP_NAME from other
    // folders (UI thread).
    void RegisterUiRequest(uint32_t subCode, kvapp::UiRequestHandler handler);
    void SetLookupNameHandler(kvapp::LookupNameHandler handler);
    // The message and phonebook engines (set before OnInitDialog; owned,
    // released after the engine has stopped).
    void SetMessagingService(std::unique_ptr<kvapp::IMessagingService> service);
    kvapp::IMessagingService* MessagingService() const { return m_pMessaging.get(); }
    // The modem came back after it was removed: the phonebook mirror is
    // emptied, both phonebooks count as unread and the engine starts again.
    // Any thread.
    void ModemReturned();

    // --- what tests and pages look at ---
    kvapp::CStatusPanel& Panel() { return m_panel; }
    QWidget* Control(int id) const;
    kvapp::ISmsPage* SmsPage() const { return m_pSmsPage; }
    kvapp::IDialPadPage* DialPad() const { return m_pDialPad; }
    // A service object of another folder that lives as long as the window
    // (the connection manager); released after the RAS steps of the
    // destruction ran.
    void SetOwnedService(std::shared_ptr<void> service) { m_ownedServices.push_back(std::move(service)); }
    int RegNotifyState() const { return m_pDeviceWatcher ? m_pDeviceWatcher->State() : 0; }
    // The device presence watcher (set by the start hook; owned).
    void SetDeviceWatcher(std::unique_ptr<kvapp::IDeviceWatcher> watcher);
    kvapp::IDeviceWatcher* DeviceWatcher() const { return m_pDeviceWatcher.get(); }
    // The modem went: the open modal page gets its cancel command (it closes
    // as by Exit), and every box or question a page has open, and every
    // dialog a worker waits for, closes as cancelled. Boxes those pages open
    // until EndRemovalCancel are cancelled at once.
    void CancelModalPage();
    void EndRemovalCancel();
    // A modal page, a page's box or a worker's dialog is open (any thread).
    bool ModalPageOpen() const;
    bool TimerActive(uint32_t id) const;
    bool TrayMode() const { return m_bTrayMode; }
    CSystemTray* Tray() const { return m_pSystemTray.get(); }
    // The modem's owner as the tray shows it: every tray icon made from now
    // on follows hub and offers Connect/Disconnect through actions (either
    // may be null). hub must outlive the window.
    void SetTrayOwner(kv::COwnerHub* hub, kv::IOwnerActions* actions);
    unsigned TrayNotifyMessage() const { return m_nTrayNotifyMsg; }
    int IndicatorBitmap(int controlId) const;
    bool TopMost() const { return m_bTopMost; }
    // Always on top without moving or sizing; false when not applied.
    bool SetTopMost(bool on);
    // The dial-up account of the next connection (number nullptr: kept).
    void SetDialAccount(const std::string& user, const std::string& password, const std::string* number)
    {
        m_strUserName = user;
        m_strPassword = password;
        if (number)
            m_strPhoneNumber = *number;
    }
    // Read by the dial pad on the UI thread and by the DM engine's key command.
    bool DtmfTone() const { return m_bDtmfTone.load(); }
    void SetDtmfTone(bool on) { m_bDtmfTone = on; }
    const std::string& UserName() const { return m_strUserName; }
    const std::string& EntryLabel() const { return m_strEntryLabel; }
    QRegion SkinRegion() const { return m_skinRegion; }

    // --- kv::IDmHost ---
    kv::ModemState& State() override { return m_state; }
    void SetIndicator(int id, int value) override;
    void SetSignal(int id, int value) override;
    void AppendMessageLine(const std::string& text, bool replace) override;
    std::string MessageLineText() override;
    void ShowControl(int id, bool show) override;
    void SetLineText(int id, const std::string& text) override;
    void EnableControl(int id, bool enable) override;
    void SetTextLimit(int chars) override;
    void ResetDialPad() override;
    void ResetSmsPage() override;
    void SetWaitCursor(bool on) override;
    void MessageBox(const std::string& text, kv::MsgIcon icon) override;
    kv::PinResult RunPinDialog(int mode) override;
    void EndModalDialog() override;
    int RunTimedPopup(const std::string& text, kv::MsgIcon icon, int mode, int countdownSec,
                      bool defaultOk) override;
    void PostUserMessage(kv::MsgTarget target, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    intptr_t SendUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs) override;
    void Wake() override;
    void PulseDeviceWatcher() override;
    std::optional<std::string> LookupName(const std::string& number) override;
    // The shared core: its observers see this window's events.
    kv::CHostCore& Core() { return m_core; }

    // --- kv::IPumpHook ---
    void PumpFor(int64_t maxMs) override;

    // --- kvui::IModalOwner ---
    void SetModalWindow(QWidget* window) override;
    void SetModalView(int view) override;
    QWidget* OwnerWindow() override { return this; }

    // --- kvapp::IStatusView ---
    void ShowIndicator(int controlId, bool show) override;
    bool IndicatorShown(int controlId) const override;
    void SetIndicatorBitmap(int controlId, int bitmapId) override;
    void Beep() override;
    std::string MessageLine() const override;
    void SetMessageLine(const std::string& text, bool wrap) override;
    bool DialPadHoldsNumber() const override;
    bool TakePendingCallText(std::string& text) override;

    // The owner of the modem as the services that watch it see it; the
    // wiring creates it before the window initialises (kvapp::WireOwner).
    void SetOwner(std::unique_ptr<kv::COwner> owner) { m_pOwner = std::move(owner); }
    // What the owner offers the desktop (bus service, notifications, hooks);
    // stopped before the owner closes.
    void SetOwnerServices(std::unique_ptr<kv::COwnerServices> services) { m_pOwnerServices = std::move(services); }
    kv::COwner* Owner() const { return m_pOwner.get(); }
    // Back from the tray (or raised) on the current page (UI thread).
    void ShowRestored();
    // Whether a control is enabled (UI thread).
    bool ControlEnabled(int id) const;

    // Runs fn on the UI thread; from another thread waits until it ran.
    void RunOnUi(const std::function<void()>& fn);
    // The same with a bounded wait: false when fn had not run (or been
    // dropped with the window) within timeoutMs. fn must own what it uses.
    bool RunOnUiFor(std::function<void()> fn, int64_t timeoutMs);
    // Runs fn on the UI thread later (from any thread).
    void PostToUi(std::function<void()> fn);
    bool IsUiThread() const;

public Q_SLOTS:
    void accept() override {} // Enter never closes the window
    void reject() override {} // nor does Escape

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct WorkerModal;

    void CreateControls();
    void LayOut();
    void SetUpButtons();
    void SetUpTextLines();
    void ApplySkin();
    void ReadSettings();
    intptr_t OnUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void OnBringToFront(uintptr_t withPages);

    // --- kv::IHostAdapter ---
    void ScheduleTimer(uint32_t id, uint32_t periodMs) override;
    void CancelTimer(uint32_t id) override;
    bool ServeTimer(uint32_t id) override;
    void CloseProgram() override { CloseProcedure(); }
    int ShowPage(int page, int sub) override;
    void RefuseBox(const std::string& text) override;
    bool ReadPhonebook(uintptr_t storageWord) override;
    intptr_t OnUiRequest(uint32_t sub, intptr_t arg) override;
    intptr_t OnMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

    bool CardBusy() const;
    // Says on the message line why the control does nothing now
    // (Dialer_oneDlgHints.cpp); false when the point holds no such control.
    bool TellWhyUnavailable(int controlId);
    bool TellWhyUnavailableAt(const QPoint& pos);
    bool TellWhyUnavailableOf(QObject* button);
    // The start-up's first line, shown from the first frame.
    void ShowSearching();
    // Accessible names of the face's controls and their tab order.
    void SetUpAccessibility();
    // A page command that waits on the modem (pumping events): the wait
    // cursor shows once it took longer than kWaitCursorDelayMs.
    static constexpr int kWaitCursorDelayMs = 200;
    void RunWaiting(const std::function<void()>& fn);
    void SetMainButtonsEnabled(bool on);
    void CancelWorkerModals(bool pinOnly);
    int RunWorkerModal(const std::function<QDialog*()>& make,
                       const std::function<int(QDialog*)>& resultOf, bool isPin, bool& ended);
    QWidget* DialPadWidget() const;
    QWidget* SmsPageWidget() const;

    // First: it outlives the engine, whose thread may still pulse it while
    // the members go (it is stopped by then).
    std::unique_ptr<kvapp::IDeviceWatcher> m_pDeviceWatcher;
    kv::CHostCore m_core{*this, *this, *this};
    kv::ModemState& m_state{m_core.State()};
    kv::CCommPort m_port;
    kv::CCommPortLink m_link{m_port};
    kv::CDmEngine m_engine{*this, m_link};
    kv::CCommPortAt m_atPort{m_port};
    kv::CAtPoll m_atPoll{*this, m_atPort};
    kvapp::CStatusPanel& m_panel{m_core.Model()};
    kv::CAppDatabase* m_pDb;

    std::map<int, QWidget*> m_controls;
    std::map<int, CHoverButton*> m_buttons;
    std::map<int, CTextStatic*> m_lines;
    std::map<int, QLabel*> m_indicators;
    std::map<int, int> m_indicatorBitmaps;
    CEditEx* m_pTextField = nullptr;
    CMacProgressCtrl* m_pProgress = nullptr;
    QWidget* m_pPageArea = nullptr;
    kvapp::IDialPadPage* m_pDialPad = nullptr;
    kvapp::ISmsPage* m_pSmsPage = nullptr;

    // Tray.
    bool m_bTrayMode = false;
    std::unique_ptr<CSystemTray> m_pSystemTray;
    unsigned m_nTrayNotifyMsg = 0;
    kv::COwnerHub* m_pTrayHub = nullptr;
    kv::IOwnerActions* m_pTrayActions = nullptr;

    // Face.
    QPixmap m_skin;
    QRegion m_skinRegion;
    QPoint m_dragOffset;
    bool m_bDragging = false;

    // Settings and flags.
    std::string m_strUserName, m_strPassword, m_strPhoneNumber, m_strEntryLabel;
    bool m_bTopMost = false;
    std::atomic<bool> m_bDtmfTone{false};
    bool m_bInitDone = false;
    bool m_bClosing = false;
    bool m_bClosed = false;
    int m_nWaitCursor = 0;

    // Timers by id (UI thread).
    std::map<uint32_t, int> m_timers;     // id -> Qt timer id
    std::map<int, uint32_t> m_timerIds;   // Qt timer id -> id

    // Modal windows: the open ones, innermost last; m_pModalWnd is the last.
    QPointer<QWidget> m_pModalWnd;
    std::vector<QPointer<QWidget>> m_modalStack;
    mutable std::mutex m_modalLock;
    std::vector<std::shared_ptr<WorkerModal>> m_workerModals;

    Qt::HANDLE m_uiThread;
    // Last: released first, after the destructor stopped the engine that
    // calls into it.
    std::unique_ptr<kvapp::IMessagingService> m_pMessaging;
    std::vector<std::shared_ptr<void>> m_ownedServices;
    std::unique_ptr<kv::COwner> m_pOwner;
    std::unique_ptr<kv::COwnerServices> m_pOwnerServices;
    bool m_bSmsSwitchBusy = false; // the switch to the SMS page is loading the mirror
};
