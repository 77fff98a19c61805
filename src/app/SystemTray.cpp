// The tray icon on QSystemTrayIcon.
#include "app/SystemTray.h"

#include "app/AppIds.h"
#include "controls/UserMessage.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QSystemTrayIcon>

int CSystemTray::s_nForceAvailable = -1;

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray()
{
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
    BuildMenu();
    if (!Available())
        return m_bEnabled = false;
    m_pIcon = std::make_unique<QSystemTrayIcon>(icon);
    m_pIcon->setToolTip(tip);
    connect(m_pIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::DoubleClick)
                    Notify(WM_LBUTTONDBLCLK);
                else if (why == QSystemTrayIcon::Context)
                    Notify(WM_RBUTTONUP);
            });
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
    }
}
