// The main window as the DM engine's host: moving worker calls to the UI
// thread, waiting while pumping, timers by id, the user messages and the
// dialogs opened for worker threads.
#include "app/Dialer_oneDlg.h"

#include "controls/PageDialogs.h"

#include "app/AppIds.h"
#include "app/SystemTray.h"
#include "controls/EditEx.h"
#include "controls/PinDlg.h"
#include "controls/UserMessage.h"
#include "controls/UserMsgDlg.h"
#include "data/AppDatabase.h"
#include "engine/DeviceWatcher.h"
#include "engine/DmCodes.h"
#include "log/DebugLog.h"
#include "platform/Event.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

using namespace kv;

namespace {

// A task for the UI thread. Its completion event is set when the task has
// run or, if the window went away first, when the event is discarded; a
// waiting worker is released either way.
class CUiTaskEvent : public QEvent {
public:
    CUiTaskEvent(std::function<void()> fn, std::shared_ptr<CEvent> done)
        : QEvent(Type()), m_fn(std::move(fn)), m_done(std::move(done))
    {
    }
    ~CUiTaskEvent() override
    {
        if (m_done)
            m_done->Set();
    }
    static QEvent::Type Type()
    {
        static const QEvent::Type t = QEvent::Type(QEvent::registerEventType());
        return t;
    }
    void Run()
    {
        if (m_fn)
            m_fn();
    }

private:
    std::function<void()> m_fn;
    std::shared_ptr<CEvent> m_done;
};

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    default: return QMessageBox::Critical;
    }
}

QStyle::StandardPixmap PopupIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QStyle::SP_MessageBoxInformation;
    case MsgIcon::Warning: return QStyle::SP_MessageBoxWarning;
    default: return QStyle::SP_MessageBoxCritical;
    }
}

std::mutex g_wakeLock;
std::condition_variable g_wakeCv;

} // namespace

// A dialog opened for a worker thread.
struct CDialer_oneDlg::WorkerModal {
    CEvent done{true, false};
    int result = 0;
    bool isPin = false;
    bool cancelled = false; // UI thread only
    bool ended = false;     // ended by the engine (read by the worker after done)
    QPointer<QDialog> dialog;
};

// ---------------------------------------------------------------------------
// Threads

bool CDialer_oneDlg::IsUiThread() const { return QThread::currentThreadId() == m_uiThread; }

void CDialer_oneDlg::RunOnUi(const std::function<void()>& fn)
{
    if (IsUiThread()) {
        fn();
        return;
    }
    auto done = std::make_shared<CEvent>(true, false);
    QCoreApplication::postEvent(this, new CUiTaskEvent(fn, done));
    done->Wait();
}

bool CDialer_oneDlg::RunOnUiFor(std::function<void()> fn, int64_t timeoutMs)
{
    if (IsUiThread()) {
        fn();
        return true;
    }
    auto done = std::make_shared<CEvent>(true, false);
    auto ran = std::make_shared<std::atomic<bool>>(false);
    QCoreApplication::postEvent(this, new CUiTaskEvent(
                                          [fn = std::move(fn), ran] {
                                              fn();
                                              *ran = true;
                                          },
                                          done));
    done->Wait(timeoutMs);
    return ran->load();
}

void CDialer_oneDlg::PostToUi(std::function<void()> fn)
{
    QCoreApplication::postEvent(this, new CUiTaskEvent(std::move(fn), nullptr));
}

