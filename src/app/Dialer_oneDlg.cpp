// The main window: construction, initialisation, the face, the buttons,
// the tray and the close procedure.
#include "app/Dialer_oneDlg.h"
#include "app/UsageWindow.h"

#include "app/AppIds.h"
#include "app/DlgLayout.h"
#include "app/SystemTray.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/MacProgressCtrl.h"
#include "controls/RegionFromBitmap.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"
#include "host/PageButtons.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <QWindow>

using namespace kv;
using namespace kvapp;

namespace {
kvapp::PageHooks& HookStore()
{
    static kvapp::PageHooks hooks;
    return hooks;
}

// Buttons of the face: id, bitmap (0: none of its own), tooltip.
struct ButtonSpec {
    int id;
    int bitmap;
    const char* tip;
};
constexpr ButtonSpec kButtons[] = {
    {IDC_NET_CONNECT, kvui::IDB_BTN_NET, text::kTipConnect},
    {IDC_NET_DISCONNECT, kvui::IDB_BTN_NET_OFF, text::kTipDisconnect},
    {IDC_SETTING, kvui::IDB_BTN_SETTING, text::kTipSetting},
    {IDC_TRAFFIC_TAB, kvui::IDB_BTN_TRAFFIC, text::kTipTraffic},
    {IDC_ACTIVATION, kvui::IDB_BTN_RCV_STV, text::kTipActivation},
    {IDC_GET_BALANCE, kvui::IDB_BTN_BALANCE, text::kTipBalance},
    {IDC_GET_NUMBER, 0, nullptr},
    {IDC_DIAL_TOGGLE, kvui::IDB_BTN_DIAL_PAD, text::kTipDialPad},
    {IDC_SMS_TOGGLE, kvui::IDB_BTN_SMS_PAGE, text::kTipSmsPage},
    {IDC_PHONEBOOK, kvui::IDB_BTN_PHONEBOOK, text::kTipPhonebook},
    {IDC_VOLUME_DOWN, kvui::IDB_BTN_VOL_DOWN, text::kTipVolumeDown},
    {IDC_VOLUME_UP, kvui::IDB_BTN_VOL_UP, text::kTipVolumeUp},
    {IDC_SWITCH_OFF, kvui::IDB_BTN_SWITCH_OFF, text::kTipSwitchOff},
    {IDC_MINIMIZE, kvui::IDB_BTN_MINIMIZE, text::kTipMinimize},
    {IDC_NOP_1019, 0, nullptr},
    {IDC_RESET_STATS, 0, nullptr},
    {IDC_EXIT, kvui::IDB_BTN_EXIT, text::kTipExit},
};

constexpr int kTextLines[] = {IDC_MESSAGE_LINE, IDC_STATUS_LINE_1115, IDC_STATUS_LINE_1116,
                              IDC_STATUS_LINE_1071, IDC_STATUS_LINE_1072, IDC_DURATION_LINE,
                              IDC_CONN_MSG_1, IDC_CONN_MSG_2};

// Hidden at the end of the initialisation; the engine's start-up shows the
// page buttons as it enables them, and the window shows the buttons that
// need no modem right after (host/PageButtons.h).
constexpr int kHiddenAtStart[] = {IDC_TRAFFIC_TAB, IDC_ACTIVATION, IDC_GET_BALANCE, IDC_GET_NUMBER,
                                  IDC_DIAL_TOGGLE, IDC_NOP_1019, IDC_SMS_TOGGLE, IDC_PHONEBOOK,
                                  IDC_VOLUME_DOWN, IDC_VOLUME_UP, IDC_SWITCH_OFF, IDC_PROGRESS,
                                  IDC_TEXT_FIELD, IDC_MESSAGE_LINE, IDC_DURATION_LINE,
                                  IDC_CONN_MSG_1, IDC_CONN_MSG_2};
} // namespace

void CDialer_oneDlg::SetPageHooks(const kvapp::PageHooks& hooks) { HookStore() = hooks; }
kvapp::PageHooks& CDialer_oneDlg::Hooks() { return HookStore(); }

