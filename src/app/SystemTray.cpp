// The tray icon on QSystemTrayIcon.
#include "app/SystemTray.h"

#include "app/AppIds.h"
#include "controls/UserMessage.h"
#include "host/OwnerActions.h"
#include "host/OwnerEvents.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QHash>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <atomic>
#include <mutex>

int CSystemTray::s_nForceAvailable = -1;

// Cleared by the tray's end; an answer of the owner that comes later (on
// any thread) finds the tray gone instead of posting to a deleted object.
struct CSystemTray::Alive {
    std::mutex lock;
    CSystemTray* tray = nullptr;

    // Runs fn(tray) on the tray's thread, unless the tray is gone by then.
    template <class Fn> void Post(Fn fn)
    {
        std::lock_guard<std::mutex> g(lock);
        if (tray)
            QMetaObject::invokeMethod(tray, [t = tray, fn = std::move(fn)] { fn(t); }, Qt::QueuedConnection);
    }
};

// Hears the hub on its thread and has the tray read the snapshot on the UI
// thread; changes that come while one is queued are taken with it.
class CSystemTray::CListener : public kv::IOwnerListener {
public:
    explicit CListener(CSystemTray* tray) : m_pTray(tray) {}

    void OnOwnerChanged(const kv::OwnerSnapshot&, const std::vector<std::string>&) override
    {
        if (m_bQueued.exchange(true))
            return;
        m_pTray->m_pAlive->Post([](CSystemTray* tray) { tray->Apply(tray->TakeSnapshot()); });
    }
    void Taken() { m_bQueued = false; }

private:
    CSystemTray* m_pTray;
    std::atomic<bool> m_bQueued{false};
};

CSystemTray::CSystemTray() : m_pAlive(std::make_shared<Alive>())
{
    m_pAlive->tray = this;
}

CSystemTray::~CSystemTray()
{
    {
        std::lock_guard<std::mutex> g(m_pAlive->lock);
        m_pAlive->tray = nullptr;
    }
    Unwatch();
    if (m_pIcon)
        m_pIcon->hide();
}

void CSystemTray::Remove()
{
    m_bKeepAlive = false;
    m_bEnabled = false;
    m_bRemoved = true;
    if (m_pIcon)
        m_pIcon->hide();
}

bool CSystemTray::Available()
{
    if (s_nForceAvailable >= 0)
        return s_nForceAvailable == 1;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CSystemTray::ForceAvailable(int available) { s_nForceAvailable = available; }

void CSystemTray::BuildMenu()
{
    m_pMenu = std::make_unique<QMenu>();
    QAction* restore = m_pMenu->addAction(kvapp::text::kTrayRestore);
    QFont bold = restore->font();
    bold.setBold(true);
    restore->setFont(bold);
    m_pMenu->setDefaultAction(restore);
    QAction* usage = m_pMenu->addAction(kvapp::text::kTrayUsage);
    m_pMenu->addSeparator();
    QAction* exit = m_pMenu->addAction(kvapp::text::kTrayExit);
    connect(usage, &QAction::triggered, this, [this] {
        if (m_onCommand && !m_bRemoved)
            m_onCommand(kvapp::ID_TRAY_USAGE);
    });
    connect(restore, &QAction::triggered, this, [this] {
        if (m_onCommand && !m_bRemoved)
            m_onCommand(kvapp::ID_TRAY_RESTORE);
    });
    connect(exit, &QAction::triggered, this, [this] {
        if (m_onCommand && !m_bRemoved)
            m_onCommand(kvapp::ID_TRAY_EXIT);
    });
}

bool CSystemTray::Create(QObject* owner, unsigned callbackMessage, const QString& tip,
                         const QIcon& icon, int id, CommandFn onCommand)
{
    m_pOwner = owner;
    m_nCallbackMessage = callbackMessage;
    m_nId = id;
    m_onCommand = std::move(onCommand);
    if (!m_pMenu)
        BuildMenu();
    if (!Available())
        return m_bEnabled = false;
    m_pIcon = std::make_unique<QSystemTrayIcon>(icon);
    m_pIcon->setToolTip(tip);
    connect(m_pIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::DoubleClick)
                    Notify(WM_LBUTTONDBLCLK);
                else if (why == QSystemTrayIcon::Trigger)
                    Notify(WM_LBUTTONUP);
                else if (why == QSystemTrayIcon::Context)
                    Notify(WM_RBUTTONUP);
            });
    if (m_pHub)
        Apply(m_pHub->Snapshot());
    m_pIcon->show();
    m_bEnabled = m_pIcon->isVisible();
    return m_bEnabled;
}

void CSystemTray::Notify(unsigned mouseMessage)
{
    if (m_bRemoved)
        return;
    // A notification is a message to the icon's window: re-add an icon the
    // desktop lost (its panel restarted) before handling it.
    if (m_bKeepAlive && m_pIcon && !m_pIcon->isVisible())
        m_pIcon->show();
    if (m_pOwner)
        kvui::PostUserMessage(m_pOwner, m_nCallbackMessage, uintptr_t(m_nId), intptr_t(mouseMessage));
    else
        OnTrayNotification(unsigned(m_nId), mouseMessage);
}

int CSystemTray::DefaultCommand() const { return kvapp::ID_TRAY_RESTORE; }