void CDialer_oneDlg::PumpFor(int64_t maxMs)
{
    if (maxMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Sleeps in the event dispatcher until an event arrives, Wake() is
    // called, or the timer ends the wait.
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(int(maxMs));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool CDialer_oneDlg::WaitPumping(const std::function<bool()>& done, int64_t timeoutMs)
{
    return HostWaitLoop(
        done, timeoutMs, IsUiThread(), [this](int64_t ms) { PumpFor(ms); },
        [](int64_t ms) {
            std::unique_lock<std::mutex> lk(g_wakeLock);
            g_wakeCv.wait_for(lk, std::chrono::milliseconds(ms));
        },
        20);
}

void CDialer_oneDlg::Wake()
{
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(thread()))
        d->wakeUp();
    g_wakeCv.notify_all();
}

bool CDialer_oneDlg::event(QEvent* e)
{
    if (e->type() == CUiTaskEvent::Type()) {
        static_cast<CUiTaskEvent*>(e)->Run();
        return true;
    }
    if (e->type() == kvui::CUserMessageEvent::EventType()) {
        auto* m = static_cast<kvui::CUserMessageEvent*>(e);
        if (m->Message() == m_nTrayNotifyMsg) {
            if (m_pSystemTray)
                m_pSystemTray->OnTrayNotification(unsigned(m->WParam()), unsigned(m->LParam()));
            return true;
        }
        m->m_lResult = OnUserMessage(m->Message(), m->WParam(), m->LParam());
        return true;
    }
    return QDialog::event(e);
}

// ---------------------------------------------------------------------------
// Indicators and controls

void CDialer_oneDlg::SetIndicator(int id, int value)
{
    RunOnUi([&] { m_core.SetIndicator(id, value); });
}

void CDialer_oneDlg::SetSignal(int id, int value)
{
    RunOnUi([&] { m_core.SetSignal(id, value); });
}

void CDialer_oneDlg::AppendMessageLine(const std::string& text, bool replace)
{
    RunOnUi([&] { m_core.AppendMessageLine(text, replace); });
}

std::string CDialer_oneDlg::MessageLineText()
{
    std::string text;
    RunOnUi([&] { text = MessageLine(); });
    return text;
}

void CDialer_oneDlg::ShowControl(int id, bool show)
{
    RunOnUi([&] {
        if (QWidget* w = Control(id))
            w->setVisible(show);
    });
}

void CDialer_oneDlg::EnableControl(int id, bool enable)
{
    // Net Connect waits for a dial-up client: whoever enables the main
    // buttons (the engine's start-up) must not wake a dead button.
    if (id == IDC_NET_CONNECT && enable && !(Hooks().rasReady && Hooks().rasReady(*this)))
        enable = false;
    // Nor, while the modem is away, anything the removal disabled: the RAS
    // monitor's own stop would offer a connection that cannot be made.
    if (enable && kv::KeptDisabledWhileRemoved(RegNotifyState(), id))
        enable = false;
    RunOnUi([&] {
        if (QWidget* w = Control(id))
            w->setEnabled(enable);
    });
}

bool CDialer_oneDlg::ControlEnabled(int id) const
{
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second && it->second->isEnabled();
}

void CDialer_oneDlg::ShowRestored()
{
    if (m_bTrayMode) {
        showNormal();
        m_bTrayMode = false;
        SyncTray();
        ShowForTrayState();
    } else if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void CDialer_oneDlg::SetTextLimit(int chars)
{
    RunOnUi([&] {
        if (m_pTextField)
            m_pTextField->SetLimitText(chars);
    });
}

void CDialer_oneDlg::ResetDialPad()
{
    RunOnUi([&] {
        if (m_pDialPad)
            m_pDialPad->Reset();
    });
}

void CDialer_oneDlg::ResetSmsPage()
{
    RunOnUi([&] {
        if (m_pSmsPage)
            m_pSmsPage->Reset();
    });
}

void CDialer_oneDlg::SetWaitCursor(bool on)
{
    RunOnUi([&] {
        if (on) {
            if (m_nWaitCursor++ == 0)
                QApplication::setOverrideCursor(Qt::WaitCursor);
        } else if (m_nWaitCursor > 0 && --m_nWaitCursor == 0) {
            QApplication::restoreOverrideCursor();
        }
    });
}

// ---------------------------------------------------------------------------
// Dialogs for worker threads

int CDialer_oneDlg::RunWorkerModal(const std::function<QDialog*()>& make,
                                   const std::function<int(QDialog*)>& resultOf, bool isPin,
                                   bool& ended)
{
    auto req = std::make_shared<WorkerModal>();
    req->isPin = isPin;
    {
        std::lock_guard<std::mutex> g(m_modalLock);
        m_workerModals.push_back(req);
    }
    // The worker's wait ends when the dialog finishes, or when the task is
    // dropped unrun (the guard's deleter).
    std::shared_ptr<void> guard(nullptr, [req](void*) { req->done.Set(); });
    auto body = [this, req, make, resultOf, guard] {
        if (req->cancelled || m_bClosed) {
            req->ended = true;
            req->done.Set();
            return;
        }
        QDialog* d = make();
        req->dialog = d;
        connect(d, &QDialog::finished, d, [req, d, resultOf] {
            req->result = resultOf(d);
            req->done.Set();
        });
        d->exec();
        delete d;
        req->done.Set();
    };
    if (IsUiThread())
        body();
    else
        PostToUi(std::move(body));
    guard.reset();
    req->done.Wait();
    {
        std::lock_guard<std::mutex> g(m_modalLock);
        std::erase(m_workerModals, req);
    }
    ended = req->ended;
    return req->result;
}

void CDialer_oneDlg::CancelWorkerModals(bool pinOnly)
{
    std::vector<std::shared_ptr<WorkerModal>> open;
    {
        std::lock_guard<std::mutex> g(m_modalLock);
        open = m_workerModals;
    }
    for (auto& req : open) {
        if (pinOnly && !req->isPin)
            continue;
        req->cancelled = true;
        req->ended = true;
        if (req->dialog)
            req->dialog->reject();
    }
}

void CDialer_oneDlg::MessageBox(const std::string& text, MsgIcon icon)
{
    bool ended = false;
    const QString qtext = QString::fromStdString(text);
    RunWorkerModal(
        [this, qtext, icon] {
            return new QMessageBox(BoxIcon(icon), kvapp::text::kCaption, qtext, QMessageBox::Ok, this);
        },
        [](QDialog*) { return 0; }, false, ended);
}

PinResult CDialer_oneDlg::RunPinDialog(int mode)
{
    bool ended = false;
    const int accepted = RunWorkerModal(
        [this, mode] {
            auto* d = new CPinDlg(this, this);
            d->SetMode(mode);
            m_state.m_nModalView = MODAL_PIN;
            connect(d, &QDialog::finished, this, [this] {
                m_state.m_nModalView = MODAL_NONE;
                SetModalWindow(nullptr);
            });
            return d;
        },
        [](QDialog* d) { return int(static_cast<CPinDlg*>(d)->accepted); }, true, ended);
    if (ended)
        return PinResult::EndedByEngine;
    return accepted ? PinResult::Ok : PinResult::Cancel;
}

void CDialer_oneDlg::EndModalDialog()
{
    if (IsUiThread())
        CancelWorkerModals(true);
    else
        PostToUi([this] { CancelWorkerModals(true); });
}

int CDialer_oneDlg::RunTimedPopup(const std::string& text, MsgIcon icon, int mode, int countdownSec,
                                  bool defaultOk)
{
    bool ended = false;
    const QString qtext = QString::fromStdString(text);
    return RunWorkerModal(
        [=, this] {
            auto* d = new CUserMsgDlg(this, this);
            d->SetText(qtext);
            d->SetIcon(PopupIcon(icon));
            d->SetMode(mode);
            d->SetCountdown(countdownSec, defaultOk);
            return d;
        },
        [](QDialog* d) { return int(static_cast<CUserMsgDlg*>(d)->Result()); }, false, ended);
}

void CDialer_oneDlg::SetModalWindow(QWidget* window)
{
    // Modal windows open one over the other and close in the reverse order:
    // a popup that ends over a page leaves the page the modal window.
    if (window) {
        std::erase(m_modalStack, window);
        m_modalStack.emplace_back(window);
    } else {
        // The window that ends is hidden by now (or gone).
        while (!m_modalStack.empty() && (!m_modalStack.back() || !m_modalStack.back()->isVisible()))
            m_modalStack.pop_back();
    }
    m_pModalWnd = m_modalStack.empty() ? nullptr : m_modalStack.back().data();
    m_state.m_hModalWnd = reinterpret_cast<intptr_t>(m_pModalWnd.data());
    // A removal in progress waits for the page to close.
    if (!window)
        PulseDeviceWatcher();
}

bool CDialer_oneDlg::ModalPageOpen() const
{
    if (m_state.m_hModalWnd.load() != 0 || kvui::PageDialogsOpen() > 0)
        return true;
    // A worker waiting for a dialog (shown or about to be).
    std::lock_guard<std::mutex> g(m_modalLock);
    return !m_workerModals.empty();
}

void CDialer_oneDlg::CancelModalPage()
{
    QPointer<QDialog> page = qobject_cast<QDialog*>(m_pModalWnd.data());
    // Innermost first: the boxes the pages opened, then what the workers
    // wait for, then the page itself.
    kvui::CancelPageDialogs(page.data());
    CancelWorkerModals(false);
    if (page && page->isVisible())
        page->reject();
    // The boxes end once their loops get control back: a removal waiting
    // for them looks again then.
    QTimer::singleShot(0, this, [this] { PulseDeviceWatcher(); });
}

void CDialer_oneDlg::EndRemovalCancel() { kvui::EndPageCancel(); }

void CDialer_oneDlg::SetDeviceWatcher(std::unique_ptr<kvapp::IDeviceWatcher> watcher)
{
    if (m_pDeviceWatcher)
        m_pDeviceWatcher->Stop();
    m_pDeviceWatcher = std::move(watcher);
}

void CDialer_oneDlg::PulseDeviceWatcher()
{
    if (m_pDeviceWatcher)
        m_pDeviceWatcher->Pulse();
}

void CDialer_oneDlg::SetModalView(int view) { m_state.m_nModalView = uint8_t(view); }

// ---------------------------------------------------------------------------
// Messages and timers

void CDialer_oneDlg::PostUserMessage(MsgTarget target, uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    switch (target) {
    case MsgTarget::MainWindow:
        kvui::PostUserMessage(this, msg, wParam, lParam);
        break;
    case MsgTarget::ModalWindow:
        PostToUi([this, msg, wParam, lParam] {
            if (m_pModalWnd)
                kvui::PostUserMessage(m_pModalWnd, msg, wParam, lParam);
        });
        break;
    case MsgTarget::SmsPage:
        PostToUi([this, msg, wParam, lParam] {
            // A send the owner's actions made waits for its own outcome.
            if (msg == UM_SMS_SEND_STATUS && m_pOwner && m_pOwner->OnSmsSendStatus(wParam, lParam))
                return;
            if (QWidget* page = SmsPageWidget())
                kvui::PostUserMessage(page, msg, wParam, lParam);
            else
                DEBUG_LOG(LEVEL_ST, "no sms page for message 0x%x", unsigned(msg));
        });
        break;
    }
}

intptr_t CDialer_oneDlg::SendUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    intptr_t result = 0;
    RunOnUi([&] { result = OnUserMessage(msg, wParam, lParam); });
    return result;
}

std::optional<std::string> CDialer_oneDlg::LookupName(const std::string& number)
{
    std::optional<std::string> name;
    RunOnUi([&] { name = m_core.LookupName(number); });
    return name;
}

void CDialer_oneDlg::StartTimer(uint32_t id, uint32_t periodMs) { m_core.StartTimer(id, periodMs); }

void CDialer_oneDlg::KillTimer(uint32_t id) { m_core.KillTimer(id); }

void CDialer_oneDlg::ScheduleTimer(uint32_t id, uint32_t periodMs)
{
    auto start = [this, id, periodMs] {
        auto it = m_timers.find(id);
        if (it != m_timers.end()) {
            QObject::killTimer(it->second);
            m_timerIds.erase(it->second);
        }
        const int q = startTimer(int(periodMs));
        m_timers[id] = q;
        m_timerIds[q] = id;
    };
    if (IsUiThread())
        start();
    else
        PostToUi(start);
}

void CDialer_oneDlg::CancelTimer(uint32_t id)
{
    auto kill = [this, id] {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        QObject::killTimer(it->second);
        m_timerIds.erase(it->second);
        m_timers.erase(it);
    };
    if (IsUiThread())
        kill();
    else
        PostToUi(kill);
}

bool CDialer_oneDlg::TimerActive(uint32_t id) const { return m_timers.count(id) != 0; }

void CDialer_oneDlg::timerEvent(QTimerEvent* e)
{
    auto it = m_timerIds.find(e->timerId());
    if (it == m_timerIds.end()) {
        QDialog::timerEvent(e);
        return;
    }
    m_core.OnTimer(it->second);
}

bool CDialer_oneDlg::ServeTimer(uint32_t id)
{
    // The window's own timers; the core serves the rest.
    switch (id) {
    case TIMER_AT_POLL:
        m_atPoll.Tick();
        break;
    case TIMER_SMS_SEND_TIMEOUT:
        PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 0, 1);
        break;
    case TIMER_RESTORE_FROM_TRAY:
        if (m_bTrayMode) {
            showNormal();
            m_bTrayMode = false;
            SyncTray();
            ShowForTrayState();
        }
        break;
    case TIMER_VOICE_MAIL_UPDATE:
        if (m_pMessaging)
            m_pMessaging->RemoveVoiceMailRow();
        if (m_pSmsPage)
            m_pSmsPage->UpdateVoiceMail(m_state.m_nActiveView.load() == VIEW_SMS ? 1 : 0);
        break;
    case TIMER_RESTART_RAS:
        if (Hooks().restartRas)
            Hooks().restartRas(*this);
        break;
    case TIMER_ENABLE_1008:
        EnableControl(IDC_GET_NUMBER, true);
        break;
    case TIMER_ENABLE_1007:
        EnableControl(IDC_GET_BALANCE, true);
        break;
    default:
        return false;
    }
    return true;
}