// ---------------------------------------------------------------------------
// Construction

CDialer_oneDlg::CDialer_oneDlg(kv::CAppDatabase* db, QWidget* parent)
    : QDialog(parent), m_pDb(db), m_uiThread(QThread::currentThreadId())
{
    setObjectName(QString::number(IDD_MAIN));
    // A captionless pop-up: the face is the whole window.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // Run modally without an owner: the modal loop must not block the
    // process's other top-level windows (the log window of a diagnostic run
    // stays usable beside it).
    setWindowModality(Qt::WindowModal);
    setWindowIcon(kvui::SkinIcon(kvui::IDI_MAIN));
    m_nTrayNotifyMsg = unsigned(QEvent::registerEventType());
    m_engine.SetDiscovery(DiscoverModemPort);
    SetCurrentPump(this);
    CreateControls();
}

CDialer_oneDlg::~CDialer_oneDlg()
{
    // The stops again (each does nothing when already done).
    m_bClosed = true;
    CancelWorkerModals(false);
    if (Hooks().stopDeviceWatcher)
        Hooks().stopDeviceWatcher(*this);
    if (m_pDeviceWatcher)
        m_pDeviceWatcher->Stop(); // its thread must not outlive the window
    if (Hooks().endRas)
        Hooks().endRas(*this);
    // The owner's watchers first: the bus, the notifications and the hooks
    // go, its waiting actions end, its feed stops.
    if (m_pOwnerServices)
        m_pOwnerServices->Stop();
    if (m_pOwner)
        m_pOwner->Close();
    m_engine.StopDmEngine();
    SetTrayOwner(nullptr, nullptr);
    m_pOwnerServices.reset();
    m_pOwner.reset();
    m_ownedServices.clear();
    // No tray action can be running any more: the icon goes at once.
    m_bTrayMode = false;
    m_pSystemTray.reset();
    while (m_nWaitCursor > 0) {
        --m_nWaitCursor;
        QApplication::restoreOverrideCursor();
    }
    if (CurrentPump() == this)
        SetCurrentPump(nullptr);
}

void CDialer_oneDlg::SetDiscovery(kv::CDmEngine::DiscoverFn fn) { m_engine.SetDiscovery(std::move(fn)); }

