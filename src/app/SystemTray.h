// One notification-area icon with its menu ("Restore", "Exit"). The main
// window creates it when it goes to the tray and deletes it when it comes
// back; deleting it removes the icon. Mouse events on the icon reach the
// target window as its registered tray message (id, mouse message), whose
// handler calls OnTrayNotification; menu choices reach it as commands.
//
// Watching the modem's owner (Watch) makes it a network applet: the tooltip
// and the icon follow the owner's snapshot, and the menu gains the state line
// and Connect/Disconnect. The snapshot's changes arrive on whatever thread
// the hub updates on and are applied on the tray's own (the UI) thread.
#pragma once

#include "host/TrayText.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace kv {
class COwnerHub;
class IOwnerActions;
struct OwnerResult;
}

class CSystemTray : public QObject {
    Q_OBJECT
public:
    // Mouse messages carried by the tray message.
    static constexpr unsigned WM_LBUTTONUP = 0x0202;
    static constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
    static constexpr unsigned WM_RBUTTONUP = 0x0205;

    using CommandFn = std::function<void(int command)>;

    CSystemTray();
    ~CSystemTray() override;

    // Adds the icon. Notifications go to `owner` as user message
    // `callbackMessage` (wParam id, lParam mouse message); without an owner
    // the tray handles them itself. Commands chosen in the menu go to
    // `onCommand`. True when the icon was added.
    bool Create(QObject* owner, unsigned callbackMessage, const QString& tip, const QIcon& icon,
                int id, CommandFn onCommand);
    bool Enabled() const { return m_bEnabled; }
    // Takes the icon off the notification area and ignores its events from
    // now on; the object itself may still be running a menu action.
    void Remove();
    void SetKeepAlive(bool on) { m_bKeepAlive = on; }
    bool KeepAlive() const { return m_bKeepAlive; }

    // The icon's mouse events: right button up opens the menu, a left
    // double-click runs the default item ("Restore"), a single left click
    // toggles the window (ID_TRAY_TOGGLE).
    void OnTrayNotification(unsigned id, unsigned mouseMessage);

    // Follows hub from now on (it must outlive the tray or Unwatch be called
    // first); Connect/Disconnect go to actions (null: the item stays off).
    // Call on the UI thread, before or after Create.
    void Watch(kv::COwnerHub& hub, kv::IOwnerActions* actions);
    void Unwatch();
    bool Watching() const { return m_pHub != nullptr; }
    // What the tray shows now (for checks).
    const kv::TrayLook& Look() const { return m_look; }
    QAction* StateAction() const { return m_pStateAction; }
    QAction* ConnectAction() const { return m_pConnectAction; }
    // The text of the last Connect/Disconnect the owner refused, "" if none.
    const QString& LastRefusal() const { return m_sLastRefusal; }

    // The icon for one of the names of host/TrayText.h: the desktop's theme
    // icon of that name when it has one, else ours compiled in.
    static QIcon StatusIcon(const QString& name);

    // The menu as built for the icon (for checks), and its default command.
    QMenu* Menu() const { return m_pMenu.get(); }
    int DefaultCommand() const;
    QSystemTrayIcon* Icon() const { return m_pIcon.get(); }

    // Whether the desktop offers a notification area (tests may force it).
    static bool Available();
    static void ForceAvailable(int available); // -1 ask the desktop, 0 no, 1 yes

private:
    class CListener;
    struct Alive;

    void BuildMenu();
    void Notify(unsigned mouseMessage);
    void Apply(const kv::OwnerSnapshot& now);
    kv::OwnerSnapshot TakeSnapshot();
    void RunConnectAction();
    void OnActionDone(const kv::OwnerResult& result);

    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    std::unique_ptr<QMenu> m_pMenu;
    QPointer<QObject> m_pOwner;
    unsigned m_nCallbackMessage = 0;
    int m_nId = 0;
    CommandFn m_onCommand;
    bool m_bEnabled = false;
    bool m_bKeepAlive = false;
    bool m_bRemoved = false;
    kv::COwnerHub* m_pHub = nullptr;
    kv::IOwnerActions* m_pActions = nullptr;
    std::unique_ptr<CListener> m_pListener;
    std::shared_ptr<Alive> m_pAlive; // lets a late answer of the owner find out the tray went
    kv::TrayLook m_look;
    QString m_sIconName;
    QAction* m_pStateAction = nullptr;
    QAction* m_pStateSeparator = nullptr;
    QAction* m_pConnectAction = nullptr;
    QString m_sLastRefusal;
    static int s_nForceAvailable;
};