intptr_t CDialer_oneDlg::OnUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    return m_core.OnUserMessage(msg, wParam, lParam);
}

intptr_t CDialer_oneDlg::OnMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    switch (msg) {
    case UM_OPEN_SETTINGS:
        UserActiveView(VIEW_STATUS, 0);
        UserActiveView(VIEW_SETTINGS, int(wParam & 0xFFFF));
        return 0;
    case UM_TRACE_PACKET:
        return 0;
    case UM_SMS_SEND_STATUS:
    case UM_SMS_TEXT_UPDATE:
        if (QWidget* page = SmsPageWidget())
            return kvui::SendUserMessage(page, msg, wParam, lParam);
        return 0;
    case UM_CONFIG_UPDATE:
        if (m_pModalWnd)
            kvui::PostUserMessage(m_pModalWnd, msg, wParam, lParam);
        return 0;
    case UM_RING_STOP:
    case UM_RING_START:
        if (Hooks().ring)
            Hooks().ring(msg == UM_RING_START);
        return 0;
    case UM_BRING_TO_FRONT:
        OnBringToFront(wParam);
        return 0;
    case UM_OPEN_CALL_PICKER:
        // The dial pad's history picker opens at once, loaded phonebooks or not.
        if (m_state.m_nModalView.load() != MODAL_NONE)
            return 0;
        UserActiveView(VIEW_STATUS, 0);
        m_state.m_nModalView = MODAL_PICKER;
        if (Hooks().runPicker)
            Hooks().runPicker(*this, 3);
        else
            DEBUG_LOG(LEVEL_ST, "UserActiveView: no phonebook page");
        m_state.m_nModalView = MODAL_NONE;
        SetModalWindow(nullptr);
        return 0;
    default:
        return 0;
    }
}