QWidget* CDialer_oneDlg::Control(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialer_oneDlg::CreateControls()
{
    auto keep = [this](int id, QWidget* w) {
        w->setObjectName(QString::number(id));
        m_controls[id] = w;
    };
    for (const ButtonSpec& b : kButtons) {
        auto* btn = new CHoverButton(this, b.id);
        keep(b.id, btn);
        m_buttons[b.id] = btn;
        const int id = b.id;
        connect(btn, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    }
    // Button 1075 is there to be pressed by keyboard only: never visible.
    m_buttons[IDC_RESET_STATS]->setVisible(false);
    for (int id : kTextLines) {
        auto* line = new CTextStatic(this, id);
        keep(id, line);
        m_lines[id] = line;
    }
    for (int id : kIndicatorControls) {
        auto* label = new QLabel(this);
        label->setScaledContents(false);
        label->setAttribute(Qt::WA_TransparentForMouseEvents, id != IDC_DATA_RATE);
        keep(id, label);
        m_indicators[id] = label;
    }
    m_indicators[IDC_DATA_RATE]->installEventFilter(this);
    m_indicators[IDC_DATA_RATE]->setMouseTracking(true);
    m_pPageArea = new QWidget(this);
    m_pPageArea->setAttribute(Qt::WA_TransparentForMouseEvents);
    keep(IDC_PAGE_AREA, m_pPageArea);
    m_pTextField = new CEditEx(this, IDC_TEXT_FIELD);
    keep(IDC_TEXT_FIELD, m_pTextField);
    m_pProgress = new CMacProgressCtrl(this, IDC_PROGRESS);
    keep(IDC_PROGRESS, m_pProgress);
}

// ---------------------------------------------------------------------------
// Initialisation

int CDialer_oneDlg::exec()
{
    OnInitDialog();
    // The modal run lasts until the close procedure ends the dialog. It must
    // not end when the window is hidden, as the dialog's own loop would: in
    // the tray the window is hidden and the program runs on.
    if (m_bClosed)
        return result();
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, [&loop] { loop.quit(); });
    show();
    loop.exec(QEventLoop::DialogExec);
    return result();
}

void CDialer_oneDlg::ReadSettings()
{
    m_strUserName = GetProfileString(key::kUserName, key::kText, "", 64, key::kIni);
    m_strPassword = GetProfileString(key::kPassword, key::kText, "", 64, key::kIni);
    m_strPhoneNumber = GetProfileString(key::kPhoneNumber, key::kText, "", 64, key::kIni);
    m_strEntryLabel = text::kEntryLabel;
}

void CDialer_oneDlg::OnInitDialog()
{
    if (m_bInitDone)
        return;
    m_bInitDone = true;
    // 1.
    DEBUG_LOG(LEVEL_ST, "%s", logtext::kInitStart);
    // 2. The window menu's extra item lives in the face's context menu.
    // 3.
    setWindowIcon(kvui::SkinIcon(kvui::IDI_MAIN));
    // 4.
    ReadSettings();
    // 5.
    const PortChoice pc = DiscoverModemPort();
    m_state.m_nComPort = pc.comPort;
    m_state.m_nDeviceKind = pc.deviceKind;
    (void)GetProfileString(key::kBaudRate, key::kNum, "115200", 64, key::kIni);
    // 6.
    ApplySkin();
    LayOut();
    for (int id : std::initializer_list<int>{IDC_MESSAGE_LINE, IDC_STATUS_LINE_1115, IDC_STATUS_LINE_1116,
                                             IDC_STATUS_LINE_1071})
        m_lines[id]->hide();
    m_lines[IDC_STATUS_LINE_1072]->show();
    m_lines[IDC_STATUS_LINE_1072]->SetText(text::kConfigButton);
    // 7.
    SetUpButtons();
    SetUpAccessibility();
    // 8.
    m_pTextField->SetFontEx(12, 400, false, kFieldFont);
    SetUpTextLines();
    m_pProgress->SetStep(1);
    m_pProgress->SetBarColor(kvui::FromColorRef(kProgressColour));
    m_panel.InitialState();
    // 9.
    if (Hooks().makeDialPad && (m_pDialPad = Hooks().makeDialPad(*this)))
        m_pDialPad->Widget()->setParent(this), m_pDialPad->Widget()->hide();
    if (Hooks().makeSmsPage && (m_pSmsPage = Hooks().makeSmsPage(*this)))
        m_pSmsPage->Widget()->setParent(this), m_pSmsPage->Widget()->hide();
    m_state.m_nActiveView = VIEW_STATUS;
    UserActiveView(VIEW_STATUS, 0);
    // 10.
    if (!Hooks().startDeviceWatcher || !Hooks().startDeviceWatcher(*this))
        DEBUG_LOG(LEVEL_ST, "%s", logtext::kNoNotify);
    // 11. Net Connect and Net Disconnect share one place: only one shows,
    // also when there is no client (Net Connect then stays disabled).
    m_buttons[IDC_NET_DISCONNECT]->hide();
    if (!Hooks().startRas || !Hooks().startRas(*this)) {
        DEBUG_LOG(LEVEL_ST, "%s", logtext::kRasInitError);
        m_buttons[IDC_NET_CONNECT]->setEnabled(false);
        m_buttons[IDC_NET_DISCONNECT]->setEnabled(false);
    }
    // 12.
    m_lines[IDC_CONN_MSG_1]->SetText("");
    m_lines[IDC_CONN_MSG_2]->SetText("");
    m_state.m_nPortState = DM_STOPPED;
    m_state.m_nModalView = MODAL_NONE;
    m_bTopMost = false;
    m_state.m_ucSmsCheckStage = 0;
    m_state.m_ucPbReadDone = 0;
    // 13.
    const bool portOpen = m_engine.UserDmRestart();
    // 14.
    if (GetProfileInt(key::kTop, key::kNum, 0, key::kIni) == 1) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        m_bTopMost = true;
    }
    // 15.
    if (GetProfileInt(key::kBatSound, key::kNum, 1, key::kIni) == 1)
        m_state.m_ucUiFlags |= UIF_BATTERY_WARNING;
    // 16.
    setWindowTitle(QString::asprintf(text::kTitleFormat, text::kProductName));
    // 17.
    m_state.m_call.SetCallStart(std::tm{});
    // 18.
    for (int id : kHiddenAtStart)
        if (QWidget* w = Control(id))
            w->hide();
    for (int id : kIndicatorControls)
        m_indicators[id]->hide();
    ShowWindowButtons(*this);
    // Without a port the no-modem display drawn at step 13 must stay: the
    // refusal on the message line and the antenna without signal.
    if (!portOpen) {
        m_lines[IDC_MESSAGE_LINE]->show();
        m_panel.SetSignal(IND_SIGNAL_1X, kSignalNone);
    } else {
        ShowSearching();
    }
    // 19.
    const std::string dtmf = GetProfileString(key::kDtmfLen, key::kNum, "-1", 64, key::kIni);
    m_bDtmfTone = DecimalPrefix(dtmf) == 0 && !dtmf.empty() && dtmf[0] != '-';
}