void CSystemTray::OnTrayNotification(unsigned id, unsigned mouseMessage)
{
    if (int(id) != m_nId || m_bRemoved)
        return;
    if (mouseMessage == WM_RBUTTONUP) {
        if (m_pMenu)
            m_pMenu->popup(QCursor::pos());
    } else if (mouseMessage == WM_LBUTTONDBLCLK) {
        if (m_onCommand)
            m_onCommand(DefaultCommand());
    } else if (mouseMessage == WM_LBUTTONUP) {
        if (m_onCommand)
            m_onCommand(kvapp::ID_TRAY_TOGGLE);
    }
}

// ---------------------------------------------------------------------------
// The owner's state

void CSystemTray::Watch(kv::COwnerHub& hub, kv::IOwnerActions* actions)
{
    Unwatch();
    if (!m_pMenu)
        BuildMenu();
    m_pHub = &hub;
    m_pActions = actions;

    // The state line heads the menu; Connect/Disconnect follows the window's
    // own items, before Exit.
    QAction* first = m_pMenu->actions().value(0);
    m_pStateAction = new QAction(m_pMenu.get());
    m_pStateAction->setEnabled(false);
    m_pStateSeparator = new QAction(m_pMenu.get());
    m_pStateSeparator->setSeparator(true);
    m_pMenu->insertAction(first, m_pStateAction);
    m_pMenu->insertAction(first, m_pStateSeparator);
    if (m_pActions) {
        QAction* exitSeparator = m_pMenu->actions().value(m_pMenu->actions().size() - 2);
        m_pConnectAction = new QAction(m_pMenu.get());
        m_pMenu->insertAction(exitSeparator, m_pConnectAction);
        connect(m_pConnectAction, &QAction::triggered, this, [this] { RunConnectAction(); });
    }

    m_pListener = std::make_unique<CListener>(this);
    hub.AddListener(m_pListener.get());
    Apply(hub.Snapshot());
}

void CSystemTray::Unwatch()
{
    if (!m_pHub)
        return;
    m_pHub->RemoveListener(m_pListener.get());
    m_pListener.reset();
    m_pHub = nullptr;
    m_pActions = nullptr;
    // The menu may be running one of its actions right now: its own items
    // go once that returned.
    for (QAction* a : {m_pStateAction, m_pStateSeparator, m_pConnectAction})
        if (a) {
            a->setVisible(false);
            a->deleteLater();
        }
    m_pStateAction = m_pStateSeparator = m_pConnectAction = nullptr;
}

kv::OwnerSnapshot CSystemTray::TakeSnapshot()
{
    if (m_pListener)
        m_pListener->Taken();
    return m_pHub ? m_pHub->Snapshot() : kv::OwnerSnapshot{};
}

void CSystemTray::Apply(const kv::OwnerSnapshot& now)
{
    if (!m_pHub)
        return;
    m_look = kv::DescribeForTray(now);
    const QString state = QString::fromStdString(m_look.stateLine);
    if (m_pStateAction)
        m_pStateAction->setText(state);
    if (m_pConnectAction) {
        m_pConnectAction->setText(QString::fromStdString(m_look.actionLabel));
        m_pConnectAction->setEnabled(m_look.actionEnabled);
    }
    if (!m_pIcon)
        return;
    m_pIcon->setToolTip(QString::fromStdString(m_look.tooltip));
    const QString name = QString::fromStdString(m_look.iconName);
    if (name != m_sIconName) {
        m_sIconName = name;
        m_pIcon->setIcon(StatusIcon(name));
    }
}

void CSystemTray::RunConnectAction()
{
    if (!m_pActions || m_bRemoved || !m_look.actionEnabled)
        return;
    m_sLastRefusal.clear();
    std::weak_ptr<Alive> alive = m_pAlive;
    auto done = [alive](const kv::OwnerResult& r) {
        if (auto a = alive.lock())
            a->Post([r](CSystemTray* tray) { tray->OnActionDone(r); });
    };
    if (m_look.action == kv::TrayConnectAction::Connect)
        m_pActions->Connect("", "", done);
    else
        m_pActions->Disconnect(done);
}

void CSystemTray::OnActionDone(const kv::OwnerResult& result)
{
    if (result.ok())
        return;
    m_sLastRefusal = result.text.empty() ? QStringLiteral("The modem did not take the request.")
                                         : QString::fromStdString(result.text);
    if (m_pIcon && m_pIcon->isVisible() && QSystemTrayIcon::supportsMessages())
        m_pIcon->showMessage(kvapp::text::kTrayTip, m_sLastRefusal, QSystemTrayIcon::Warning, 8000);
}

QIcon CSystemTray::StatusIcon(const QString& name)
{
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    static QHash<QString, QIcon> drawn;
    auto it = drawn.find(name);
    if (it != drawn.end())
        return *it;
    QIcon icon;
    QSvgRenderer svg(QStringLiteral(":/korvianet/status/%1.svg").arg(name));
    if (svg.isValid()) {
        for (int size : {16, 22, 24, 32, 48, 64}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            svg.render(&p);
            p.end();
            icon.addPixmap(pm);
        }
    }
    drawn.insert(name, icon);
    return icon;
}