intptr_t CDialer_oneDlg::OnUiRequest(uint32_t sub, intptr_t arg)
{
    const bool dialShown = m_state.m_nActiveView.load() == VIEW_DIAL_PAD;
    switch (sub) {
    case UI_REQ_PICKER:
        UserActiveView(VIEW_PICKER, arg == 0 ? 1 : 2);
        break;
    case UI_REQ_COMPOSE:
        if (!dialShown)
            UserActiveView(VIEW_SMS, 1);
        break;
    case UI_REQ_DIAL:
        // The number to dial is already in the dial pad: showing it must
        // not clear it.
        if (!dialShown)
            UserActiveView(VIEW_DIAL_PAD, 1);
        if (m_pDialPad && m_state.m_nActiveView.load() == VIEW_DIAL_PAD)
            m_pDialPad->PressSend();
        break;
    case UI_REQ_CALL_DISPLAY:
        if (Hooks().callDisplay)
            Hooks().callDisplay(*this, arg);
        else
            DEBUG_LOG(LEVEL_ST, "no call display for kind 0x%lx", long(arg));
        break;
    case UI_REQ_FILL_RECIPIENTS:
        if (m_pSmsPage && !m_pSmsPage->FillRecipients())
            MessageBox("Destination address is full.", MsgIcon::Warning);
        break;
    case UI_REQ_WIPE_PHONEBOOK:
        if (m_pDb && !m_pDb->WipePhonebook())
            DEBUG_LOG(LEVEL_ST, "phonebook wipe error");
        break;
    case UI_REQ_RESTORE_TRAY:
        RestoreFromTray();
        break;
    case UI_REQ_SETTINGS_NOP:
    case UI_REQ_LOOKUP_NOP:
        break;
    default:
        DEBUG_LOG(LEVEL_ST, "ui request %u ignored", unsigned(sub));
        break;
    }
    return 0;
}

bool CDialer_oneDlg::ReadPhonebook(uintptr_t storageWord)
{
    return DmSubRequest(DM_PBOOK_READ, storageWord, true) == DM_PBOOK_READ;
}

void CDialer_oneDlg::RegisterUiRequest(uint32_t subCode, kvapp::UiRequestHandler handler)
{
    m_core.RegisterUiRequest(subCode, std::move(handler));
}

void CDialer_oneDlg::SetLookupNameHandler(kvapp::LookupNameHandler handler)
{
    m_core.SetLookupNameHandler(std::move(handler));
}

void CDialer_oneDlg::SetMessagingService(std::unique_ptr<kvapp::IMessagingService> service)
{
    m_pMessaging = std::move(service);
}

void CDialer_oneDlg::ModemReturned()
{
    // The mirror is rebuilt from the modem: its rows go (the protected ones
    // stay), both phonebooks are read again at the start.
    SendUserMessage(UM_UI_REQUEST, UI_REQ_WIPE_PHONEBOOK, 0);
    m_state.m_ucPbReadDone = 0;
    m_engine.UserDmRestart();
}