void CDialer_oneDlg::ApplySkin()
{
    m_skin = kvui::SkinPixmap(kvui::IDB_MAIN_SKIN);
    resize(kMainWidth, kMainHeight);
    if (!m_skin.isNull()) {
        const QColor key = kvui::SkinKeyColour(kvui::IDB_MAIN_SKIN);
        m_skinRegion = kvui::RegionFromBitmap(m_skin, key);
        if (!m_skinRegion.isEmpty())
            setMask(m_skinRegion);
        // A Wayland compositor takes the mask for input only: the key colour
        // is painted transparent so that the face's shape shows there too.
        setAttribute(Qt::WA_TranslucentBackground);
        m_skin = kvui::WithoutKeyColour(m_skin, key);
    }
}

void CDialer_oneDlg::LayOut()
{
    setFixedSize(kMainWidth, kMainHeight);
    for (const ControlPlace& p : kMainLayout) {
        QWidget* w = Control(p.id);
        if (!w)
            continue;
        if (p.w > 0)
            w->setGeometry(p.x, p.y, p.w, p.h);
        else
            w->move(p.x, p.y);
    }
    for (const ControlPlace& p : kTemplateLayout) {
        if (QWidget* w = Control(p.id))
            w->setGeometry(DuToPixelX(p.x), DuToPixelY(p.y), DuToPixelX(p.w), DuToPixelY(p.h));
    }
}

void CDialer_oneDlg::SetUpButtons()
{
    for (const ButtonSpec& b : kButtons) {
        CHoverButton* btn = m_buttons[b.id];
        if (b.bitmap) {
            const QPoint at = btn->pos();
            btn->SetBitmap(b.bitmap);
            btn->resize(btn->FrameSize());
            btn->move(at);
        }
        if (b.tip)
            btn->SetTooltipText(b.tip);
    }
    for (int id : {IDC_ACTIVATION, IDC_GET_BALANCE, IDC_SWITCH_OFF, IDC_NET_CONNECT, IDC_NET_DISCONNECT})
        m_buttons[id]->setEnabled(false);
}

void CDialer_oneDlg::SetUpTextLines()
{
    for (auto& [id, line] : m_lines) {
        line->SetTextColor(kvui::FromColorRef(id == IDC_DURATION_LINE ? kDurationColour : kLineColour));
        line->SetBackColor(Qt::transparent);
        line->SetTextFont(12, 600, kLineFont);
    }
    // The duration shares the message line's place: it takes the first
    // line, which the resting texts ("\nKorvia") leave free.
    m_lines[IDC_DURATION_LINE]->SetAlignment(CTextStatic::ALIGN_FORMAT, Qt::AlignHCenter | Qt::AlignTop);
}

// ---------------------------------------------------------------------------
// The face

void CDialer_oneDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_skin.isNull())
        p.drawPixmap(0, 0, m_skin);
    // The connection time shares the message line's place on the dark text
    // panel; its colour needs a light ground, laid behind its text only.
    if (auto it = m_lines.find(IDC_DURATION_LINE); it != m_lines.end() && it->second->isVisible()) {
        const QRect r = it->second->TextRect();
        if (!r.isEmpty()) {
            p.save();
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(kvui::SkinTimeBacking());
            p.drawRoundedRect(QRectF(r).adjusted(-6, -1, 6, 1), 4, 4);
            p.restore();
        }
    }
    QPixmap logo;
    if (QFile::exists(kLogoFile) && logo.load(kLogoFile))
        p.drawPixmap(QRect(kLogoX, kLogoY, kLogoW, kLogoH), logo);
    const uint8_t view = m_state.m_nActiveView.load();
    QPixmap picture;
    if (view != VIEW_DIAL_PAD && view != VIEW_SMS && QFile::exists(kPictureFile)
        && picture.load(kPictureFile))
        p.drawPixmap(QRect(kPictureX, kPictureY, kPictureW, kPictureH), picture);
}

void CDialer_oneDlg::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(e);
        return;
    }
    // A disabled control takes no click: the face says why instead of
    // starting a move under it.
    if (TellWhyUnavailableAt(e->position().toPoint()))
        return;
    // Any point of the face moves the window, as its caption would.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_bDragging = true;
    m_dragOffset = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CDialer_oneDlg::mouseMoveEvent(QMouseEvent* e)
{
    if (m_bDragging && (e->buttons() & Qt::LeftButton))
        move(e->globalPosition().toPoint() - m_dragOffset);
}

void CDialer_oneDlg::mouseReleaseEvent(QMouseEvent*) { m_bDragging = false; }

void CDialer_oneDlg::contextMenuEvent(QContextMenuEvent* e)
{
    // The window menu: its extra item opens the settings page.
    QMenu menu(this);
    menu.addAction(tr("Minimize"), this, [this] { OnSysCommand(0xF020); });
    menu.addAction(tr("Close"), this, [this] { OnSysCommand(0xF060); });
    menu.addSeparator();
    menu.addAction(text::kAppMenuItem, this, [this] { OnSysCommand(IDM_SETTINGS); });
    menu.exec(e->globalPos());
}

void CDialer_oneDlg::focusInEvent(QFocusEvent* e)
{
    QDialog::focusInEvent(e);
    if (QWidget* page = m_state.m_nActiveView.load() == VIEW_DIAL_PAD ? DialPadWidget()
                       : m_state.m_nActiveView.load() == VIEW_SMS    ? SmsPageWidget()
                                                                     : nullptr)
        page->setFocus();
}

bool CDialer_oneDlg::eventFilter(QObject* watched, QEvent* e)
{
    // The data-rate bar names the system that carries the connection.
    if (watched == m_indicators[IDC_DATA_RATE] && e->type() == QEvent::Enter)
        m_indicators[IDC_DATA_RATE]->setToolTip(QString::fromStdString(m_panel.DataRateTip()));
    // A disabled button sees its presses only here (it ignores them itself).
    if (e->type() == QEvent::MouseButtonPress && TellWhyUnavailableOf(watched))
        return true;
    return QDialog::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------
// Buttons and commands

bool CDialer_oneDlg::CardBusy() const { return m_state.m_ucCardFlags.load() != 0; }

void CDialer_oneDlg::OnCommand(int id)
{
    const uint8_t view = m_state.m_nActiveView.load();
    switch (id) {
    case IDC_SETTING:
        if (!CardBusy()) {
            UserActiveView(VIEW_STATUS, 0);
            UserActiveView(VIEW_SETTINGS, 0);
        } else {
            TellWhyUnavailable(id);
        }
        break;
    case IDC_TRAFFIC_TAB:
        if (!CardBusy()) {
            UserActiveView(VIEW_STATUS, 0);
            UserActiveView(VIEW_TRAFFIC, 0);
        } else {
            TellWhyUnavailable(id);
        }
        break;
    case IDC_ACTIVATION:
        UserActiveView(VIEW_STATUS, 0);
        UserActiveView(VIEW_ACTIVATION, 0);
        break;
    case IDC_DIAL_TOGGLE:
        UserActiveView(view != VIEW_DIAL_PAD ? VIEW_DIAL_PAD : VIEW_STATUS, 0);
        break;
    case IDC_SMS_TOGGLE:
        if (!CardBusy())
            RunWaiting([&] { UserActiveView(view == VIEW_SMS ? VIEW_STATUS : VIEW_SMS, 0); });
        else
            TellWhyUnavailable(id);
        break;
    case IDC_PHONEBOOK:
        if (!CardBusy()) {
            UserActiveView(VIEW_STATUS, 0);
            UserActiveView(VIEW_PICKER, 0);
        } else {
            TellWhyUnavailable(id);
        }
        break;
    case IDC_GET_BALANCE:
    case IDC_GET_NUMBER:
        if (m_pSmsPage)
            m_pSmsPage->SendQuick(text::kBalanceNumber,
                                  id == IDC_GET_BALANCE ? text::kBalanceText : text::kNumberText);
        else
            DEBUG_LOG(LEVEL_ST, "no sms page: query not sent");
        m_buttons[id]->setEnabled(false);
        StartTimer(id == IDC_GET_BALANCE ? TIMER_ENABLE_1007 : TIMER_ENABLE_1008, 5000);
        break;
    case IDC_NET_CONNECT:
        if (Hooks().netConnect)
            Hooks().netConnect(*this);
        break;
    case IDC_NET_DISCONNECT:
        if (Hooks().netDisconnect)
            Hooks().netDisconnect(*this);
        break;
    case IDC_VOLUME_DOWN:
        if (m_pDialPad)
            m_pDialPad->VolumeDown();
        break;
    case IDC_VOLUME_UP:
        if (m_pDialPad)
            m_pDialPad->VolumeUp();
        break;
    case IDC_MINIMIZE:
        MinimizeToTray();
        break;
    case IDC_RESET_STATS:
        if (Hooks().rasRequest)
            Hooks().rasRequest(*this, 7, false);
        break;
    case IDC_EXIT:
    case ID_TRAY_EXIT:
        CloseProcedure();
        break;
    case ID_TRAY_RESTORE:
        RestoreFromTray();
        break;
    case ID_TRAY_TOGGLE:
        if (m_bTrayMode)
            RestoreFromTray();
        else
            MinimizeToTray();
        break;
    case ID_TRAY_USAGE:
        kvapp::OpenUsageWindow(this);
        break;
    default: // 1019, 1067: no action
        break;
    }
}

void CDialer_oneDlg::OnSysCommand(int command)
{
    constexpr int kMinimize = 0xF020, kRestore = 0xF120, kClose = 0xF060;
    switch (command) {
    case IDM_SETTINGS: UserActiveView(VIEW_SETTINGS, 0); break;
    case kMinimize: MinimizeToTray(); break;
    case kRestore: RestoreFromTray(); break;
    case kClose: CloseProcedure(); break;
    default: break;
    }
}

void CDialer_oneDlg::closeEvent(QCloseEvent* e)
{
    // The window system's close runs the close procedure, which ends the
    // dialog itself.
    e->ignore();
    if (!m_bClosed)
        CloseProcedure();
}

void CDialer_oneDlg::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange || m_bClosed)
        return;
    // A minimize from the window system goes to the tray like the button.
    if (isMinimized() && !m_bTrayMode)
        QMetaObject::invokeMethod(this, [this] { if (isMinimized() && !m_bTrayMode) MinimizeToTray(); },
                                  Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// Tray

void CDialer_oneDlg::SyncTray()
{
    if (m_bTrayMode && !m_pSystemTray) {
        auto tray = std::make_unique<CSystemTray>();
        if (tray->Create(nullptr, m_nTrayNotifyMsg, text::kTrayTip, kvui::SkinIcon(kvui::IDI_TRAY),
                         IDR_TRAY_MENU, [this](int cmd) { OnCommand(cmd); })) {
            tray->SetKeepAlive(true);
            if (m_pTrayHub)
                tray->Watch(*m_pTrayHub, m_pTrayActions);
            m_pSystemTray = std::move(tray);
        }
    } else if (!m_bTrayMode && m_pSystemTray) {
        // The tray's own menu may be running the action that brought us
        // here: the icon goes now, the object once that action returned.
        CSystemTray* tray = m_pSystemTray.release();
        tray->Remove();
        tray->Unwatch(); // the owner may be gone before the object
        tray->deleteLater();
    }
}

void CDialer_oneDlg::SetTrayOwner(kv::COwnerHub* hub, kv::IOwnerActions* actions)
{
    m_pTrayHub = hub;
    m_pTrayActions = hub ? actions : nullptr;
    if (!m_pSystemTray)
        return;
    if (m_pTrayHub)
        m_pSystemTray->Watch(*m_pTrayHub, m_pTrayActions);
    else
        m_pSystemTray->Unwatch();
}

void CDialer_oneDlg::ShowForTrayState()
{
    if (!m_pSystemTray && m_bTrayMode)
        return;
    if (m_bTrayMode) {
        hide();
    } else {
        show();
        if (QWidget* page = m_state.m_nActiveView.load() == VIEW_DIAL_PAD ? DialPadWidget() : nullptr)
            page->setFocus();
        else
            m_lines[IDC_MESSAGE_LINE]->setFocus();
    }
}

void CDialer_oneDlg::MinimizeToTray()
{
    if (m_bTrayMode)
        return;
    m_bTrayMode = true;
    SyncTray();
    if (m_pSystemTray) {
        hide();
    } else {
        // No notification area: an ordinary minimise to the task bar.
        m_bTrayMode = false;
        if (!isMinimized())
            showMinimized();
    }
}

void CDialer_oneDlg::RestoreFromTray()
{
    if (!m_pSystemTray)
        return;
    m_pSystemTray->SetKeepAlive(false);
    showNormal();
    m_bTrayMode = false;
    SyncTray();
    ShowForTrayState();
    raise();
    activateWindow();
}

void CDialer_oneDlg::OnBringToFront(uintptr_t withPages)
{
    if (withPages == 1) {
        if (m_state.m_nModalView.load() == MODAL_PICKER || m_state.m_nModalView.load() == MODAL_SETTINGS)
            if (auto* d = qobject_cast<QDialog*>(m_pModalWnd.data()))
                d->reject();
        if (m_state.m_nActiveView.load() != VIEW_DIAL_PAD)
            UserActiveView(VIEW_DIAL_PAD, 1);
    }
    if (m_bTrayMode)
        RestoreFromTray();
    raise();
    activateWindow();
    // A Wayland compositor refuses focus to a program that was not just
    // used: the window then asks for the user's attention (the task bar
    // marks it) rather than staying silently behind.
    if (!isActiveWindow())
        QApplication::alert(this);
}

// ---------------------------------------------------------------------------
// Close

void CDialer_oneDlg::CloseProcedure()
{
    if (m_bClosing || m_bClosed)
        return;
    m_bClosing = true;
    SetWaitCursor(true);
    // Dialogs left open for the workers would keep them waiting.
    CancelWorkerModals(false);
    if (Hooks().stopDeviceWatcher)
        Hooks().stopDeviceWatcher(*this);
    if (Hooks().stopRas)
        Hooks().stopRas(*this);
    m_engine.StopDmEngine();
    SetWaitCursor(false);
    m_bClosed = true;
    m_bClosing = false;
    if (auto* d = qobject_cast<QDialog*>(m_pModalWnd.data()))
        d->reject();
    QDialog::done(0);
}
